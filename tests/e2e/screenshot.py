"""Saves a PNG of the host's window showing a page (see scripts/screenshot-host)."""

import argparse
import os
import subprocess
import sys
import time

import host_driver


def main():
    parser = argparse.ArgumentParser()
    for name in ("--binary", "--tool", "--ui", "--output"):
        parser.add_argument(name, required=True)
    parser.add_argument("--settle", type=float, default=4.0, help="seconds to let the page paint")
    args = parser.parse_args()

    display = host_driver.VirtualDisplay()
    run = host_driver.HostRun(args.binary, display.display, None, page_dir=args.ui)
    try:
        run.start()
        window = run.wait_for_window(args.tool, timeout=90)
        time.sleep(args.settle)
        os.makedirs(os.path.dirname(os.path.abspath(args.output)), exist_ok=True)
        subprocess.run(["import", "-window", str(window[0]), args.output], env=run.env,
                       check=True, timeout=60)
        print("saved", args.output, "(%dx%d)" % window[3:])
    finally:
        run.close()
        display.close()


if __name__ == "__main__":
    sys.exit(main())
