"""End-to-end tests of the proxy fallback in a network lab (tests/support/netlab.py): the real
program runs in a client namespace that can reach only a proxy's namespace, and only the proxy
(Debian's tinyproxy) reaches the origin's. Needs root, as CI runs.

Usage: proxy_lab_e2e_test.py --binary PATH --tool PATH --probe PATH [unittest arguments]

The program is the one with the test key built in, so a download also fetches its signature_url.
"""

import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest
import zipfile

import host_driver
import signed_archive_e2e_test as signed

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "support"))
import netlab  # noqa: E402

PROBE = None
STEPS_TIMEOUT = 240
ORIGIN, PROXY_OUT, PROXY_IN, CLIENT = "10.1.0.1", "10.1.0.2", "10.2.0.1", "10.2.0.2"
OPEN_PROXY, AUTH_PROXY = 8888, 8889
CREDENTIALS_WANTED = 65537  # a proxy's HTTP 407, as the page receives it

# Answers every POST with "posted", as a webhook does.
WEBHOOK_SERVER = """
import http.server, sys
class H(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        self.rfile.read(int(self.headers.get("Content-Length", 0)))
        self.send_response(200); self.send_header("Content-Length", "6"); self.end_headers()
        self.wfile.write(b"posted")
    def log_message(self, *a): pass
s = http.server.HTTPServer((sys.argv[1], 0), H)
print(s.server_address[1], flush=True)
s.serve_forever()
"""


class ProxyLabTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if shutil.which("tinyproxy") is None:
            raise RuntimeError("tinyproxy is missing: scripts/install-deps installs it")
        cls.folder = tempfile.mkdtemp(prefix="qf-proxy-lab-")
        cls.lab = netlab.NetLab()
        try:
            cls.build_lab()
        except BaseException:
            cls.lab.close()
            raise

    @classmethod
    def build_lab(cls):
        lab = cls.lab
        cls.origin = lab.namespace("origin")
        cls.proxy = lab.namespace("proxy")
        cls.client = lab.namespace("client")
        lab.link(cls.origin, ORIGIN, cls.proxy, PROXY_OUT)
        lab.link(cls.proxy, PROXY_IN, cls.client, CLIENT)
        product = os.path.join(cls.folder, "product.zip")
        with zipfile.ZipFile(product, "w", zipfile.ZIP_DEFLATED) as z:
            z.writestr("payload/data.bin", os.urandom(400000))
        cls.signature = signed.sign(product)
        sig_file = os.path.join(cls.folder, "product.zip.sig")
        with open(sig_file, "w") as f:
            f.write(cls.signature + "\n")
        cls.archive_port, cls.archive_log = cls.serve(product, "archive")
        cls.sig_port, cls.sig_log = cls.serve(sig_file, "sig")
        server = lab.start(cls.origin, [sys.executable, "-c", WEBHOOK_SERVER, ORIGIN],
                           stdout=subprocess.PIPE, text=True)
        cls.webhook_port = int(server.stdout.readline())
        _, cls.open_proxy_log = netlab.tinyproxy(lab, cls.proxy, cls.folder, PROXY_IN, OPEN_PROXY,
                                                 "10.2.0.0/24")
        netlab.tinyproxy(lab, cls.proxy, cls.folder, PROXY_IN, AUTH_PROXY, "10.2.0.0/24",
                         basic_auth=("user", "secret"))

    @classmethod
    def serve(cls, body, name):
        log = os.path.join(cls.folder, name + "-requests.jsonl")
        process = cls.lab.start(cls.origin, [sys.executable, host_driver.FAULT_SERVER,
                                             "--bind", ORIGIN, "--body-file", body, "--log", log],
                                stdout=subprocess.PIPE, text=True)
        return int(process.stdout.readline()), log

    @classmethod
    def tearDownClass(cls):
        try:
            cls.lab.close()
        finally:
            shutil.rmtree(cls.folder, ignore_errors=True)

    def setUp(self):
        self.display = host_driver.VirtualDisplay()
        self.addCleanup(self.display.close)

    def proxy_env(self, port):
        url = "http://%s:%d" % (PROXY_IN, port)
        return {"http_proxy": url, "https_proxy": url}

    def run_steps(self, env, steps):
        """The program in the client namespace runs `steps`; returns {name: (result, message)}
        and the run."""
        run = host_driver.HostRun(signed.BINARY, self.display.display, None, extra_env=env)
        self.addCleanup(run.close)
        with open(os.path.join(run.ui_dir, "scenario.js"), "w") as f:
            f.write("window.E2E = %s;\n" % json.dumps({"scenario": "steps", "steps": steps}))
        signed.sign_page(run.ui_dir)
        run.start(prefix=["ip", "netns", "exec", self.client])
        run.wait_for_report("steps-done", STEPS_TIMEOUT)
        results = run.step_results()
        return results, run

    def download(self, name, **config):
        return {"name": name, "message": {"action": "doDownload", "fetchDownloadConfig": config}}

    def archive_url(self, signed_query=False):
        url = "http://%s:%d/product.zip" % (ORIGIN, self.archive_port)
        # A query signature sends the archive through the direct transfer.
        return url + "?X-Amz-Algorithm=AWS4-HMAC-SHA256&X-Amz-Signature=ab12" if signed_query else url

    def post(self, env):
        log_dir = tempfile.mkdtemp(prefix="qf-probe-", dir=self.folder)
        done = self.lab.run(self.client, [PROBE, "http://%s:%d/hook" % (ORIGIN, self.webhook_port),
                                          log_dir], timeout=60, env=dict(os.environ, **env))
        return done, host_driver.log_text(log_dir)

    def test_where_only_the_proxy_reaches_the_origin_everything_goes_through_it(self):
        # The lab is right: the client cannot reach the origin itself.
        direct = self.lab.run(self.client, [sys.executable, "-c",
                                            "import socket; socket.create_connection((%r, %d), 5)"
                                            % (ORIGIN, self.archive_port)])
        self.assertNotEqual(direct.returncode, 0)

        results, run = self.run_steps(self.proxy_env(OPEN_PROXY), [
            self.download("job", url=self.archive_url(), archive_name="product.zip",
                          signature=self.signature),
            self.download("direct", url=self.archive_url(signed_query=True),
                          archive_name="product.zip",
                          signature_url="http://%s:%d/product.zip.sig" % (ORIGIN, self.sig_port)),
        ])
        self.assertEqual({name: result for name, (result, _) in results.items()},
                         {"job": 0, "direct": 0}, run.reports())
        log = run.log_text()
        via = "through the proxy http://%s:%d" % (PROXY_IN, OPEN_PROXY)
        proxied_line = "Route to %s:%d: the direct connection failed (12029); " + via
        # The job and the direct transfer of the archive, then the signature's own transfer.
        self.assertEqual(log.count(proxied_line % (ORIGIN, self.archive_port)), 2, log)
        self.assertEqual(log.count(proxied_line % (ORIGIN, self.sig_port)), 1, log)
        with open(self.open_proxy_log, errors="replace") as f:
            proxied = f.read()
        self.assertIn("/product.zip.sig", proxied)
        self.assertIn("X-Amz-Signature=ab12", proxied)  # the query went as given
        self.assertGreaterEqual(len(open(self.archive_log).read().splitlines()), 2)

        posted, probe_log = self.post(self.proxy_env(OPEN_PROXY))
        self.assertEqual((posted.returncode, posted.stdout), (0, "posted"), posted.stderr)
        self.assertIn(via, probe_log)

    def test_a_proxy_that_wants_credentials_ends_with_407_and_its_text(self):
        results, run = self.run_steps(self.proxy_env(AUTH_PROXY), [
            self.download("direct", url=self.archive_url(signed_query=True),
                          archive_name="product.zip", signature=self.signature),
            self.download("job", url=self.archive_url(), archive_name="product.zip",
                          signature=self.signature),
        ])
        self.assertEqual({name: result for name, (result, _) in results.items()},
                         {"direct": CREDENTIALS_WANTED, "job": CREDENTIALS_WANTED}, run.reports())
        for _, message in results.values():
            self.assertIn("proxy server asks for a user name and password", message)
        self.assertIn("asks for credentials (HTTP 407)", run.log_text())

        posted, probe_log = self.post(self.proxy_env(AUTH_PROXY))
        self.assertIn("asks for credentials (HTTP 407)", probe_log)

    def test_the_machines_default_proxy_carries_a_report_the_users_settings_do_not(self):
        # The machine-wide setting of a Linux machine is /etc/environment: the probe sees a
        # lab's own one through a private mount, and no proxy of the user's.
        environment = os.path.join(self.folder, "environment")
        with open(environment, "w") as f:
            f.write('PATH="/usr/bin:/bin"\nhttp_proxy="http://%s:%d"\n' % (PROXY_IN, OPEN_PROXY))
        log_dir = tempfile.mkdtemp(prefix="qf-probe-", dir=self.folder)
        url = "http://%s:%d/hook" % (ORIGIN, self.webhook_port)
        posted = self.lab.run(self.client, [
            "unshare", "--mount", "sh", "-c",
            'mount --bind "$0" /etc/environment && exec "$1" "$2" "$3"',
            environment, PROBE, url, log_dir],
            timeout=60, env=dict(os.environ, http_proxy="", https_proxy="", all_proxy=""))
        probe_log = host_driver.log_text(log_dir)
        self.assertEqual((posted.returncode, posted.stdout), (0, "posted"),
                         posted.stderr + probe_log)
        self.assertIn("the direct connection failed (12029); through the machine's default proxy "
                      "http://%s:%d" % (PROXY_IN, OPEN_PROXY), probe_log)

    def test_without_a_proxy_a_connection_that_cannot_be_made_fails_as_before(self):
        posted, probe_log = self.post({"http_proxy": "", "https_proxy": ""})
        self.assertEqual(posted.returncode, 1)
        self.assertIn("the direct connection failed (12029); the system names no proxy for it",
                      probe_log)


if __name__ == "__main__":
    signed.BINARY, signed.TOOL, argv = host_driver.program_arguments(
        [a for i, a in enumerate(sys.argv)
         if a != "--probe" and (i == 0 or sys.argv[i - 1] != "--probe")])
    PROBE = os.path.abspath(sys.argv[sys.argv.index("--probe") + 1])
    unittest.main(argv=argv)
