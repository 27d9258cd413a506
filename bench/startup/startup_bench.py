"""Start-up benchmark: the host against a bare GTK + WebKitGTK program showing the same page.

For each program: the time from exec to the page's first posted message (the page stamps it
with Date.now() as it posts), and the peak resident memory of the program's own process
(VmHWM, sampled until it exits; the web and network processes are not counted). Runs
alternate between the two programs; each run is isolated (own HOME, TMPDIR, runtime and log
folders) and starts on a virtual display of its own.

Usage: python3 bench/startup/startup_bench.py BUILD_DIR [RUNS]
Targets: host start-up at most 1.15 x the bare program's; host peak RSS at most 160 MB.
"""

import json
import os
import re
import statistics
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tests", "e2e"))
import host_driver  # noqa: E402

PAGE = os.path.join(HERE, "page")


def watch_peak_rss(pid, result):
    peak = 0
    while True:
        try:
            with open("/proc/%d/status" % pid) as f:
                for line in f:
                    if line.startswith("VmHWM:"):
                        peak = max(peak, int(line.split()[1]))
        except (OSError, ValueError):
            break
        time.sleep(0.02)
    result.append(peak)


def run_once(display, program, binary, bare):
    run = host_driver.HostRun(binary, display, None, page_dir=PAGE)
    try:
        command = [run.binary, run.ui_dir] if bare else [run.binary]
        peak = []
        started_ms = time.time() * 1000.0
        process = subprocess.Popen(command, env=run.env, cwd=run.root, stdout=subprocess.PIPE,
                                   stderr=subprocess.DEVNULL, start_new_session=True)
        run.process = process
        run.stderr = open(os.devnull, "wb")
        watcher = threading.Thread(target=watch_peak_rss, args=(process.pid, peak))
        watcher.start()
        output, _ = process.communicate(timeout=120)
        watcher.join()
        text = output.decode(errors="replace") if bare else run.log_text()
        match = re.search(r"BENCH first (\d+)", text)
        if match is None:
            raise RuntimeError("%s: no first message (exit %d)" % (program, process.returncode))
        return float(match.group(1)) - started_ms, peak[0] / 1024.0
    finally:
        run.close()


def main():
    build = sys.argv[1]
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 7
    programs = {
        "host": (os.path.join(build, "src", "app", "quillfetch"), False),
        "bare": (os.path.join(build, "bench", "startup", "bench_startup_bare"), True),
    }
    display = host_driver.VirtualDisplay()
    results = {name: [] for name in programs}
    try:
        for name, (binary, bare) in programs.items():  # one warm-up each, not counted
            run_once(display.display, name, binary, bare)
        for _ in range(runs):
            for name, (binary, bare) in programs.items():
                results[name].append(run_once(display.display, name, binary, bare))
    finally:
        display.close()

    summary = {}
    for name, samples in results.items():
        summary[name] = {
            "startup_ms_median": round(statistics.median(s[0] for s in samples), 1),
            "startup_ms_all": [round(s[0]) for s in samples],
            "peak_rss_mb_median": round(statistics.median(s[1] for s in samples), 1),
            "peak_rss_mb_max": round(max(s[1] for s in samples), 1),
        }
    ratio = summary["host"]["startup_ms_median"] / summary["bare"]["startup_ms_median"]
    summary["startup_ratio_host_over_bare"] = round(ratio, 3)
    summary["targets_met"] = ratio <= 1.15 and summary["host"]["peak_rss_mb_max"] <= 160
    print(json.dumps(summary, indent=2))
    return 0


if __name__ == "__main__":
    sys.exit(main())
