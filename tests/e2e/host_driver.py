"""Runs the real host program in isolation and watches what its page reports.

Each HostRun gets a fresh folder holding a copy of the program with a UI folder beside it
(the UI folder is found from the program's own path, so the copy is a real file, not a
symbolic link), and its own HOME, TMPDIR, XDG_RUNTIME_DIR, VLM_LOG_DIR and shader cache.
The program runs in a process group of its own, which is killed at the end whatever happened.

Display: Xvfb is started with -displayfd, which lets the server pick a free display itself.
(xvfb-run -a guesses a free number first and races with parallel test runs.)
"""

import datetime
import glob
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import http.server

HERE = os.path.dirname(os.path.abspath(__file__))
PAGE = os.path.join(HERE, "page")
FAULT_SERVER = os.path.join(os.path.dirname(HERE), "support", "fault_http_server.py")


LOG_LINE = re.compile(r"^\[(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3})\] \[(\w+)\] \[([^\]]*)\] (.*)$")


def log_text(log_dir):
    """Every log file in `log_dir`, oldest first, as one text."""
    text = ""
    for path in sorted(glob.glob(os.path.join(log_dir, "*.log"))):
        with open(path, encoding="utf-8", errors="replace") as f:
            text += f.read()
    return text


def log_entries(log_dir):
    """(time, level, category, message) of every line in the log folder, oldest file first."""
    entries = []
    for path in sorted(glob.glob(os.path.join(log_dir, "*.log"))):
        with open(path, encoding="utf-8", errors="replace") as f:
            for line in f:
                match = LOG_LINE.match(line.rstrip("\n"))
                if match:
                    stamp = datetime.datetime.strptime(match[1], "%Y-%m-%d %H:%M:%S.%f")
                    entries.append((stamp.timestamp(), match[2], match[3], match[4]))
    return entries


def program_arguments(argv):
    """(binary, tool, unittest's argv) from `test.py --binary PATH --tool PATH [unittest args]`."""
    args = argv[1:]
    paths = {}
    for flag in ("--binary", "--tool"):
        index = args.index(flag)
        paths[flag] = os.path.abspath(args[index + 1])
        del args[index:index + 2]
    return paths["--binary"], paths["--tool"], [argv[0]] + args


class VirtualDisplay:
    def __init__(self):
        read_end, write_end = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x800x24",
             "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            start_new_session=True)
        os.close(write_end)
        number = b""
        with os.fdopen(read_end, "rb") as reader:
            while not number.endswith(b"\n"):
                chunk = reader.read(1)
                if not chunk:
                    raise RuntimeError("Xvfb did not start")
                number += chunk
        self.display = ":" + number.decode().strip()

    def close(self):
        try:
            os.killpg(self.process.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        self.process.wait()


class ForeignServer:
    """A 127.0.0.1 server of another origin that records every path asked of it."""

    def __init__(self):
        requests = self.requests = []

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                requests.append(self.path)
                body = (b"<script>window.webkit.messageHandlers.quillfetch.postMessage("
                        b"JSON.stringify({action:'doWriteLog',category:'E2E',"
                        b"message:'E2E foreign-message'}))</script>")
                self.send_response(200)
                self.send_header("Content-Type", "text/html")
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            def log_message(self, *args):
                pass

        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.port = self.server.server_address[1]
        self.thread = threading.Thread(target=self.server.serve_forever, daemon=True)
        self.thread.start()

    def close(self):
        self.server.shutdown()
        self.server.server_close()


class FaultServer:
    """tests/support/fault_http_server.py with `options`, in a process group of its own, its
    request log in `folder`."""

    def __init__(self, folder, *options):
        self.log_path = os.path.join(folder, "requests.jsonl")
        self.stderr = open(os.path.join(folder, "server-stderr.txt"), "wb")
        self.process = subprocess.Popen(
            [sys.executable, FAULT_SERVER, "--log", self.log_path, *options],
            stdout=subprocess.PIPE, stderr=self.stderr, text=True, start_new_session=True)
        self.port = int(self.process.stdout.readline())

    def entries(self):
        if not os.path.exists(self.log_path):
            return []
        with open(self.log_path) as f:
            return [json.loads(line) for line in f if line.strip()]

    def requests(self):
        return [entry for entry in self.entries() if "method" in entry]

    def body_bytes_sent(self):
        """The body bytes of every answer that ended so far."""
        return sum(entry["sent"] for entry in self.entries() if "sent" in entry)

    def close(self):
        self.process.kill()
        self.process.wait()
        self.process.stdout.close()
        self.stderr.close()


def peak_rss_bytes(pid):
    """The process's peak resident set so far (VmHWM)."""
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1]) * 1024
    raise RuntimeError("no VmHWM for process %d" % pid)


