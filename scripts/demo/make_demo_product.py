#!/usr/bin/env python3
"""Builds the demo product archive that scripts/run serves.

The archive holds a setup program (a shell script recorded with Unix mode 0755, so the
extraction keeps its execute bit) that shows it ran: it writes a receipt into the folder named by
DEMO_RECEIPT_DIR (or ~/.local/share/quillfetch-demo), installs the demo product's program
(demo-product, which the page's "Open" starts) there, shows a small window for a few seconds
when there is a display (as a real setup would), and exits with DEMO_SETUP_EXIT_CODE (default 0).
A large, highly compressible payload keeps the download small and the extraction visible.

Usage: make_demo_product.py OUT.zip [--payload-mb N] [--setup-seconds S]
Prints the archive's size and SHA-256 as JSON.
"""
import argparse
import hashlib
import json
import os
import zipfile

SETUP = """#!/bin/sh
# Demo setup program: records that it ran, where, and when.
receipt_dir="${DEMO_RECEIPT_DIR:-$HOME/.local/share/quillfetch-demo}"
mkdir -p "$receipt_dir"
{
  echo "Demo product installed"
  echo "when: $(date -Is)"
  echo "from: $(pwd)"
  echo "files: $(find . -type f | wc -l)"
} > "$receipt_dir/receipt.txt"
cp demo-product "$receipt_dir/demo-product"
chmod 755 "$receipt_dir/demo-product"
# A real setup shows a window while the downloader's own is hidden; so does this one.
if [ -n "${DISPLAY:-}" ] && command -v xmessage >/dev/null 2>&1; then
  xmessage -center -buttons "" -timeout %(seconds)s -geometry 360x110 \\
    -bg "#f4f5f7" -fg "#1d2330" -xrm "*form.borderWidth: 0" -xrm "*message.borderWidth: 0" \\
    -xrm "*message.scrollVertical: never" -xrm "*message.scrollHorizontal: never" \\
    -xrm "*Text.leftMargin: 14" -xrm "*Text.topMargin: 12" \\
    "$(printf 'Demo Product Setup\\n\\nInstalling files, please wait...')" >/dev/null 2>&1 ||
    sleep %(seconds)s
else
  sleep %(seconds)s
fi
exit "${DEMO_SETUP_EXIT_CODE:-0}"
"""


PRODUCT = """#!/bin/sh
# The demo product: records that it was started, and shows so when there is a display.
echo "started: $(date -Is)" >> "$(dirname "$0")/opened.txt"
if [ -n "${DISPLAY:-}" ] && command -v xmessage >/dev/null 2>&1; then
  exec xmessage -center -timeout 5 "Demo Product is running."
fi
"""


def add(archive, name, data, mode=0o644):
    info = zipfile.ZipInfo(name, date_time=(2026, 1, 1, 0, 0, 0))
    info.create_system = 3  # Unix: the high 16 bits of external_attr hold the mode
    info.external_attr = (0o100000 | mode) << 16
    info.compress_type = zipfile.ZIP_DEFLATED
    archive.writestr(info, data)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("out")
    parser.add_argument("--payload-mb", type=int, default=256)
    parser.add_argument("--setup-seconds", type=int, default=3)
    args = parser.parse_args()

    with zipfile.ZipFile(args.out, "w", compresslevel=1) as archive:
        add(archive, "Setup.exe", SETUP % {"seconds": args.setup_seconds}, 0o755)
        add(archive, "demo-product", PRODUCT, 0o755)
        add(archive, "README.txt", "Demo product for the setup downloader.\n")
        for i in range(40):
            add(archive, f"docs/page-{i:02d}.txt", f"Page {i} of the demo manual.\n" * 200)
        # Zeros compress about 1000:1: a small download, a real extraction.
        add(archive, "data/payload.bin", bytes(args.payload_mb * 1024 * 1024))

    digest = hashlib.sha256()
    with open(args.out, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            digest.update(block)
    print(json.dumps({"size": os.path.getsize(args.out), "sha256": digest.hexdigest()}))


if __name__ == "__main__":
    main()
