"""End-to-end tests of the default installer page (ui/) in the real program, under a virtual
X display: a real archive from a local server, a real extraction and a real setup program.

Usage: default_page_e2e_test.py --binary PATH --tool PATH [unittest arguments]

The page's own log lines (category UI, see docs/page-contract.md) tell the test where the
installation is; files on disk tell what it did. The program is launched and isolated by the
host tests' driver (tests/e2e/host_driver.py).
"""

import hashlib
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
TESTS = os.path.dirname(os.path.dirname(HERE))
REPO = os.path.dirname(TESTS)
sys.path.insert(0, os.path.dirname(HERE))
import host_driver  # noqa: E402

sys.path.insert(0, os.path.join(TESTS, "support"))
import netlab  # noqa: E402

BINARY = None
TOOL = None
UI = os.path.join(REPO, "ui")
MAKE_PRODUCT = os.path.join(REPO, "scripts", "demo", "make_demo_product.py")
PRODUCT = "Demo Product"
ARCHIVE = "demo-product.zip"
START_TIMEOUT = 90  # the first start on a busy machine can be slow
STEP_TIMEOUT = 120
EXIT_TIMEOUT = 60
GUID_FOLDER = re.compile(r"^\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\}$")
PAGE_LINE = re.compile(r"^\[[^\]]*\] \[(\w+)\] \[UI\] (.*)$")


