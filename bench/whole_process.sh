#!/bin/sh
# Whole-process decoding times: tavik-cli (one thread and --threads 2) against mpeg2dec and
# ffmpeg, each run RUNS times in turn, on the streams decode_bench makes under /tmp.
# Prints the median wall-clock and CPU (user + system) seconds of each command.
# Run: bench/whole_process.sh [build/tavik-cli] [RUNS]
TAVIK=${1:-build/tavik-cli}
RUNS=${2:-7}
for stream in /tmp/tavik-1080i.m2v /tmp/tavik-576i.m2v; do
  [ -f "$stream" ] || { echo "missing $stream: run build/bench/decode_bench first"; exit 1; }
  for name in tavik tavik-t2 mpeg2dec ffmpeg-t1 ffmpeg-t2; do : > "/tmp/whole-$name.txt"; done
  i=0
  while [ $i -lt "$RUNS" ]; do
    /usr/bin/time -a -o /tmp/whole-tavik.txt -f "%e %U %S" "$TAVIK" decode "$stream" -o /dev/null >/dev/null
    /usr/bin/time -a -o /tmp/whole-tavik-t2.txt -f "%e %U %S" "$TAVIK" decode "$stream" -o /dev/null --threads 2 >/dev/null
    /usr/bin/time -a -o /tmp/whole-mpeg2dec.txt -f "%e %U %S" mpeg2dec -o null "$stream" >/dev/null 2>&1
    /usr/bin/time -a -o /tmp/whole-ffmpeg-t1.txt -f "%e %U %S" ffmpeg -nostdin -loglevel error -threads 1 -i "$stream" -f null -
    /usr/bin/time -a -o /tmp/whole-ffmpeg-t2.txt -f "%e %U %S" ffmpeg -nostdin -loglevel error -threads 2 -i "$stream" -f null -
    i=$((i + 1))
  done
  for name in tavik tavik-t2 mpeg2dec ffmpeg-t1 ffmpeg-t2; do
    wall=$(awk '{print $1}' "/tmp/whole-$name.txt" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}')
    cpu=$(awk '{print $2 + $3}' "/tmp/whole-$name.txt" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}')
    printf '%s %-9s wall %5.2f s  cpu %5.2f s\n' "$(basename "$stream")" "$name" "$wall" "$cpu"
    rm -f "/tmp/whole-$name.txt"
  done
done
