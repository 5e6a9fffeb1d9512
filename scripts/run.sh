#!/usr/bin/env bash
# Sets up, builds what it runs (the desktop program, the command line and its drawing module)
# and opens a stream (the bundled MPEG-2 sample by default) in the desktop application, playing
# it; without a display, prints the command-line analysis instead.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh" tavik tavik-cli tavik-chart
input="${1:-$root/samples/testsrc-mpeg2.m2v}"
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "$root/build/src/app/tavik" --play "$input"
fi
echo "No display (DISPLAY is not set): printing the command-line analysis instead." >&2
exec "$root/build/tavik-cli" analyze "$input"