class HostRun:
    def __init__(self, binary, display, scenario, extra_env=None, page_dir=PAGE, runtime_dir=None):
        self.root = tempfile.mkdtemp(prefix="qf-e2e-")
        self.app_dir = os.path.join(self.root, "app")
        os.makedirs(self.app_dir)
        self.binary = os.path.join(self.app_dir, "quillfetch")
        shutil.copy2(binary, self.binary)
        self.ui_dir = os.path.join(self.app_dir, "UI")
        shutil.copytree(page_dir, self.ui_dir)
        if scenario is not None:
            with open(os.path.join(self.ui_dir, "scenario.js"), "w") as f:
                f.write("window.E2E = %s;\n" % scenario)
        self.log_dir = os.path.join(self.root, "logs")
        self.runtime_dir = runtime_dir or os.path.join(self.root, "run")
        for folder in ("home", "tmp", "cache"):
            os.makedirs(os.path.join(self.root, folder))
        os.makedirs(self.runtime_dir, mode=0o700, exist_ok=True)
        self.env = {
            "PATH": os.environ.get("PATH", "/usr/bin:/bin"),
            "DISPLAY": display,
            "HOME": os.path.join(self.root, "home"),
            "TMPDIR": os.path.join(self.root, "tmp"),
            "XDG_RUNTIME_DIR": self.runtime_dir,
            "VLM_LOG_DIR": self.log_dir,
            "VLM_LOG_LEVEL": "DEBUG",
            "MESA_SHADER_CACHE_DIR": os.path.join(self.root, "cache"),
            "LANG": "C.UTF-8",
            "NO_AT_BRIDGE": "1",
        }
        for name in ("ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"):
            if name in os.environ:
                self.env[name] = os.environ[name]
        if "UBSAN_OPTIONS" in self.env:
            self.env["UBSAN_OPTIONS"] += ":suppressions=" + os.path.join(HERE, "ubsan.supp")
        self.env.update(extra_env or {})
        self.process = None
        self.stderr_path = os.path.join(self.root, "stderr.txt")

    def prefer_dark_theme(self):
        """Makes the desktop dark for this run, as a user's GTK settings file does."""
        folder = os.path.join(self.env["HOME"], ".config", "gtk-3.0")
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "settings.ini"), "w") as f:
            f.write("[Settings]\ngtk-application-prefer-dark-theme=1\n")

    def use_recording_browser(self):
        """Makes a recorder the desktop's default application for web links, and for every
        other kind of link a page could try (files, javascript:, the UI's own scheme), as a
        user's mimeapps.list names their browser. Returns a function that lists the URLs the
        recorder was asked to open, in order."""
        record = os.path.join(self.root, "opened.txt")
        recorder = os.path.join(self.root, "record-url")
        with open(recorder, "w") as f:
            f.write('#!/bin/sh\nprintf \'%%s\\n\' "$1" >> %s\n' % record)
        os.chmod(recorder, 0o755)
        kinds = ["x-scheme-handler/" + s for s in ("http", "https", "file", "javascript", "app")]
        kinds += ["text/plain", "text/html"]
        applications = os.path.join(self.env["HOME"], ".local", "share", "applications")
        os.makedirs(applications, exist_ok=True)
        with open(os.path.join(applications, "e2e-recorder.desktop"), "w") as f:
            f.write("[Desktop Entry]\nType=Application\nName=Recorder\nExec=%s %%u\n"
                    "MimeType=%s;\n" % (recorder, ";".join(kinds)))
        config = os.path.join(self.env["HOME"], ".config")
        os.makedirs(config, exist_ok=True)
        with open(os.path.join(config, "mimeapps.list"), "w") as f:
            f.write("[Default Applications]\n")
            f.writelines("%s=e2e-recorder.desktop\n" % kind for kind in kinds)

        def opened():
            try:
                with open(record) as f:
                    return f.read().splitlines()
            except FileNotFoundError:
                return []
        return opened

    def start(self, prefix=()):
        """Starts the program; `prefix` runs it through another command (a network lab's
        `ip netns exec NS`, which becomes the program itself)."""
        self.stderr = open(self.stderr_path, "wb")
        self.process = subprocess.Popen(list(prefix) + [self.binary], env=self.env, cwd=self.root,
                                        stdout=subprocess.DEVNULL, stderr=self.stderr,
                                        start_new_session=True)
        return self

    def wait(self, timeout):
        return self.process.wait(timeout=timeout)

    def log_text(self):
        return log_text(self.log_dir)

    def reports(self):
        """The page's reports, "E2E " cut off, ticks left out."""
        found = []
        for line in self.log_text().splitlines():
            marker = line.find("] E2E ")
            if marker >= 0 and not line.endswith("] E2E tick"):
                found.append(line[marker + 6:])
        return found

    def step_results(self):
        """The page's "step NAME RESULT MESSAGE" reports (the steps scenario): NAME -> (RESULT,
        MESSAGE)."""
        results = {}
        for report in self.reports():
            if report.startswith("step "):
                _, name, result, message = report.split(" ", 3)
                results[name] = (int(result), message)
        return results

    def wait_for_report(self, prefix, timeout=60):
        deadline = time.monotonic() + timeout
        while True:
            ended = self.process.poll() is not None  # before reading: the last lines are in
            for report in self.reports():
                if report.startswith(prefix):
                    return report
            if ended or time.monotonic() >= deadline:
                break
            time.sleep(0.2)
        raise AssertionError("no report %r; reports: %r; stderr: %s" %
                             (prefix, self.reports(), self.stderr_tail()))

    def stderr_tail(self):
        try:
            with open(self.stderr_path, errors="replace") as f:
                return f.read()[-3000:]
        except OSError:
            return ""

    def windows(self, tool):
        """Mapped top-level windows of the program: (id, x, y, width, height)."""
        output = subprocess.run([tool, "list", str(self.process.pid)], env=self.env,
                                capture_output=True, text=True, timeout=30).stdout
        return [tuple(int(v) for v in line.split()) for line in output.splitlines()]

    def wait_for_window(self, tool, timeout=60):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            found = self.windows(tool)
            if found:
                return found[0]
            time.sleep(0.2)
        raise AssertionError("no window; stderr: " + self.stderr_tail())

    def stop(self):
        """Ends the program at once, as a user's machine going off would; its folders stay."""
        if self.process is not None:
            try:
                os.killpg(self.process.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            self.process.wait()
            self.stderr.close()
            self.process = None

    def close(self):
        self.stop()
        if os.environ.get("VLM_E2E_KEEP"):
            print("kept", self.root)
        else:
            shutil.rmtree(self.root, ignore_errors=True)
