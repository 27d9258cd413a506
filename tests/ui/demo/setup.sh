#!/bin/sh
# The demo product's setup program: packed into demo-product.zip (as setup.sh, the launcherName
# of ui/config.json) and started by the downloader with no arguments, in its own folder.
#
# It shows that it ran: it writes a receipt (where it ran, what it found beside it, when) into
# $DEMO_INSTALL_DIR (default ~/.local/share/demo-product), shows a short notice when a display
# and xmessage are there, and exits with $DEMO_SETUP_EXIT_CODE (default 0) so that the demo can
# show the failure screen too. Exit codes here are 0-255: a setup's 1602 needs Windows.
set -eu

target="${DEMO_INSTALL_DIR:-${HOME:-/tmp}/.local/share/demo-product}"
mkdir -p "$target"
{
  echo "Demo Product setup ran"
  echo "when: $(date -u '+%Y-%m-%d %H:%M:%S') UTC"
  echo "folder: $(pwd)"
  echo "arguments: $#"
  echo "files:"
  find . -type f | sort | sed 's/^/  /'
} >"$target/installed.txt"
echo "Demo Product setup ran; receipt in $target/installed.txt"

if [ -n "${DISPLAY:-}" ] && command -v xmessage >/dev/null 2>&1; then
  xmessage -center -timeout 2 "Demo Product setup ran" >/dev/null 2>&1 || true
fi
exit "${DEMO_SETUP_EXIT_CODE:-0}"
