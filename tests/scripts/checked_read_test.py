"""scripts/pack-release and scripts/sign-archive sign-ui read every file through the descriptor
that was checked: a link swapped in for a file between the tool's check and its read is refused,
and nothing of the link's target is packed or signed.

The race is made deterministic from inside the tool's own Python: a sitecustomize module on
PYTHONPATH wraps os.lstat so that the first look at the chosen file swaps it for a link to a
secret file the moment after lstat has answered "a regular file".
"""
import os
import subprocess
import sys
import tempfile
import unittest
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
KEY = os.path.join(ROOT, "tests", "support", "signing", "test-archive-key.pem")
SECRET = b"the secret the link points at\n"

SWAPPER = '''
import os
_lstat = os.lstat
_done = []
def _swapping_lstat(path, *args, **kwargs):
    result = _lstat(path, *args, **kwargs)
    if not _done and os.path.basename(os.fsdecode(path)) == os.environ["SWAP_NAME"]:
        _done.append(path)
        os.unlink(path)
        os.symlink(os.environ["SWAP_TARGET"], path)
    return result
os.lstat = _swapping_lstat
'''


class SwappedLinkTest(unittest.TestCase):
    def setUp(self):
        self.temp = tempfile.TemporaryDirectory(prefix="qf-checked-read-")
        self.addCleanup(self.temp.cleanup)
        root = self.temp.name
        self.folder = os.path.join(root, "product")
        os.makedirs(os.path.join(self.folder, "bin"))
        for name in ("a.txt", "bin/b.txt"):
            with open(os.path.join(self.folder, name), "w") as f:
                f.write("ordinary " + name + "\n")
        self.secret = os.path.join(root, "secret.txt")
        with open(self.secret, "wb") as f:
            f.write(SECRET)
        hooks = os.path.join(root, "hooks")
        os.makedirs(hooks)
        with open(os.path.join(hooks, "sitecustomize.py"), "w") as f:
            f.write(SWAPPER)
        self.env = dict(os.environ, PYTHONPATH=hooks, SWAP_NAME="b.txt", SWAP_TARGET=self.secret)

    def run_tool(self, *arguments, swap=True):
        return subprocess.run(list(arguments), env=self.env if swap else None,
                              capture_output=True, text=True, timeout=120)

    def test_pack_release_refuses_a_link_swapped_in_after_its_check(self):
        for method in ("zstd", "deflate"):
            archive = os.path.join(self.temp.name, method + ".zip")
            done = self.run_tool(os.path.join(ROOT, "scripts", "pack-release"), self.folder,
                                 archive, "--method", method)
            self.assertNotEqual(done.returncode, 0, method)
            self.assertIn("bin/b.txt", done.stderr)
            if os.path.exists(archive):
                with open(archive, "rb") as f:
                    self.assertNotIn(SECRET, f.read())
            # The tool packs the folder as it is once nothing is swapped (the link now there is
            # refused as a link).
            os.unlink(os.path.join(self.folder, "bin", "b.txt"))
            with open(os.path.join(self.folder, "bin", "b.txt"), "w") as f:
                f.write("ordinary bin/b.txt\n")
        done = self.run_tool(os.path.join(ROOT, "scripts", "pack-release"), self.folder,
                             os.path.join(self.temp.name, "plain.zip"), "--method", "deflate",
                             swap=False)
        self.assertEqual(done.returncode, 0, done.stderr)
        with zipfile.ZipFile(os.path.join(self.temp.name, "plain.zip")) as z:
            self.assertEqual(z.read("bin/b.txt"), b"ordinary bin/b.txt\n")

    def test_sign_ui_refuses_a_link_swapped_in_after_its_check(self):
        done = self.run_tool(os.path.join(ROOT, "scripts", "sign-archive"), "sign-ui", KEY,
                             self.folder)
        self.assertNotEqual(done.returncode, 0)
        self.assertIn("bin/b.txt", done.stderr)
        self.assertFalse(os.path.exists(os.path.join(self.folder, "ui-manifest.txt")))


if __name__ == "__main__":
    unittest.main(verbosity=2)