class DefaultPageTestCase(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.display = host_driver.VirtualDisplay()
        cls.scratch = tempfile.mkdtemp(prefix="qf-page-e2e-")
        cls.archive = os.path.join(cls.scratch, ARCHIVE)
        made = subprocess.run([sys.executable, MAKE_PRODUCT, cls.archive, "--payload-mb", "8",
                               "--setup-seconds", "1"],
                              check=True, capture_output=True, text=True, timeout=120)
        cls.archive_facts = json.loads(made.stdout)

    @classmethod
    def tearDownClass(cls):
        cls.display.close()
        shutil.rmtree(cls.scratch, ignore_errors=True)

    def serve(self, *options):
        folder = tempfile.mkdtemp(prefix="server-", dir=self.scratch)
        server = host_driver.FaultServer(folder, "--body-file", self.archive, *options)
        self.addCleanup(server.close)
        return server

    def start_page(self, url, auto_start, licence_url=None, product=None, tmpdir=None, prefix=()):
        """The program with the default page beside it, configured for `url`. A recorder stands
        in for the user's browser (self.opened lists what it was asked to open). `tmpdir` is
        an earlier run's, for a run that finds what that one left; `prefix` runs it (in a
        network namespace, say)."""
        run = host_driver.HostRun(BINARY, self.display.display, None, page_dir=UI,
                                  extra_env={"TMPDIR": tmpdir} if tmpdir else None)
        self.addCleanup(run.close)
        self.receipts = os.path.join(run.root, "receipts")
        run.env["DEMO_RECEIPT_DIR"] = self.receipts
        self.opened = run.use_recording_browser()
        config = {"productName": PRODUCT, "url": url, "archive_name": ARCHIVE,
                  "size": self.archive_facts["size"], "sha256": self.archive_facts["sha256"],
                  "launcherName": "Setup.exe", "autoStart": auto_start}
        if licence_url:
            config["licenceUrl"] = licence_url
        if product:
            config.update(product)
        config = {key: value for key, value in config.items() if value is not None}
        with open(os.path.join(run.ui_dir, "config.json"), "w") as f:
            json.dump(config, f)
        run.start(prefix=prefix)
        return run

    # The page's log lines, "[LEVEL] message".
    def page_lines(self, run):
        lines = []
        for line in run.log_text().splitlines():
            match = PAGE_LINE.match(line)
            if match:
                lines.append("[%s] %s" % (match[1], match[2]))
        return lines

    def wait_for_page_line(self, run, text, count=1, timeout=STEP_TIMEOUT):
        deadline = time.monotonic() + timeout
        while True:
            ended = run.process.poll() is not None  # before reading: the last lines are in
            found = [line for line in self.page_lines(run) if text in line]
            if len(found) >= count:
                return found[count - 1]
            if ended or time.monotonic() >= deadline:
                break
            time.sleep(0.2)
        raise AssertionError("no page line %r (x%d); page lines: %r; stderr: %s" %
                             (text, count, self.page_lines(run), run.stderr_tail()))

    def wait_until(self, predicate, what, timeout=STEP_TIMEOUT):
        deadline = time.monotonic() + timeout
        while not predicate():
            if time.monotonic() >= deadline:
                raise AssertionError("timed out waiting: " + what)
            time.sleep(0.2)

    def working_folders(self, run):
        return [n for n in os.listdir(run.env["TMPDIR"]) if GUID_FOLDER.match(n)]

    def press(self, run, window, key):
        """A key press as a user makes it: the window gets the input focus, then the key."""
        # The window is back (it hides while the setup runs) before it can take the focus.
        self.wait_until(lambda: any(w[0] == window for w in run.windows(TOOL)), "window shown")
        subprocess.run(["xdotool", "windowfocus", "--sync", str(window)], env=run.env,
                       check=True, timeout=30)
        subprocess.run(["xdotool", "key", key], env=run.env, check=True, timeout=30)

    def screenshot(self, run, window, name):
        """Kept with the run's folder (VLM_E2E_KEEP=1) for a look at what the user saw."""
        subprocess.run(["import", "-window", str(window), os.path.join(run.root, name)],
                       env=run.env, timeout=60, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)

    def check_installed_and_cleaned(self, run, lines):
        """The setup ran in the extraction folder, and every working folder is gone."""
        archives = [line.split(": ", 1)[1] for line in lines if "] Download finished: " in line]
        folders = [line.split(" in ", 1)[1] for line in lines if "] Files prepared in " in line]
        self.assertTrue(archives and folders, lines)
        with open(os.path.join(self.receipts, "receipt.txt")) as f:
            receipt = f.read()
        self.assertIn("from: %s\n" % folders[-1], receipt)
        tmp = run.env["TMPDIR"]
        for path in [os.path.dirname(a) for a in archives] + folders:
            self.assertTrue(path.startswith(tmp + "/"), path)
            self.assertFalse(os.path.exists(path), path)
        self.assertEqual(self.working_folders(run), [])


class AutoStartTest(DefaultPageTestCase):
    def test_installs_cleans_up_and_closes_through_the_close_button(self):
        server = self.serve()
        run = self.start_page("http://127.0.0.1:%d/%s" % (server.port, ARCHIVE), auto_start=True)
        window = run.wait_for_window(TOOL, START_TIMEOUT)
        self.wait_for_page_line(run, "Setup exited with code ")
        # The page cleans up as soon as the setup has ended, before anyone closes the window.
        self.wait_until(lambda: not self.working_folders(run), "working folders removed")
        self.screenshot(run, window[0], "result.png")

        # The close button asks the page; nothing runs any more, so it closes at once.
        subprocess.run([TOOL, "close", str(window[0])], env=run.env, check=True, timeout=30)
        self.assertEqual(run.wait(timeout=EXIT_TIMEOUT), 0, run.stderr_tail())

        lines = self.page_lines(run)
        road = ["[INFO] Installer page ready for " + PRODUCT,
                "[INFO] Installation of %s started" % PRODUCT,
                "[INFO] Download finished: ",
                "[INFO] Files prepared in ",
                "[INFO] Setup exited with code 0"]
        at = [next((i for i, line in enumerate(lines) if line.startswith(step)), -1)
              for step in road]
        self.assertTrue(all(i >= 0 for i in at) and at == sorted(at), lines)
        self.assertFalse([line for line in lines if line.startswith("[ERROR]")], lines)
        self.check_installed_and_cleaned(run, lines)

        # The host's side of the same road: the job transfer, the extraction, the setup.
        log = run.log_text()
        folder = lines[at[3]].split(" in ", 1)[1]
        self.assertIn("[Engine.Zip] Unzip completed: dest=" + folder, log)
        self.assertIn("[Engine.AppLauncher] Process exited code=0", log)
        self.assertNotIn("WinHTTP fallback starting", log)
        gets = [r for r in server.requests() if r["method"] == "GET"]
        self.assertTrue(gets)
        self.assertTrue(all(r["target"] == "/" + ARCHIVE for r in gets), gets)


class OpenProductTest(DefaultPageTestCase):
    def test_enter_on_the_result_starts_the_installed_product(self):
        # The demo setup puts its product where DEMO_RECEIPT_DIR says; the host reads the
        # variable the page names.
        server = self.serve()
        run = self.start_page("http://127.0.0.1:%d/%s" % (server.port, ARCHIVE), auto_start=True,
                              product={"productFolder": "%DEMO_RECEIPT_DIR%",
                                       "productProgram": "demo-product"})
        window = run.wait_for_window(TOOL, START_TIMEOUT)
        self.wait_for_page_line(run, "Product found in " + self.receipts)
        # Open is the main choice once the product is found: focus is on it. Once the product
        # runs the installer has done its part: it cleans up and closes by itself.
        self.press(run, window[0], "Return")
        self.assertEqual(run.wait(timeout=EXIT_TIMEOUT), 0, run.stderr_tail())
        # The product outlives the installer; it writes its receipt when it gets to it.
        self.wait_until(lambda: os.path.exists(os.path.join(self.receipts, "opened.txt")),
                        "the product started")
        self.assertEqual(self.working_folders(run), [])
        # The log is complete once the program has ended (it writes lines out in batches).
        log = run.log_text()
        product = os.path.join(self.receipts, "demo-product")
        self.assertIn("[Engine.AppLauncher] Product started: " + product, log)
        self.assertIn("[UI] Started " + product, log)


class ExpiredLinkTest(DefaultPageTestCase):
    def test_expired_presigned_link_shows_why_and_retry_by_keyboard_succeeds(self):
        # The storage host name and the signature marker make it a pre-signed link, which takes
        # the direct transfer; the server refuses it once, as an expired link is refused.
        server = self.serve("--status", "403", "--status-times", "1")
        target = ("/bucket.s3.amazonaws.com/" + ARCHIVE + "?X-Amz-Algorithm=AWS4-HMAC-SHA256"
                  "&X-Amz-Credential=demo%2F20260101%2Fus-east-1%2Fs3%2Faws4_request"
                  "&X-Amz-Expires=60&X-Amz-Signature=abc123")
        run = self.start_page("http://127.0.0.1:%d%s" % (server.port, target), auto_start=True)
        window = run.wait_for_window(TOOL, START_TIMEOUT)

        failure = self.wait_for_page_line(run, "download failed with result ")
        # The status itself is the result, whatever message may come with it.
        self.assertRegex(failure, r"^\[ERROR\] download failed with result 403(: .*)?$")
        self.screenshot(run, window[0], "expired.png")
        self.assertIsNone(run.process.poll())

        # The failure screen puts the focus on "Try again": Return presses it.
        self.press(run, window[0], "Return")
        self.wait_for_page_line(run, "Installation of %s started" % PRODUCT, count=2)
        self.wait_for_page_line(run, "Setup exited with code ")
        # The window is back after the setup, with the focus on "Finish", which closes.
        self.press(run, window[0], "Return")
        self.assertEqual(run.wait(timeout=EXIT_TIMEOUT), 0, run.stderr_tail())

        lines = self.page_lines(run)
        self.assertIn("[INFO] Setup exited with code 0", lines)
        self.assertEqual(len([line for line in lines if line.startswith("[ERROR]")]), 1, lines)
        self.check_installed_and_cleaned(run, lines)

        log = run.log_text()
        self.assertEqual(log.count("WinHTTP fallback starting"), 2)
        # Both attempts asked for the signed target unchanged; no error page became an archive.
        gets = [r for r in server.requests() if r["method"] == "GET"]
        self.assertEqual([r["target"] for r in gets], [target, target])
        self.assertEqual(log.count("[unzip] Unzip requested file="), 1)


class PauseAndCancelTest(DefaultPageTestCase):
    def test_pause_resume_and_download_again_fetch_only_the_rest(self):
        # Fast for a moment, then slow enough for a person (here: the keyboard) to act.
        # The demo archive with 10 MB that do not compress, so the download takes a while.
        archive = os.path.join(self.scratch, "large-" + ARCHIVE)
        shutil.copy(self.archive, archive)
        with zipfile.ZipFile(archive, "a") as z:
            z.writestr("payload/noise.bin", os.urandom(10 << 20), zipfile.ZIP_STORED)
        with open(archive, "rb") as f:
            data = f.read()
        size = len(data)
        folder = tempfile.mkdtemp(prefix="server-", dir=self.scratch)
        server = host_driver.FaultServer(folder, "--body-file", archive, "--etag", '"demo-1"',
                                         "--rate-mbit", "0.5", "--rate-after", "200000")
        self.addCleanup(server.close)
        target = "/bucket.s3.amazonaws.com/%s?X-Amz-Algorithm=A&X-Amz-Signature=s" % ARCHIVE
        run = self.start_page("http://127.0.0.1:%d%s" % (server.port, target), auto_start=True,
                              product={"size": size,
                                       "sha256": hashlib.sha256(data).hexdigest()})
        window = run.wait_for_window(TOOL, START_TIMEOUT)
        self.wait_for_page_line(run, " left")
        # Focus rests on the title while the download runs: Tab reaches Pause first.
        self.press(run, window[0], "Tab")
        self.press(run, window[0], "Return")
        paused = self.wait_for_page_line(run, "Download paused; ")
        kept = int(re.search(r"paused; (\d+) bytes kept", paused)[1])
        self.assertGreater(kept, 0)
        # Resume is the paused screen's main choice.
        self.press(run, window[0], "Return")
        self.wait_until(lambda: "Continuing a kept download" in run.log_text(), "resumed")
        # Cancel (after Pause) asks; Tab to "Cancel installation", Return.
        self.press(run, window[0], "Tab")
        self.press(run, window[0], "Tab")
        self.press(run, window[0], "Return")
        self.press(run, window[0], "Tab")
        self.press(run, window[0], "Return")
        self.wait_for_page_line(run, "Installation cancelled")
        # "Download again" is the main choice, and finishes the download and the installation.
        self.press(run, window[0], "Return")
        self.wait_for_page_line(run, "Setup exited with code 0", timeout=STEP_TIMEOUT)
        self.assertEqual(run.log_text().count("Continuing a kept download"), 2)
        # Every byte came once, give or take the pieces in hand at each stop (at most a block
        # per connection).
        self.assertLess(server.body_bytes_sent(), size + 2 * 4 * (256 << 10))
        self.press(run, window[0], "Return")  # Finish
        self.assertEqual(run.wait(timeout=EXIT_TIMEOUT), 0, run.stderr_tail())


class ContinuationTest(DefaultPageTestCase):
    def test_a_download_cut_at_60_percent_continues_after_a_restart_with_only_the_rest(self):
        # The link drops at 60 % and the retry finds it expired; the user closes the program.
        size = self.archive_facts["size"]
        cut = size * 6 // 10
        server = self.serve("--etag", '"demo-1"', "--cut-after", str(cut), "--then-status", "403")
        target = "/bucket.s3.amazonaws.com/%s?X-Amz-Algorithm=A&X-Amz-Signature=s" % ARCHIVE
        url = "http://127.0.0.1:%d%s" % (server.port, target)
        first = self.start_page(url, auto_start=True)
        self.wait_for_page_line(first, "download failed with result 403")
        # The log reaches its file in batches, at least every 5 s.
        kept = "Kept %d of %d bytes to continue later" % (cut, size)
        self.wait_until(lambda: kept in first.log_text(), kept, timeout=15)
        first.stop()
        self.assertEqual(server.body_bytes_sent(), cut)

        # The next start (a renewed link) fetches the rest and installs.
        second = self.start_page(url.replace("Signature=s", "Signature=t"), auto_start=True,
                                 tmpdir=first.env["TMPDIR"])
        self.wait_for_page_line(second, "Setup exited with code 0")
        going_on = "Continuing a kept download: %d of %d bytes on disk" % (cut, size)
        self.wait_until(lambda: going_on in second.log_text(), going_on, timeout=15)
        self.assertEqual(server.body_bytes_sent() - cut, size - cut)
        self.assertEqual(server.requests()[-1]["headers"]["range"], "bytes=%d-" % cut)


class BackgroundJobTest(DefaultPageTestCase):
    def test_an_expired_link_ends_the_job_at_once(self):
        # Retrying a refusal used to keep "Waiting for the server…" up for 16 minutes first.
        server = self.serve("--status", "403")
        began = time.monotonic()
        run = self.start_page("http://127.0.0.1:%d/%s" % (server.port, ARCHIVE), auto_start=True)
        failure = self.wait_for_page_line(run, "download failed with result ", timeout=60)
        self.assertRegex(failure, r"^\[ERROR\] download failed with result 403(: .*)?$")
        self.assertLess(time.monotonic() - began, 60)
        self.assertEqual(len(server.requests()), 1, server.requests())
        self.assertNotIn("No download progress", run.log_text())

    def test_a_slow_large_download_is_never_taken_for_a_stalled_one(self):
        # 1 GB announced (a tenth of a percent is 1 MB): the first 1.5 MB at full speed, the rest
        # at 125 kB/s, so the next tenth of a percent is 8 s away, more than the page's 5 s.
        body = os.path.join(self.scratch, "large.bin")
        with open(body, "wb") as f:
            f.truncate(1 << 30)  # sparse: no disk needed
        folder = tempfile.mkdtemp(prefix="server-", dir=self.scratch)
        server = host_driver.FaultServer(folder, "--body-file", body, "--rate-mbit", "1",
                                         "--rate-after", str(3 << 19))
        self.addCleanup(server.close)
        run = self.start_page("http://127.0.0.1:%d/%s" % (server.port, ARCHIVE), auto_start=True)
        self.wait_for_page_line(run, "Installation of %s started" % PRODUCT)
        self.wait_until(lambda: server.requests(), "the job's request")
        time.sleep(15)
        self.assertIsNone(run.process.poll())
        lines = self.page_lines(run)
        self.assertFalse([line for line in lines if "No download progress" in line], lines)
        self.assertFalse([line for line in lines if line.startswith("[ERROR]")], lines)


class SlowSharedLinkTest(DefaultPageTestCase):
    """Four connections share a 150 kB/s link: each one's whole block takes longer than the
    page's stall limit, yet bytes move all the time. Needs root (a network lab), as CI runs."""

    RATE = "1200kbit"  # 150 kB/s
    WATCH_SECONDS = 60

    def test_several_connections_on_a_slow_link_show_no_stall_and_a_steady_time_left(self):
        lab = netlab.NetLab()
        self.addCleanup(lab.close)
        origin, client = lab.namespace("origin"), lab.namespace("client")
        out, _ = lab.link(origin, "10.3.0.1", client, "10.3.0.2")
        lab.shape(origin, out, self.RATE)
        body = os.path.join(self.scratch, "slow.bin")
        with open(body, "wb") as f:
            f.write(os.urandom(12 << 20))
        server = lab.start(origin, [sys.executable, host_driver.FAULT_SERVER, "--bind",
                                    "10.3.0.1", "--body-file", body, "--etag", '"slow-1"'],
                           stdout=subprocess.PIPE, text=True)
        port = int(server.stdout.readline())
        # A pre-signed form takes the direct transfer, which uses several connections.
        url = ("http://10.3.0.1:%d/bucket.s3.amazonaws.com/%s?X-Amz-Algorithm=A"
               "&X-Amz-Signature=s" % (port, ARCHIVE))
        run = self.start_page(url, auto_start=True, product={"size": None, "sha256": None},
                              prefix=["ip", "netns", "exec", client])
        self.wait_for_page_line(run, "Installation of %s started" % PRODUCT)
        began = time.monotonic()
        time.sleep(self.WATCH_SECONDS)
        self.assertIsNone(run.process.poll(), run.stderr_tail())
        lines = self.page_lines(run)
        run.stop()
        self.assertIn("over 4 connections", run.log_text())
        statuses = [line.split("Download status: ", 1)[1] for line in lines
                    if "] Download status: " in line]
        heard = [line for line in lines if "] Announced: " in line]
        # From the download's own screen on (before it: the start screen's).
        heard = heard[next((i for i, line in enumerate(heard) if "] Announced: Downloading" in line),
                           0):]
        print("\nslow shared link, %d s: %d announcements (%.1f a minute); status texts: %s" %
              (self.WATCH_SECONDS, len(heard), len(heard) * 60.0 / self.WATCH_SECONDS,
               " | ".join(statuses)), file=sys.stderr)
        self.assertFalse([line for line in lines if "No download progress" in line], lines)
        self.assertNotIn("Waiting for the server…", statuses)
        # A time left is shown once the rate is known, and stays: at most the first two texts
        # come before it (connecting, estimating).
        self.assertTrue(statuses and all(s.endswith(" left") for s in statuses[2:]), statuses)
        # The screen's title, then a milestone now and then: no stream of stall and resume news.
        self.assertLessEqual(len(heard), 4, heard)
        self.assertLess(time.monotonic() - began, self.WATCH_SECONDS + 30)


class LicenceLinkTest(DefaultPageTestCase):
    def test_licence_terms_open_in_the_users_browser_and_the_installer_stays(self):
        licence = "https://example.com/licence?product=demo"
        run = self.start_page("http://127.0.0.1:9/" + ARCHIVE, auto_start=False,
                              licence_url=licence)
        window = run.wait_for_window(TOOL, START_TIMEOUT)
        # Key presses before the close must not keep the close button from working.
        self.press(run, window[0], "Tab")
        self.press(run, window[0], "Tab")
        # The link starts the footer, whose middle is 29 px above the window's bottom edge. An
        # idle page logs too little for its lines to reach the file soon, so instead of waiting
        # for it the click is repeated, with time for the browser to start, until it lands.
        x, y = window[1] + 50, window[2] + window[4] - 29
        deadline = time.monotonic() + START_TIMEOUT
        while not self.opened() and time.monotonic() < deadline:
            subprocess.run(["xdotool", "mousemove", str(x), str(y), "click", "1"], env=run.env,
                           check=True, timeout=30)
            end = time.monotonic() + 3
            while not self.opened() and time.monotonic() < end:
                time.sleep(0.1)
        self.assertEqual(self.opened(), [licence])

        subprocess.run([TOOL, "close", str(window[0])], env=run.env, check=True, timeout=30)
        self.assertEqual(run.wait(timeout=EXIT_TIMEOUT), 0, run.stderr_tail())
        self.assertEqual(self.opened(), [licence])
        self.assertFalse([line for line in self.page_lines(run) if "started" in line])


def main():
    global BINARY, TOOL
    BINARY, TOOL, unittest_argv = host_driver.program_arguments(sys.argv)
    unittest.main(argv=unittest_argv, verbosity=2)


if __name__ == "__main__":
    main()
