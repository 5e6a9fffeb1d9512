#!/usr/bin/env bash
# Sets up, builds and analyses a stream (the bundled MPEG-2 sample by default).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
input="${1:-$root/samples/testsrc-mpeg2.m2v}"
exec "$root/build/tavik-cli" analyze "$input"
