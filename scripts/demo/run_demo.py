#!/usr/bin/env python3
"""Runs one real installation of the demo product with the built program (see scripts/run).

It makes the demo archive, serves it from 127.0.0.1 on a port the kernel chooses, writes the
page's config.json into the UI folder beside the program and starts the program. With --headless
(under a virtual display) the page starts on its own; a frame of the window is grabbed every
~200 ms, and one per stage is kept, picked by the times of the page's own log lines. When the
setup has ended and the result is on screen the window is asked to close as a window manager
would, the page closes the program, and the run is summed up: how the setup ended, its receipt,
whether the working folders are gone, and where the screenshots are.

Usage: run_demo.py --binary PATH --tool PATH --work DIR [--headless] [--screenshots DIR]
                   [--signing-key PRIVATE.pem]
Exit code 0 when the product was installed and the program ended normally.
"""
import argparse
import glob
import json
import os
import shutil
import signal
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
PRODUCT = "Demo Product"
ARCHIVE = "demo-product.zip"
LAUNCHER = "Setup.exe"

# The host's log reader, shared with the end-to-end tests.
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
import host_driver  # noqa: E402

# The page's road through the log (category UI); each line opens the stage named after it.
STAGE_MARKS = [
    ("downloading", "Installation of %s started" % PRODUCT),
    ("extracting", "Download finished: "),
    ("installing", "Files prepared in "),
    ("result", "Setup exited with code "),
]


def say(text):
    print("demo: " + text, flush=True)


def find_message(entries, prefix, category="UI"):
    for stamp, _, cat, message in entries:
        if cat == category and message.startswith(prefix):
            return stamp, message
    return None


class Server:
    """scripts/demo/demo_server.py in a process group of its own."""

    def __init__(self, folder, rate_kbps, log_path):
        self.log = open(log_path, "wb")
        self.process = subprocess.Popen(
            [sys.executable, os.path.join(HERE, "demo_server.py"), folder, "--port", "0",
             "--rate-kbps", str(rate_kbps)],
            stdout=subprocess.PIPE, stderr=self.log, text=True, start_new_session=True)
        line = self.process.stdout.readline()
        if not line.startswith("PORT "):
            self.stop()
            raise RuntimeError("the demo server did not start")
        self.port = int(line.split()[1])

    def stop(self):
        try:
            os.killpg(self.process.pid, signal.SIGTERM)
        except ProcessLookupError:
            pass
        self.process.wait()
        self.log.close()


class FrameGrabber(threading.Thread):
    """Grabs the area of the program's window from the screen every ~200 ms until stopped.

    The screen, not the window: while the setup runs the program's window is hidden and the
    setup's own window is what a user sees there."""

    def __init__(self, folder, env):
        super().__init__(daemon=True)
        self.folder = folder
        self.env = env
        self.area = None  # (width, height, x, y), set once the window is known
        self.frames = []  # (time, path)
        self.stopping = threading.Event()
        os.makedirs(folder, exist_ok=True)

    def run(self):
        while not self.stopping.is_set():
            if self.area is not None:
                path = os.path.join(self.folder, "frame-%04d.png" % len(self.frames))
                began = time.time()
                # Fast PNG (zlib level 1): a frame costs little CPU and a few kilobytes.
                done = subprocess.run(
                    ["import", "-silent", "-window", "root", "-crop", "%dx%d+%d+%d" % self.area,
                     "+repage", "-quality", "10", path],
                    env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                    timeout=30)
                if done.returncode == 0:
                    self.frames.append(((began + time.time()) / 2, path))
            self.stopping.wait(0.2)

    def stop(self):
        self.stopping.set()
        self.join(timeout=60)


def window_area(tool, pid, env):
    output = subprocess.run([tool, "list", str(pid)], env=env, capture_output=True, text=True,
                            timeout=30).stdout.split()
    if len(output) < 5:
        return None
    window, x, y, width, height = (int(v) for v in output[:5])
    return window, (width, height, x, y)


