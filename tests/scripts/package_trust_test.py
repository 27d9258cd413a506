"""scripts/package-windows builds the vendor's trust into the package: a key is asked for (or an
explicit --no-key, warned about), the page is signed with it as a page release whose version
the program is built to require, and a package's program and page are checked against the key.

Usage: package_trust_test.py KEYED_PROGRAM PLAIN_PROGRAM
    two builds of the program, with the test key built in and without; the package check looks
    only at their bytes, so the Linux builds stand in for quillfetch.exe.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SIGNING = os.path.join(ROOT, "tests", "support", "signing")
KEY = os.path.join(SIGNING, "test-archive-key.pem")
PUBLIC = os.path.join(SIGNING, "test-archive-key.pub.pem")
PACKAGE = os.path.join(ROOT, "scripts", "package-windows")
SIGN = os.path.join(ROOT, "scripts", "sign-archive")
KEYED = PLAIN = None


class PackageTrustTest(unittest.TestCase):
    def setUp(self):
        self.temp = tempfile.mkdtemp(prefix="qf-package-trust-")
        self.addCleanup(shutil.rmtree, self.temp, True)
        self.build = os.path.join(self.temp, "build")

    def package(self, *arguments):
        return subprocess.run([PACKAGE, "--build-dir", self.build] + list(arguments),
                              capture_output=True, text=True, timeout=120)

    def test_a_key_or_an_explicit_no_key_is_asked_for(self):
        done = self.package("--dry-run")
        self.assertEqual(done.returncode, 2)
        self.assertIn("--no-key", done.stderr)
        done = self.package("--no-key", "--dry-run")
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertIn("WARNING: building without a key", done.stderr)
        self.assertIn("any process that can write beside it", done.stderr)
        self.assertIn("-DVLM_ARCHIVE_KEY= ", done.stdout)

    def test_the_page_is_signed_as_the_release_the_program_requires(self):
        done = self.package("--archive-key", PUBLIC, "--ui-key", KEY, "--product",
                            "com.example.product", "--page-version", "3", "--dry-run")
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertIn("-DVLM_MIN_UI_VERSION=3 ", done.stdout)
        self.assertIn("-DVLM_UI_PRODUCT=com.example.product ", done.stdout)
        staged = os.path.join(self.build, "UI")
        release = subprocess.run([SIGN, "verify-ui", PUBLIC, staged], capture_output=True,
                                 text=True, check=True).stdout
        self.assertEqual(release.strip(), "com.example.product 3")
        # A page signed already is taken with the release it names; an unsigned one is refused.
        signed = shutil.copytree(staged, os.path.join(self.temp, "signed-UI"))
        done = self.package("--archive-key", PUBLIC, "--ui", signed, "--dry-run")
        self.assertIn("-DVLM_MIN_UI_VERSION=3 ", done.stdout)
        done = self.package("--archive-key", PUBLIC, "--ui", os.path.join(ROOT, "ui"),
                            "--dry-run")
        self.assertEqual(done.returncode, 1)
        self.assertIn("is not signed with", done.stderr)

    def test_a_package_is_checked_against_the_key(self):
        page = os.path.join(self.temp, "UI")
        shutil.copytree(os.path.join(ROOT, "ui"), page)
        subprocess.run([SIGN, "sign-ui", KEY, page, "com.example.product", "3"], check=True,
                       capture_output=True)

        def make(name, program, change=None):
            path = os.path.join(self.temp, name)
            with zipfile.ZipFile(path, "w") as z:
                z.write(program, "quillfetch.exe")
                for folder, _, files in os.walk(page):
                    for file in files:
                        full = os.path.join(folder, file)
                        entry = "UI/" + os.path.relpath(full, page)
                        if entry == change:
                            z.writestr(entry, b"changed\n")
                        else:
                            z.write(full, entry)
            return path

        cases = [(make("keyed.zip", KEYED), "carries the key, and its UI folder verifies"),
                 (make("plain.zip", PLAIN), "is not built with the key"),
                 (make("changed.zip", KEYED, "UI/config.json"), "does not verify with")]
        for package, said in cases:
            done = self.package("--verify", "--package", package, "--archive-key", PUBLIC)
            self.assertIn(said, done.stdout + done.stderr, package)
            if "verifies" not in said:
                self.assertEqual(done.returncode, 1, package)


if __name__ == "__main__":
    KEYED, PLAIN = sys.argv[1], sys.argv[2]
    unittest.main(argv=sys.argv[:1], verbosity=2)
