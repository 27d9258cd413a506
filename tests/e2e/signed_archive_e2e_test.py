"""End-to-end tests of signed archives and the signed page: the real program with the test key
built in (tests/support/signing), under a virtual X display, fetching from a server on 127.0.0.1.

Usage: signed_archive_e2e_test.py --binary PATH --tool PATH [unittest arguments]

The test page runs a list of actions in order and reports each answer; the files left in the
run's temporary folder tell what was kept and what was extracted.
"""

import base64
import functools
import glob
import http.server
import json
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import zipfile

import host_driver

HERE = os.path.dirname(os.path.abspath(__file__))
TEST_KEY = os.path.join(os.path.dirname(HERE), "support", "signing", "test-archive-key.pem")
SIGN_ARCHIVE = os.path.join(os.path.dirname(os.path.dirname(HERE)), "scripts", "sign-archive")
BINARY = None
TOOL = None
START_TIMEOUT = 90
STEPS_TIMEOUT = 240
NO_SIGNATURE = 256  # 0x800B0100
BAD_SIGNATURE = 24592  # 0x80096010
OLDER_RELEASE = 257  # 0x800B0101
OTHER_RELEASE = 272  # 0x800B0110
INVALID_PARAMETER = 87
NO_SETUP_SUCCEEDED = 65601
NOT_THE_CONFIGURED_PRODUCT = 65602
RESTART_NOT_ASKED = 65603
# The page release the keyed program is built to show at least (tests/e2e/CMakeLists.txt).
PAGE_PRODUCT = "com.example.product"


def sign(path):
    der = subprocess.run(["openssl", "dgst", "-sha256", "-sign", TEST_KEY, path],
                         check=True, capture_output=True, timeout=60).stdout
    return base64.b64encode(der).decode()


def sign_page(ui_dir, version="2.0"):
    """Signs the page as `version` of the product's page (the program shows 2 and later)."""
    return sign_tool("sign-ui", ui_dir, PAGE_PRODUCT, version)


def start_signed_steps(run, steps):
    """Gives the test page `steps` to play, signs the page and starts the program."""
    with open(os.path.join(run.ui_dir, "scenario.js"), "w") as f:
        f.write("window.E2E = %s;\n" % json.dumps({"scenario": "steps", "steps": steps}))
    sign_page(run.ui_dir)
    run.start()


def sign_tool(*arguments):
    return subprocess.run([SIGN_ARCHIVE, arguments[0], TEST_KEY] + list(arguments[1:]),
                          check=True, capture_output=True, text=True, timeout=60).stdout


class FolderServer:
    """Serves a folder's files on 127.0.0.1 (404 for anything else), and lists what was asked."""

    def __init__(self, folder):
        self.paths = []
        paths = self.paths

        class Handler(http.server.SimpleHTTPRequestHandler):
            def do_GET(self):
                paths.append(self.path)
                super().do_GET()

            def log_message(self, *args):
                pass

        self.server = http.server.ThreadingHTTPServer(
            ("127.0.0.1", 0), functools.partial(Handler, directory=folder))
        self.port = self.server.server_address[1]
        threading.Thread(target=self.server.serve_forever, daemon=True).start()

    def url(self, name):
        return "http://127.0.0.1:%d/%s" % (self.port, name)

    def close(self):
        self.server.shutdown()
        self.server.server_close()