def pick_frames(frames, entries, close_sent):
    """One frame per stage: the middle of downloading, extracting and installing, and the last
    frame of the result before the window was asked to close."""
    marks = []
    for stage, prefix in STAGE_MARKS:
        found = find_message(entries, prefix)
        marks.append((stage, found[0] if found else None))
    picked = {}
    for index, (stage, begin) in enumerate(marks):
        if begin is None:
            continue
        if stage == "result":
            candidates = [f for f in frames if begin + 1.0 <= f[0] <= (close_sent or f[0])]
            if candidates:
                picked[stage] = candidates[-1][1]
            continue
        end = marks[index + 1][1] if index + 1 < len(marks) else None
        if end is None:
            continue
        middle = begin + (end - begin) * 0.6
        inside = [f for f in frames if begin <= f[0] <= end]
        if inside:
            picked[stage] = min(inside, key=lambda f: abs(f[0] - middle))[1]
    return picked


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", required=True)
    parser.add_argument("--tool", required=True, help="tests/e2e's x11_window_tool")
    parser.add_argument("--work", required=True, help="a folder for this run (emptied first)")
    parser.add_argument("--headless", action="store_true")
    parser.add_argument("--screenshots", help="where the stage screenshots go (--headless)")
    parser.add_argument("--rate-kbps", type=int, default=64)
    parser.add_argument("--payload-mb", type=int, default=256)
    parser.add_argument("--setup-seconds", type=int, default=3)
    parser.add_argument("--timeout", type=float, default=45, help="seconds for the whole road")
    parser.add_argument("--signing-key",
                        help="signs the archive and the page with this key (scripts/sign-archive)")
    args = parser.parse_args()

    work = os.path.abspath(args.work)
    shutil.rmtree(work, ignore_errors=True)
    www, logs, tmp, receipts = (os.path.join(work, n) for n in ("www", "logs", "tmp", "receipt"))
    for folder in (www, tmp):
        os.makedirs(folder)
    screenshots = os.path.abspath(args.screenshots or os.path.join(work, "screenshots"))
    for stale in glob.glob(os.path.join(screenshots, "demo-*.png")):
        os.remove(stale)  # a stage missed this time must not show an earlier run's picture

    made = subprocess.run(
        [sys.executable, os.path.join(HERE, "make_demo_product.py"), os.path.join(www, ARCHIVE),
         "--payload-mb", str(args.payload_mb), "--setup-seconds", str(args.setup_seconds)],
        check=True, capture_output=True, text=True)
    archive = json.loads(made.stdout)
    say("demo archive %s: %d bytes, sha256 %s" % (ARCHIVE, archive["size"], archive["sha256"]))

    server = Server(www, args.rate_kbps, os.path.join(work, "server.log"))
    host = grabber = None
    try:
        url = "http://127.0.0.1:%d/%s" % (server.port, ARCHIVE)
        say("serving it at %s (%d KiB/s, so the download can be watched)" % (url, args.rate_kbps))

        # The UI folder beside the program, fresh from ui/ with this run's configuration.
        ui_dir = os.path.join(os.path.dirname(os.path.abspath(args.binary)), "UI")
        shutil.rmtree(ui_dir, ignore_errors=True)
        shutil.copytree(os.path.join(ROOT, "ui"), ui_dir)
        config = {"productName": PRODUCT, "url": url, "archive_name": ARCHIVE,
                  "size": archive["size"], "sha256": archive["sha256"],
                  "launcherName": LAUNCHER, "autoStart": args.headless,
                  # Where the demo setup puts the product: the host reads the variable.
                  "productFolder": "%DEMO_RECEIPT_DIR%", "productProgram": "demo-product"}
        sign_archive = os.path.join(ROOT, "scripts", "sign-archive")
        if args.signing_key:
            # A release manifest, and the release the page accepts: no older one can pass.
            config["signature"] = subprocess.run(
                [sign_archive, "release", args.signing_key, os.path.join(www, ARCHIVE),
                 "com.example.demo", "1.0"], check=True, capture_output=True, text=True).stdout
            config.update(product_id="com.example.demo", min_version="1.0")
            say("signed the archive as release com.example.demo 1.0")
        with open(os.path.join(ui_dir, "config.json"), "w") as f:
            json.dump(config, f, indent=2)
        say("wrote %s" % os.path.join(ui_dir, "config.json"))
        if args.signing_key:
            # The program shows the page only as signed, config.json included.
            subprocess.run([sign_archive, "sign-ui", args.signing_key, ui_dir], check=True,
                           capture_output=True)
            say("signed the page's folder")

        env = dict(os.environ, DEMO_RECEIPT_DIR=receipts, VLM_LOG_DIR=logs, TMPDIR=tmp,
                   NO_AT_BRIDGE="1")
        if args.headless:
            env["VLM_LOG_LEVEL"] = "DEBUG"  # lines keep flowing, so the page's reach the file
            env["XDG_RUNTIME_DIR"] = os.path.join(work, "run")  # a display of our own, locks too
            os.makedirs(env["XDG_RUNTIME_DIR"], mode=0o700)
        host_stderr = open(os.path.join(work, "program-stderr.txt"), "wb")
        started = time.monotonic()
        host = subprocess.Popen([os.path.abspath(args.binary)], env=env, cwd=work,
                                stdout=host_stderr, stderr=host_stderr, start_new_session=True)
        say("started the downloader (pid %d)" % host.pid)

        close_sent = None
        if args.headless:
            grabber = FrameGrabber(os.path.join(work, "frames"), env)
            grabber.start()
            window = None
            deadline = started + args.timeout
            while host.poll() is None and time.monotonic() < deadline:
                if window is None:
                    found = window_area(args.tool, host.pid, env)
                    if found:
                        window, grabber.area = found[0], found[1]
                        say("window %d at %s" % (window, found[1]))
                entries = host_driver.log_entries(logs)
                result = find_message(entries, "Setup exited with code ")
                failure = next((e for e in entries if e[1] == "ERROR" and e[2] == "UI"), None)
                if window is not None and (result or failure):
                    time.sleep(2.0)  # the window comes back and shows the result
                    close_sent = time.time()
                    subprocess.run([args.tool, "close", str(window)], env=env, timeout=30)
                    say("asked the window to close, as its close button does")
                    break
                time.sleep(0.2)
            if close_sent is None and host.poll() is None:
                say("no result after %.0f s; stopping the downloader" % args.timeout)
        try:
            code = host.wait(timeout=30 if close_sent else 0.1) if args.headless else host.wait()
        except subprocess.TimeoutExpired:
            say("the downloader did not end; stopping it")
            code = None
        took = time.monotonic() - started
    finally:
        if grabber is not None:
            grabber.stop()
        if host is not None:
            try:
                os.killpg(host.pid, signal.SIGKILL)  # whatever it left behind (page processes)
            except ProcessLookupError:
                pass
            host.wait()
        server.stop()
        say("stopped the server")

    entries = host_driver.log_entries(logs)
    say("the downloader ended with exit code %s after %.1f s" % (code, took))
    if code == 183:
        say("another instance of the downloader is running; close it and run again")
    for _, level, category, message in entries:
        if category == "UI":
            say("  page: [%s] %s" % (level, message))
    ok = code == 0
    result = find_message(entries, "Setup exited with code ")
    if result:
        say("the setup ended with exit code %s" % result[1].rsplit(" ", 1)[1])
        ok = ok and result[1].endswith(" 0")
    else:
        say("the setup did not run")
        ok = False
    receipt = os.path.join(receipts, "receipt.txt")
    if os.path.exists(receipt):
        say("receipt %s:" % receipt)
        with open(receipt) as f:
            for line in f:
                say("  " + line.rstrip())
    else:
        say("no receipt: the product was not installed")
        ok = False
    left = sorted(os.listdir(tmp))
    say("working folders left in %s: %s" % (tmp, ", ".join(left) if left else "none"))
    say("log folder: %s" % logs)

    if args.headless and grabber is not None:
        picked = pick_frames(grabber.frames, entries, close_sent)
        os.makedirs(screenshots, exist_ok=True)
        for number, (stage, _) in enumerate(STAGE_MARKS, start=1):
            if stage in picked:
                target = os.path.join(screenshots, "demo-%d-%s.png" % (number, stage))
                # Re-encode with full compression for keeping.
                subprocess.run(["convert", picked[stage], "-quality", "95", target], check=True)
                say("screenshot of %-11s %s" % (stage + ":", target))
            else:
                # A stage shorter than a frame on a fast machine: worth saying, not a failure.
                say("no screenshot of %s (no frame fell inside the stage)" % stage)
        shutil.rmtree(grabber.folder, ignore_errors=True)
    say("installation %s" % ("succeeded" if ok else "FAILED"))
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
