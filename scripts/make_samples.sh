#!/usr/bin/env bash
# Makes the bundled sample streams with ffmpeg's test sources.
set -euo pipefail
out="${1:-$(dirname "$0")/../samples}"
mkdir -p "$out"
ff=(ffmpeg -nostdin -loglevel error -y)

# MPEG-2 video elementary stream: GOPs of 12 with two B pictures between references.
"${ff[@]}" -f lavfi -i "testsrc2=size=352x288:rate=25" -t 4 \
  -c:v mpeg2video -b:v 1500k -maxrate 2000k -bufsize 1000k -g 12 -bf 2 \
  "$out/testsrc-mpeg2.m2v"

# MPEG-1 system stream: video stream 0 and an MP2 audio stream.
"${ff[@]}" -f lavfi -i "mandelbrot=size=352x240:rate=25" \
  -f lavfi -i "sine=frequency=440:sample_rate=44100" -t 4 \
  -c:v mpeg1video -b:v 1000k -g 12 -bf 2 -c:a mp2 -b:a 128k -f mpeg \
  "$out/mandelbrot-mpeg1.mpg"