class SignedArchiveTest(unittest.TestCase):
    def setUp(self):
        self.display = host_driver.VirtualDisplay()
        self.addCleanup(self.display.close)
        self.files = tempfile.mkdtemp(prefix="qf-signed-")
        self.addCleanup(shutil.rmtree, self.files, True)

    def write(self, name, data):
        path = os.path.join(self.files, name)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def make_zip(self, name, text):
        path = os.path.join(self.files, name)
        with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
            z.writestr("payload/readme.txt", text)
            z.writestr("payload/data.bin", os.urandom(300000))
        return path

    def test_only_archives_signed_with_the_built_in_key_are_kept_and_extracted(self):
        product = self.make_zip("product.zip", "signed product\n")
        other = self.make_zip("other.zip", "another product\n")
        signature = sign(product)
        with open(product, "rb") as f:
            original = f.read()
        altered = bytearray(original)
        altered[len(altered) // 2] ^= 1
        self.write("altered.zip", bytes(altered))
        self.write("truncated.zip", original[:-100])
        self.write("product.zip.sig", (signature + "\n").encode())
        release_2_0 = sign_tool("release", product, "com.example.product", "2.0")
        release_1_9 = sign_tool("release", product, "com.example.product", "1.9")
        wanted = {"product_id": "com.example.product", "min_version": "2.0"}
        server = FolderServer(self.files)
        self.addCleanup(server.close)

        def download(name, url, **members):
            config = {"url": server.url(url), "archive_name": "product.zip"}
            config.update(members)
            return {"name": name, "message": {"action": "doDownload", "fetchDownloadConfig": config}}

        def unzip(name, download_member):
            return {"name": name, "message": {"action": "doUnZip", "download": download_member}}

        run = host_driver.HostRun(BINARY, self.display.display, None)
        self.addCleanup(run.close)
        # A well-formed archive the page names but no download of this run verified.
        planted = os.path.join(run.root, "planted.zip")
        shutil.copy(product, planted)
        steps = [
            unzip("planted-first", {"des": planted}),
            download("inline", "product.zip", signature=signature),
            unzip("verified", "$last"),
            download("from-url", "product.zip", signature_url=server.url("product.zip.sig")),
            download("missing", "product.zip"),
            download("blank", "product.zip", signature=" \n", signature_url=""),
            download("not-base64", "product.zip", signature="%%%%"),
            download("other-archive", "product.zip", signature=sign(other)),
            download("altered", "altered.zip", signature=signature),
            download("truncated", "truncated.zip", signature=signature),
            download("url-404", "product.zip", signature_url=server.url("nothing.sig")),
            unzip("planted-later", {"des": planted}),
            download("release", "product.zip", signature=release_2_0, **wanted),
            download("older-release", "product.zip", signature=release_1_9, **wanted),
            download("bare-for-a-release", "product.zip", signature=signature,
                     product_id="com.example.product"),
            download("bad-min-version", "product.zip", signature=release_2_0,
                     product_id="com.example.product", min_version="2.x"),
        ]
        start_signed_steps(run, steps)
        run.wait_for_report("steps-done", STEPS_TIMEOUT)

        results = run.step_results()
        self.assertEqual({name: result for name, (result, _) in results.items()}, {
            "planted-first": NO_SIGNATURE, "inline": 0, "verified": 0, "from-url": 0,
            "missing": NO_SIGNATURE, "blank": NO_SIGNATURE, "not-base64": BAD_SIGNATURE, "other-archive": BAD_SIGNATURE,
            "altered": BAD_SIGNATURE, "truncated": BAD_SIGNATURE, "url-404": NO_SIGNATURE,
            "planted-later": NO_SIGNATURE, "release": 0, "older-release": OLDER_RELEASE,
            "bare-for-a-release": OTHER_RELEASE, "bad-min-version": INVALID_PARAMETER},
            run.reports())
        self.assertIn("could not be verified (no signature was given)", results["missing"][1])
        self.assertIn("could not be fetched", results["url-404"][1])
        self.assertIn("does not match the archive", results["altered"][1])
        self.assertIn("not extracted: " + planted, results["planted-later"][1])
        log = run.log_text()
        self.assertIn("hr=0x800B0100", log)
        self.assertIn("hr=0x80096010", log)

        self.assertIn("(release com.example.product 2.0)", log)
        self.assertIn("version 1.9, older than 2.0", results["older-release"][1])

        # Kept: the archive fetched with its signature file, which is not left beside it, and
        # the release. The extracted one went with its extraction; every refused one is gone.
        temp = run.env["TMPDIR"]
        self.assertEqual(len(glob.glob(os.path.join(temp, "*", "product.zip"))), 2)
        self.assertEqual(glob.glob(os.path.join(temp, "*", "*.sig")), [])
        # Extracted once, from the verified archive; the planted one twice refused, untouched.
        extracted = glob.glob(os.path.join(temp, "*", "payload", "readme.txt"))
        self.assertEqual(len(extracted), 1)
        with open(extracted[0]) as f:
            self.assertEqual(f.read(), "signed product\n")
        self.assertTrue(os.path.exists(planted))
        self.assertIn("/product.zip.sig", server.paths)
        self.assertIn("/nothing.sig", server.paths)

    def test_a_page_file_changed_after_signing_refuses_the_page(self):
        run = host_driver.HostRun(BINARY, self.display.display, '{"scenario": "steps", "steps": []}')
        self.addCleanup(run.close)
        sign_page(run.ui_dir)
        with open(os.path.join(run.ui_dir, "e2e.js"), "a") as f:
            f.write("\n// one line more\n")
        self.expect_refused_page(run, "e2e.js has been changed since it was signed")

    def test_an_older_signed_page_is_refused(self):
        run = host_driver.HostRun(BINARY, self.display.display, '{"scenario": "steps", "steps": []}')
        self.addCleanup(run.close)
        sign_page(run.ui_dir, "1.9")
        self.expect_refused_page(
            run, "the page is version 1.9, older than 2, the lowest this program shows")

    def expect_refused_page(self, run, why):
        run.start()
        window = run.wait_for_window(TOOL)[0]
        refusal = "The UI folder was refused: " + why
        deadline = time.monotonic() + START_TIMEOUT
        while refusal not in run.log_text() and time.monotonic() < deadline:
            time.sleep(0.2)
        self.assertIn(refusal, run.log_text())
        # The window shows the refusal instead; the page never runs, so it never reports.
        time.sleep(3)
        self.assertEqual(run.reports(), [])
        # With no page to ask, the close button closes the window.
        subprocess.run([TOOL, "close", str(window)], env=run.env, timeout=30, check=True)
        self.assertEqual(run.wait(30), 0)


    def make_setup_zip(self, name, exit_code, filler):
        """A stored archive whose payload/setup.sh exits with `exit_code`: two of them with the
        same `filler` have the same length."""
        path = os.path.join(self.files, name)
        with zipfile.ZipFile(path, "w", zipfile.ZIP_STORED) as z:
            setup = zipfile.ZipInfo("payload/setup.sh", (2024, 1, 1, 0, 0, 0))
            setup.external_attr = 0o100755 << 16
            z.writestr(setup, "#!/bin/sh\nexit %d\n" % exit_code)
            z.writestr(zipfile.ZipInfo("payload/data.bin", (2024, 1, 1, 0, 0, 0)), filler)
        return path

    def test_only_a_program_from_a_verified_extraction_runs(self):
        filler = os.urandom(600000)
        product = self.make_setup_zip("product.zip", 7, filler)
        with open(self.make_setup_zip("swapped.zip", 8, filler), "rb") as f:
            swapped = f.read()
        signature = sign(product)
        server = FolderServer(self.files)
        self.addCleanup(server.close)
        run = host_driver.HostRun(BINARY, self.display.display, None)
        self.addCleanup(run.close)
        # A program no verified archive brought, named by its full path and from its own folder.
        planted = os.path.join(run.root, "planted")
        os.makedirs(planted)
        with open(os.path.join(planted, "setup.sh"), "w") as f:
            f.write("#!/bin/sh\nexit 9\n")
        os.chmod(os.path.join(planted, "setup.sh"), 0o755)

        def download(name):
            config = {"url": server.url("product.zip"), "archive_name": "product.zip",
                      "signature": signature}
            return {"name": name, "message": {"action": "doDownload", "fetchDownloadConfig": config}}

        def launch(name, unzipdir, launcher):
            return {"name": name, "message": {"action": "doLaunchSetup", "unzipdir": unzipdir,
                                              "launcherName": launcher}}

        steps = [
            launch("before-any", planted, "setup.sh"),
            download("first"),
            {"name": "extracted", "message": {"action": "doUnZip", "download": "$last"}},
            launch("inside", "$lastUnzip", "payload/setup.sh"),
            launch("absolute", "$lastUnzip", os.path.join(planted, "setup.sh")),
            launch("elsewhere", planted, "setup.sh"),
            launch("leaving", "$lastUnzip", "../planted/setup.sh"),
            download("second"),
            {"name": "swap", "sleep": 10000},
            {"name": "swapped", "message": {"action": "doUnZip", "download": "$last"}},
        ]
        start_signed_steps(run, steps)

        # The verified archive overwritten in place by another of the same length, its time put
        # back: by name, size and time it is still the one that verified.
        run.wait_for_report("step second 0", STEPS_TIMEOUT)
        temp = run.env["TMPDIR"]
        [archive] = glob.glob(os.path.join(temp, "*", "product.zip"))
        before = os.stat(archive)
        with open(archive, "r+b") as f:
            f.write(swapped)
        os.utime(archive, ns=(before.st_atime_ns, before.st_mtime_ns))
        run.wait_for_report("steps-done", STEPS_TIMEOUT)

        results = run.step_results()
        self.assertEqual({name: result for name, (result, _) in results.items()}, {
            "before-any": NO_SIGNATURE, "first": 0, "extracted": 0, "inside": 7,
            "absolute": NO_SIGNATURE, "elsewhere": NO_SIGNATURE, "leaving": 161, "second": 0,
            "swapped": BAD_SIGNATURE}, run.reports())
        self.assertIn("changed after it was verified", results["swapped"][1])
        # Nothing of the swapped archive is left to run, and the archive itself is gone.
        scripts = glob.glob(os.path.join(temp, "*", "payload", "setup.sh"))
        self.assertEqual(len(scripts), 1)
        with open(scripts[0]) as f:
            self.assertEqual(f.read(), "#!/bin/sh\nexit 7\n")
        self.assertFalse(os.path.exists(archive))
        self.assertIn("an absolute launcherName is not started", run.log_text())

    def test_open_and_restart_only_what_the_vendor_configured_after_its_setup(self):
        product = self.make_setup_zip("product.zip", 0, os.urandom(1000))
        server = FolderServer(self.files)
        self.addCleanup(server.close)
        run = host_driver.HostRun(BINARY, self.display.display, None)
        self.addCleanup(run.close)
        # The vendor's product, and a program the page names elsewhere; each leaves a mark in
        # its working folder when it runs.
        for folder, program in (("Product", "start.sh"), ("evil", "pwn.sh")):
            os.makedirs(os.path.join(run.root, folder))
            path = os.path.join(run.root, folder, program)
            with open(path, "w") as f:
                f.write("#!/bin/sh\ntouch ran\n")
            os.chmod(path, 0o755)
        configured = {"folder": os.path.join(run.root, "Product"), "program": "start.sh"}
        with open(os.path.join(run.ui_dir, "config.json"), "w") as f:
            json.dump({"productFolder": configured["folder"], "productProgram": "start.sh"}, f)

        def open_product(name, folder, program):
            return {"name": name,
                    "message": {"action": "doOpenProduct", "folder": folder, "program": program}}

        steps = [
            open_product("open-before-setup", configured["folder"], "start.sh"),
            {"name": "restart-before-setup", "message": {"action": "doRestartSystem"}},
            {"name": "download", "message": {"action": "doDownload", "fetchDownloadConfig": {
                "url": server.url("product.zip"), "archive_name": "product.zip",
                "signature": sign(product)}}},
            {"name": "unzip", "message": {"action": "doUnZip", "download": "$last"}},
            {"name": "setup", "message": {"action": "doLaunchSetup", "unzipdir": "$lastUnzip",
                                          "launcherName": "payload/setup.sh"}},
            open_product("open-elsewhere", os.path.join(run.root, "evil"), "pwn.sh"),
            open_product("open-climbing", "%HOME%/../evil", "pwn.sh"),
            open_product("open-other-program", configured["folder"], "../evil/pwn.sh"),
            {"name": "restart-after-0", "message": {"action": "doRestartSystem"}},
            open_product("open", configured["folder"], "start.sh"),
        ]
        start_signed_steps(run, steps)
        run.wait_for_report("steps-done", STEPS_TIMEOUT)

        results = run.step_results()
        self.assertEqual({name: result for name, (result, _) in results.items()}, {
            "open-before-setup": NO_SETUP_SUCCEEDED, "restart-before-setup": RESTART_NOT_ASKED,
            "download": 0, "unzip": 0, "setup": 0,
            "open-elsewhere": NOT_THE_CONFIGURED_PRODUCT,
            "open-climbing": NOT_THE_CONFIGURED_PRODUCT,
            "open-other-program": NOT_THE_CONFIGURED_PRODUCT,
            "restart-after-0": RESTART_NOT_ASKED, "open": 0}, run.reports())
        deadline = time.monotonic() + 30
        while not os.path.exists(os.path.join(run.root, "Product", "ran")):
            self.assertLess(time.monotonic(), deadline, "the configured product did not start")
            time.sleep(0.2)
        self.assertFalse(os.path.exists(os.path.join(run.root, "evil", "ran")))


if __name__ == "__main__":
    BINARY, TOOL, unittest_argv = host_driver.program_arguments(sys.argv)
    unittest.main(argv=unittest_argv, verbosity=2)
