#!/usr/bin/env bash
# Sets up, builds everything (the tests and benchmarks too) and runs every test.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
cd "$root/build"
ctest --output-on-failure -j"$(nproc)"
