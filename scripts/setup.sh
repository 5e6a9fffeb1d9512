#!/usr/bin/env bash
# Installs what the build and the tests need (Debian packages) and builds into build/: the
# targets named as arguments (tavik tavik-cli ...), or everything (tests and benchmarks too).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
packages=(cmake ninja-build g++ pkg-config libgtest-dev libbenchmark-dev nlohmann-json3-dev
          libcli11-dev libpng-dev ffmpeg mjpegtools mpeg2dec qt6-base-dev qt6-svg-dev
          libgl-dev xvfb xauth fonts-dejavu-core dpkg-dev desktop-file-utils appstream)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -eq 0 ]; then
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
  else
    echo "Missing packages (install them as root): ${missing[*]}" >&2
    exit 1
  fi
fi
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C "$root/build" -j"$(nproc)" "$@"
