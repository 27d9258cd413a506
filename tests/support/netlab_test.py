"""The network lab leaves nothing behind, also when the test inside it fails, and shapes a link
as asked. Needs root, as CI runs.

Usage: netlab_test.py [unittest arguments]
"""

import os
import subprocess
import sys
import tempfile
import unittest

import netlab

HERE = os.path.dirname(os.path.abspath(__file__))


def namespaces():
    return subprocess.run(["ip", "netns", "list"], capture_output=True, text=True,
                          timeout=30).stdout


class NetLabTest(unittest.TestCase):
    def test_a_failing_test_still_leaves_no_namespace_and_no_process(self):
        with self.assertRaises(ZeroDivisionError):
            with netlab.NetLab() as lab:
                a, b = lab.namespace("a"), lab.namespace("b")
                lab.link(a, "10.7.0.1", b, "10.7.0.2")
                # One that ignores the polite request to end.
                stubborn = lab.start(b, [sys.executable, "-c",
                                         "import signal,time\n"
                                         "signal.signal(signal.SIGTERM, signal.SIG_IGN)\n"
                                         "print('up', flush=True)\ntime.sleep(600)"],
                                     stdout=subprocess.PIPE, text=True)
                self.assertEqual(stubborn.stdout.readline(), "up\n")
                1 / 0
        self.assertIsNotNone(stubborn.returncode)
        self.assertNotIn(lab.tag + "-", namespaces())

    def test_a_shaped_link_carries_about_its_rate(self):
        with tempfile.NamedTemporaryFile() as body, netlab.NetLab() as lab:
            body.write(os.urandom(6_000_000))
            body.flush()
            origin, client = lab.namespace("origin"), lab.namespace("client")
            out, _ = lab.link(origin, "10.7.0.1", client, "10.7.0.2")
            lab.shape(origin, out, "20mbit")
            server = lab.start(origin, [sys.executable, os.path.join(HERE, "fault_http_server.py"),
                                        "--bind", "10.7.0.1", "--body-file", body.name],
                               stdout=subprocess.PIPE, text=True)
            port = int(server.stdout.readline())
            fetched = lab.run(client, ["curl", "-sS", "-o", "/dev/null", "-w", "%{speed_download}",
                                       "http://10.7.0.1:%d/" % port])
            mbit = float(fetched.stdout) * 8 / 1e6
            self.assertTrue(14 < mbit < 21, mbit)


if __name__ == "__main__":
    unittest.main()
