#!/usr/bin/env python3
"""What a vendor runs before publishing: pack-release, sign-archive and vendor-check, each
against the fault it is there to catch.

    vendor_scripts_test.py [--keyed-program PROGRAM] [unittest options]
"""
import json
import os
import stat
import subprocess
import sys
import tempfile
import unittest

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
SCRIPTS = os.path.join(ROOT, "scripts")
KEY = os.path.join(ROOT, "tests", "support", "signing", "test-archive-key.pem")
PUBLIC = os.path.join(ROOT, "tests", "support", "signing", "test-archive-key.pub.pem")
KEYED_PROGRAM = None


def run(*args, umask=None, env=None):
    return subprocess.run([os.path.join(SCRIPTS, args[0]), *args[1:]], capture_output=True,
                          text=True, env=env, preexec_fn=(lambda: os.umask(umask)) if umask else None)


class VendorScriptsTest(unittest.TestCase):
    def setUp(self):
        self.scratch = tempfile.TemporaryDirectory()
        self.dir = self.scratch.name
        self.product = self.path("product")
        os.makedirs(os.path.join(self.product, "bin"))
        self.write("product/Setup.exe", "setup")
        self.write("product/bin/tool.exe", "tool")

    def tearDown(self):
        self.scratch.cleanup()

    def path(self, name):
        return os.path.join(self.dir, name)

    def write(self, name, text):
        with open(self.path(name), "w") as f:
            f.write(text)
        return self.path(name)

    def pack(self, archive, version, *extra, **kwargs):
        return run("pack-release", self.product, self.path(archive), "--key", KEY, "--product",
                   "com.example.app", "--version", version, *extra, **kwargs)

    def flip_byte(self, name, at=40):
        with open(self.path(name), "r+b") as f:
            f.seek(at)
            byte = f.read(1)
            f.seek(at)
            f.write(bytes([byte[0] ^ 1]))

    def test_pack_release_signs_pre_releases_and_publishes_readable(self):
        packed = self.pack("app.zip", "1.2.0-beta.2", umask=0o077)
        self.assertEqual(packed.returncode, 0, packed.stderr)
        members = json.loads(packed.stdout)
        self.assertEqual(members["min_version"], "1.2.0-beta.2")
        self.assertIn("\nversion: 1.2.0-beta.2\n", members["signature"])
        self.assertEqual(stat.S_IMODE(os.stat(self.path("app.zip")).st_mode), 0o644)

    def test_pack_release_leaves_nothing_when_it_fails(self):
        self.write("app.zip", "the release published before")
        os.symlink("Setup.exe", os.path.join(self.product, "link.exe"))
        cases = [
            ("a version the program refuses", ["1.2.0-beta.01"], {}),
            ("a public key for a private one", ["1.2.0", "--key", PUBLIC], {}),
            ("a link in the folder", ["1.2.0"], {}),
        ]
        # A compressor that fails once the archive has been started.
        fake = os.path.join(self.dir, "fakebin")
        os.mkdir(fake)
        with open(os.path.join(fake, "zstd"), "w") as f:
            f.write("#!/bin/sh\nexit 1\n")
        os.chmod(os.path.join(fake, "zstd"), 0o755)
        env = dict(os.environ, PATH=fake + os.pathsep + os.environ["PATH"])
        before = sorted(os.listdir(self.dir))
        for what, extra, kwargs in cases:
            with self.subTest(what):
                self.assertNotEqual(self.pack("app.zip", *extra, **kwargs).returncode, 0)
        os.unlink(os.path.join(self.product, "link.exe"))
        with self.subTest("the compressor fails midway"):
            self.assertNotEqual(self.pack("app.zip", "1.2.0", env=env).returncode, 0)
        self.assertEqual(sorted(os.listdir(self.dir)), before)
        with open(self.path("app.zip")) as f:
            self.assertEqual(f.read(), "the release published before")

    def test_verify_archive_catches_a_changed_byte(self):
        packed = self.pack("app.zip", "2.4.1")
        self.assertEqual(packed.returncode, 0, packed.stderr)
        self.write("config.json", packed.stdout)
        signed = run("sign-archive", "sign", KEY, self.path("app.zip"), self.path("bare.sig"))
        self.assertEqual(signed.returncode, 0, signed.stderr)
        release = ["--config", self.path("config.json")]
        bare = ["--signature", self.path("bare.sig")]
        for signature in (release, bare):
            verified = run("vendor-check", "verify-archive", self.path("app.zip"), "--key",
                           PUBLIC, *signature)
            self.assertEqual(verified.returncode, 0, verified.stderr)
        self.flip_byte("app.zip")
        for signature in (release, bare):
            verified = run("vendor-check", "verify-archive", self.path("app.zip"), "--key",
                           PUBLIC, *signature)
            self.assertEqual(verified.returncode, 1, signature)

    def test_verify_ui_catches_a_changed_byte_and_a_private_manifest(self):
        ui = self.path("ui")
        os.mkdir(ui)
        self.write("ui/index.html", "<p>page</p>")
        signed = run("sign-archive", "sign-ui", KEY, ui, umask=0o077)
        self.assertEqual(signed.returncode, 0, signed.stderr)
        os.chmod(ui, 0o755)
        os.chmod(self.path("ui/index.html"), 0o644)
        self.assertEqual(run("vendor-check", "verify-ui", ui, "--key", PUBLIC).returncode, 0)
        self.flip_byte("ui/index.html", at=3)
        checked = run("vendor-check", "verify-ui", ui, "--key", PUBLIC)
        self.assertEqual(checked.returncode, 1)
        self.assertIn("index.html changed after it was signed", checked.stderr)

    def test_check_config_against_the_program(self):
        packed = self.pack("app.zip", "1.2.0-rc.1")
        self.assertEqual(packed.returncode, 0, packed.stderr)
        config = dict(json.loads(packed.stdout), productName="Demo")
        above = dict(config, min_version="1.2.0")
        unsigned = {k: v for k, v in config.items() if k not in ("signature", "product_id",
                                                                 "min_version")}
        cases = [
            ("keyed, its own release", config, ["--key", PUBLIC], 0, ""),
            ("keyless, given a signature", config, ["--no-key"], 1, "no key built in"),
            ("keyless, nothing signed", unsigned, ["--no-key"], 0, ""),
            ("a lowest version above the release", above, ["--key", PUBLIC], 1, "is above"),
            ("a misspelt member", dict(config, minVersion="1"), ["--key", PUBLIC], 1,
             "minVersion is not a member"),
            ("a member of the wrong type", dict(config, connections="4"), ["--key", PUBLIC], 1,
             "connections is malformed"),
        ]
        if KEYED_PROGRAM:
            cases.append(("the key read from the program", config, ["--program", KEYED_PROGRAM],
                          0, ""))
        for what, members, program, code, said in cases:
            with self.subTest(what):
                self.write("config.json", json.dumps(members))
                checked = run("vendor-check", "check-config", self.path("config.json"), *program)
                self.assertEqual(checked.returncode, code, checked.stderr)
                self.assertIn(said, checked.stderr)


if __name__ == "__main__":
    if len(sys.argv) > 2 and sys.argv[1] == "--keyed-program":
        KEYED_PROGRAM = sys.argv[2]
        del sys.argv[1:3]
    unittest.main()
