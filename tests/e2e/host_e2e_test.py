"""End-to-end tests of the real host program under a virtual X display.

Usage: host_e2e_test.py --binary PATH --tool PATH [unittest arguments]
"""

import fcntl
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

import host_driver

BINARY = None
TOOL = None
PROBED_LOCK = "velmoranSetup-aefbe7a3-20a3-40d5-87b1-d1f128cef144.lock"
START_TIMEOUT = 90  # the first start on a busy machine can be slow
EXIT_TIMEOUT = 60


class HostTestCase(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.display = host_driver.VirtualDisplay()

    @classmethod
    def tearDownClass(cls):
        cls.display.close()

    def run_host(self, scenario, extra_env=None, runtime_dir=None):
        run = host_driver.HostRun(BINARY, self.display.display,
                                  json.dumps(scenario) if scenario is not None else None,
                                  extra_env, runtime_dir=runtime_dir)
        self.addCleanup(run.close)
        return run.start()


class BridgeTest(HostTestCase):
    def test_page_drives_the_host_and_closes_with_doClose(self):
        foreign = host_driver.ForeignServer()
        self.addCleanup(foreign.close)
        server_folder = tempfile.mkdtemp(prefix="qf-e2e-server-")
        self.addCleanup(shutil.rmtree, server_folder, True)
        redirecting = host_driver.FaultServer(server_folder, "--redirect", "ftp://127.0.0.1/a.zip")
        self.addCleanup(redirecting.close)
        signed = "/bucket.s3.amazonaws.com/a.zip?X-Amz-Algorithm=AWS4-HMAC-SHA256&X-Amz-Signature=1"
        fetches = ["style.css", "e2e.js", "secret-link.txt", "link-out/index.html",
                   "..%2Fsecret.txt", "%2e%2e/secret.txt", "..%5Csecret.txt", "x%00.html",
                   "missing.html", "app://other.localhost/index.html",
                   "app://quillfetch.localhost/../secret.txt"]
        run = host_driver.HostRun(BINARY, self.display.display, json.dumps({
            "scenario": "bridge", "port": foreign.port, "fetches": fetches, "streams": ["big.bin"],
            "redirectUrl": "http://127.0.0.1:%d%s" % (redirecting.port, signed)}))
        self.addCleanup(run.close)
        # What an escape would like to read: beside the UI folder, a sibling "UI2", and links.
        with open(os.path.join(run.app_dir, "secret.txt"), "w") as f:
            f.write("TOP-SECRET")
        os.makedirs(os.path.join(run.app_dir, "UI2"))
        with open(os.path.join(run.app_dir, "UI2", "index.html"), "w") as f:
            f.write("TOP-SECRET")
        os.symlink(os.path.join(run.app_dir, "secret.txt"), os.path.join(run.ui_dir, "secret-link.txt"))
        os.symlink(os.path.join(run.app_dir, "UI2"), os.path.join(run.ui_dir, "link-out"))
        # A large file in the UI folder (sparse: no disk needed) is served without being held
        # in the host's memory whole.
        big_size = 768 << 20
        with open(os.path.join(run.ui_dir, "big.bin"), "wb") as f:
            f.truncate(big_size)
        run.start()

        window = run.wait_for_window(TOOL, START_TIMEOUT)
        run.wait_for_report("streams-start", START_TIMEOUT)
        peak_before = host_driver.peak_rss_bytes(run.process.pid)
        run.wait_for_report("bridge-done", START_TIMEOUT)
        peak_growth = host_driver.peak_rss_bytes(run.process.pid) - peak_before

        # A second start while the first runs: refused at once, no window of its own.
        second = subprocess.Popen([run.binary], env=run.env, stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL)
        self.assertEqual(second.wait(timeout=EXIT_TIMEOUT), 183)
        self.assertEqual(len(run.windows(TOOL)), 1)

        # The close button: the page answers requestClose with doClose. The first doClose
        # starts a clean-up, so the host asks again until it is idle, then exits with 0.
        subprocess.run([TOOL, "close", str(window[0])], env=run.env, check=True, timeout=30)
        self.assertEqual(run.wait(timeout=EXIT_TIMEOUT), 0, run.stderr_tail())
        reports = run.reports()
        log = run.log_text()

        self.assertIn("head-post function", reports)
        self.assertIn("[INFO] [E2E] E2E unicode \u00fc\u20ac", log)
        self.assertIn("written 0", reports)
        self.assertIn("cleanup-answered 0", reports)
        self.assertIn("download 302 []", reports)
        self.assertEqual([r["target"] for r in redirecting.requests()], [signed])
        self.assertIn("origin app://quillfetch.localhost secure=true", reports)
        self.assertIn("chrome-replaceable false", reports)
        self.assertIn("SetupWebView::Initialize called", log)
        self.assertIn("WebView navigated to start page", log)

        fetched = {r.split()[1]: r for r in reports if r.startswith("fetch ")}
        self.assertEqual(set(fetched), set(fetches))
        self.assertIn("fetch style.css 200 text/css; charset=utf-8 leaked=false", reports)
        self.assertIn("fetch e2e.js 200 text/javascript; charset=utf-8 leaked=false", reports)
        for path in fetches[2:]:
            report = fetched[path]
            self.assertNotIn(" 200 ", report, report)
            self.assertNotIn("leaked=true", report, report)
        for path in ("secret-link.txt", "link-out/index.html", "..%2Fsecret.txt", "..%5Csecret.txt"):
            self.assertIn(" 403 ", fetched[path])
        self.assertIn(" 404 ", fetched["missing.html"])
        self.assertIn("stream big.bin 200 %d" % big_size, reports)
        # Read whole, the file alone would add its size; under AddressSanitizer the freed
        # blocks that its quarantine keeps add up to a few hundred MB.
        self.assertLess(peak_growth, big_size // 2)

        # The foreign origin got nothing: neither the frame nor the navigation was allowed,
        # and the page stayed where it was.
        self.assertEqual(foreign.requests, [])
        self.assertNotIn("foreign-message", log)
        # Neither the sandboxed frame nor the plain one reached the host.
        self.assertNotIn("E2E frame-message", log)
        self.assertIn("still-here app://quillfetch.localhost/index.html", reports)
        self.assertIn("Refused navigation to http://127.0.0.1:%d/evil.html" % foreign.port, log)

        # The close protocol: requestClose received the literal {} at least once.
        self.assertIn("requestClose {}", reports)


class ScriptBurstTest(HostTestCase):
    def test_a_burst_of_answers_reaches_the_page_complete_and_in_order(self):
        # Every other answer's handler throws: the answers batched with it still run.
        run = self.run_host({"scenario": "burst", "burst": 300, "throwEvery": 2,
                             "closeWith": "doCloseOverride"})
        self.assertEqual(run.wait_for_report("burst-done", START_TIMEOUT),
                         "burst-done 300 in-order")


class CloseButtonTest(HostTestCase):
    def test_close_button_asks_the_page_which_overrides(self):
        run = self.run_host({"scenario": "idle", "closeWith": "doCloseOverride"})
        window = run.wait_for_window(TOOL, START_TIMEOUT)
        self.assertEqual(window[3:], (520, 420))
        self.assertEqual(window[1:3], ((1280 - 520) // 2, (800 - 420) // 2))
        run.wait_for_report("ready", START_TIMEOUT)
        subprocess.run([TOOL, "close", str(window[0])], env=run.env, check=True, timeout=30)
        self.assertEqual(run.wait(timeout=EXIT_TIMEOUT), 0, run.stderr_tail())
        self.assertIn("requestClose {}", run.reports())

    def test_page_without_requestClose_keeps_the_window(self):
        run = self.run_host({"scenario": "idle", "noRequestClose": True})
        window = run.wait_for_window(TOOL, START_TIMEOUT)
        run.wait_for_report("ready", START_TIMEOUT)
        subprocess.run([TOOL, "close", str(window[0])], env=run.env, check=True, timeout=30)
        time.sleep(3)
        self.assertIsNone(run.process.poll())
        self.assertTrue(run.windows(TOOL))

    def test_close_button_closes_when_the_page_process_died(self):
        run = self.run_host({"scenario": "idle"})
        window = run.wait_for_window(TOOL, START_TIMEOUT)
        run.wait_for_report("ready", START_TIMEOUT)
        # Kill the page's own process: nothing can answer the close request any more.
        children = subprocess.run(["pgrep", "-g", str(run.process.pid), "-f", "WebKitWebProcess"],
                                  capture_output=True, text=True).stdout.split()
        self.assertTrue(children)
        for pid in children:
            os.kill(int(pid), 9)
        deadline = time.monotonic() + 30
        while "WebView page process ended" not in run.log_text() and time.monotonic() < deadline:
            time.sleep(0.2)
        subprocess.run([TOOL, "close", str(window[0])], env=run.env, check=True, timeout=30)
        self.assertEqual(run.wait(timeout=EXIT_TIMEOUT), 0, run.stderr_tail())


class ColourSchemeTest(HostTestCase):
    """The page and the title bar follow the desktop's light or dark preference; the window is
    named after the page."""

    def check(self, dark_desktop):
        run = host_driver.HostRun(BINARY, self.display.display,
                                  json.dumps({"scenario": "idle", "closeWith": "doCloseOverride"}))
        self.addCleanup(run.close)
        if dark_desktop:
            run.prefer_dark_theme()
        window = run.start().wait_for_window(TOOL, START_TIMEOUT)
        run.wait_for_report("ready", START_TIMEOUT)
        self.assertIn("prefers " + ("dark" if dark_desktop else "light"), run.reports())
        # A point of the title bar away from its close button and its title.
        pixel = subprocess.run([TOOL, "pixel", str(window[0]), "30", "20"], env=run.env,
                               capture_output=True, text=True, check=True, timeout=30).stdout
        if dark_desktop:
            self.assertTrue(all(int(v) < 80 for v in pixel.split()), pixel)
        else:
            self.assertTrue(all(int(v) > 170 for v in pixel.split()), pixel)
        deadline = time.monotonic() + 30
        name = ""
        while name != "end-to-end page" and time.monotonic() < deadline:
            name = subprocess.run([TOOL, "name", str(window[0])], env=run.env,
                                  capture_output=True, text=True, timeout=30).stdout.strip()
            time.sleep(0.1)
        self.assertEqual(name, "end-to-end page")

    def test_light_desktop(self):
        self.check(dark_desktop=False)

    def test_dark_desktop(self):
        self.check(dark_desktop=True)


class ExternalLinkTest(HostTestCase):
    LICENCE = "https://example.com/licence?from=e2e#terms"
    HELP = "http://example.com/help"

    def test_web_links_the_user_follows_open_in_the_default_browser_only(self):
        folder = tempfile.mkdtemp(prefix="qf-e2e-link-")
        self.addCleanup(shutil.rmtree, folder, True)
        text_file = os.path.join(folder, "notes.txt")
        with open(text_file, "w") as f:
            f.write("a file a page should not open\n")
        steps = [
            {"name": "licence", "href": self.LICENCE, "target": "_blank"},
            {"name": "help", "open": self.HELP},
            {"name": "file", "href": "file://" + text_file, "target": "_blank"},
            {"name": "javascript", "href": "javascript:document.title='x'", "target": "_blank"},
            {"name": "ui-scheme", "href": "app://quillfetch.localhost/index.html",
             "target": "_blank"},
            {"name": "same-window", "href": "https://example.com/elsewhere"},
            # This machine and the local network, in spellings the web view normalises.
            {"name": "loopback", "href": "http://127.1:8080/", "target": "_blank"},
            {"name": "metadata", "href": "http://0xA9FEA9FE/latest/", "target": "_blank"},
            {"name": "ipv6-loopback", "open": "http://[::1]/"},
        ]
        run = host_driver.HostRun(BINARY, self.display.display,
                                  json.dumps({"scenario": "links", "links": steps}))
        self.addCleanup(run.close)
        opened = run.use_recording_browser()
        window = run.start().wait_for_window(TOOL, START_TIMEOUT)
        x, y = window[1] + 260, window[2] + 250
        for step in steps:
            run.wait_for_report("link-shown " + step["name"], START_TIMEOUT)
            subprocess.run(["xdotool", "mousemove", str(x), str(y), "click", "1"], env=run.env,
                           check=True, timeout=30)
            run.wait_for_report("link-clicked " + step["name"])
        done = run.wait_for_report("links-done")
        self.assertEqual(done, "links-done app://quillfetch.localhost/index.html")

        # The browser starts asynchronously. The recorder stands in for every kind of link, so
        # anything else handed to the desktop would show here too: the requests no one clicked
        # for (the page makes them first), the file, the script and the UI's own scheme.
        deadline = time.monotonic() + 30
        while len(opened()) < 2 and time.monotonic() < deadline:
            time.sleep(0.2)
        time.sleep(1)
        self.assertEqual(opened(), [self.LICENCE, self.HELP])
        log = run.log_text()
        self.assertIn("Refused to open a new window for app://quillfetch.localhost/index.html", log)
        self.assertIn("Refused navigation to https://example.com/elsewhere", log)


class SingleInstanceTest(HostTestCase):
    def test_start_while_another_process_holds_the_first_lock(self):
        runtime = os.path.join(self.make_folder(), "run")
        os.makedirs(os.path.join(runtime, "Velmorante"), mode=0o700)
        with open(os.path.join(runtime, "Velmorante", PROBED_LOCK), "w") as lock:
            fcntl.flock(lock, fcntl.LOCK_EX)
            run = self.run_host({"scenario": "idle"}, runtime_dir=runtime)
            self.assertEqual(run.wait(timeout=EXIT_TIMEOUT), 183)
            self.assertEqual(run.log_text(), "")  # refused before anything else started

    def test_without_a_display_the_start_fails_with_1(self):
        run = host_driver.HostRun(BINARY, "", json.dumps({"scenario": "idle"}))
        self.addCleanup(run.close)
        del run.env["DISPLAY"]
        self.assertEqual(run.start().wait(timeout=EXIT_TIMEOUT), 1)

    def make_folder(self):
        folder = tempfile.mkdtemp(prefix="qf-e2e-lock-")
        self.addCleanup(shutil.rmtree, folder, True)
        return folder


class DeveloperSwitchTest(HostTestCase):
    def exercise(self, extra_env):
        run = self.run_host({"scenario": "interactive", "closeWith": "doCloseOverride"}, extra_env)
        window = run.wait_for_window(TOOL, START_TIMEOUT)
        run.wait_for_report("ready", START_TIMEOUT)
        mapped = lambda: int(subprocess.run([TOOL, "mapped"], env=run.env, capture_output=True,
                                            text=True, timeout=30).stdout)
        before = mapped()
        x, y = window[1] + 260, window[2] + 250
        subprocess.run(["xdotool", "mousemove", str(x), str(y), "click", "3"], env=run.env,
                       check=True, timeout=30)
        run.wait_for_report("contextmenu-event")
        menu = self.poll(lambda: mapped() > before, 5 if "VLM_IS_DEV" not in extra_env else 30)
        if menu:
            subprocess.run(["xdotool", "key", "Escape"], env=run.env, check=True, timeout=30)
            self.assertTrue(self.poll(lambda: mapped() == before, 30))
        subprocess.run(["xdotool", "mousemove", str(x), str(y), "click", "1"], env=run.env,
                       check=True, timeout=30)
        run.wait_for_report("clicked")
        inspector = self.poll(lambda: len(run.windows(TOOL)) > 1,
                              5 if "VLM_IS_DEV" not in extra_env else 60)
        return run, menu, inspector

    @staticmethod
    def poll(predicate, timeout):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if predicate():
                return True
            time.sleep(0.2)
        return predicate()

    def test_without_dev_variables_no_menu_and_no_devtools(self):
        run, menu, inspector = self.exercise({})
        self.assertFalse(menu)
        self.assertFalse(inspector)
        self.assertIn("WebView settings: context menus off, developer tools off", run.log_text())

    def test_dev_variable_enables_menu_and_devtools(self):
        run, menu, inspector = self.exercise({"VLM_IS_DEV": "1"})
        self.assertTrue(menu)
        self.assertTrue(inspector)
        self.assertIn("WebView settings: context menus on, developer tools on", run.log_text())


class KeptDownloadsTest(HostTestCase):
    def test_a_start_without_a_download_prunes_kept_bytes_past_their_age(self):
        run = host_driver.HostRun(BINARY, self.display.display, json.dumps({"scenario": "idle"}))
        self.addCleanup(run.close)
        store = os.path.join(run.env["TMPDIR"], "Velmorante-downloads-%d" % os.geteuid())
        os.makedirs(store, mode=0o700)
        old, recent = "a" * 64, "b" * 64
        for key in (old, recent):
            with open(os.path.join(store, key + ".part"), "wb") as f:
                f.write(b"x" * 1000)
            with open(os.path.join(store, key + ".json"), "w") as f:
                json.dump({"size": 1000, "total": 2000, "validator": '"v1"', "ahead": []}, f)
        eight_days_ago = time.time() - 8 * 24 * 3600
        for name in (old + ".part", old + ".json"):
            os.utime(os.path.join(store, name), (eight_days_ago, eight_days_ago))
        run.start()
        run.wait_for_report("ready", START_TIMEOUT)
        self.assertEqual(sorted(os.listdir(store)), [recent + ".json", recent + ".part"])


if __name__ == "__main__":
    BINARY, TOOL, unittest_argv = host_driver.program_arguments(sys.argv)
    unittest.main(argv=unittest_argv, verbosity=2)
