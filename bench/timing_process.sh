#!/bin/sh
# Whole-process times of `bitrate` and `vbv` next to `analyze` (headers only) on a stream of about
# 400 MB read from the page cache: the 20 Mbit/s 1080i stream analysis_bench makes, joined with
# itself (hence --all-sequences). `cat` (reading) and `grep -F` (scanning) are the peers.
# Prints the median wall-clock and CPU seconds, MB/s, the largest resident set and each
# command's wall clock over that of analyze.
# Run: bench/timing_process.sh [build/tavik-cli] [RUNS]
TAVIK=${1:-build/tavik-cli}
RUNS=${2:-5}
PART=/tmp/tavik-1080i.m2v
BIG=/tmp/tavik-400m.m2v
if [ ! -f "$PART" ]; then
  ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc2=size=1920x1080:rate=25 -t 8 \
    -c:v mpeg2video -b:v 20M -maxrate 20M -bufsize 10M -flags +ilme+ildct -top 1 -g 12 \
    -bf 2 "$PART" || exit 1
fi
if [ ! -f "$BIG" ]; then
  : > "$BIG"
  while [ "$(stat -c %s "$BIG")" -lt 400000000 ]; do cat "$PART" >> "$BIG"; done
fi
MB=$(stat -c %s "$BIG" | awk '{printf "%.1f", $1 / 1e6}')
cat "$BIG" > /dev/null
run() {  # name, command...
  name=$1
  shift
  : > "/tmp/timing-$name.txt"
  i=0
  while [ $i -lt "$RUNS" ]; do
    /usr/bin/time -a -o "/tmp/timing-$name.txt" -f "%e %U %S %M" "$@" > /dev/null 2>&1
    i=$((i + 1))
  done
  # Only the figures: a status other than 0 (vbv's 3, grep's 1) adds a line of its own.
  grep -E '^[0-9.]+ ' "/tmp/timing-$name.txt" > "/tmp/timing-$name.fig"
  mv "/tmp/timing-$name.fig" "/tmp/timing-$name.txt"
  wall=$(awk '{print $1}' "/tmp/timing-$name.txt" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}')
  cpu=$(awk '{print $2 + $3}' "/tmp/timing-$name.txt" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}')
  rss=$(awk '{print $4}' "/tmp/timing-$name.txt" | sort -n | tail -1)
  rm -f "/tmp/timing-$name.txt"
  [ "$name" = analyze ] && ANALYZE_WALL=$wall
  printf '%-8s wall %6.3f s  cpu %6.3f s  %7.0f MB/s  max RSS %6.1f MB  x analyze %5.2f\n' \
    "$name" "$wall" "$cpu" "$(echo "$MB $wall" | awk '{print $1 / $2}')" \
    "$(echo "$rss" | awk '{print $1 / 1024}')" \
    "$(echo "$wall ${ANALYZE_WALL:-$wall}" | awk '{print $1 / $2}')"
}
echo "$BIG: $MB MB, $RUNS runs each"
run analyze "$TAVIK" analyze --all-sequences "$BIG"
run bitrate "$TAVIK" bitrate --all-sequences "$BIG"
run vbv "$TAVIK" vbv --all-sequences "$BIG"
run cat cat "$BIG"
run grep grep -F -c tavik-no-such-text "$BIG"
