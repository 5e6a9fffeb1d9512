#!/bin/sh
# The headers walk building the structure (`headers --frames 0`, which prints one picture's
# tree) next to the same walk without it (`analyze`), as whole processes on the 400 MB stream
# that bench/timing_process.sh joins from the 1080i stream (made here when missing), read from
# the page cache. Prints each command's best wall clock and CPU seconds of RUNS, its largest
# resident set, and the structure's cost over analyze.
# Run: bench/structure_process.sh [build/tavik-cli] [RUNS] [FILE]
TAVIK=${1:-build/tavik-cli}
RUNS=${2:-3}
BIG=${3:-/tmp/tavik-400m.m2v}
PART=/tmp/tavik-1080i.m2v
if [ ! -f "$BIG" ]; then
  if [ ! -f "$PART" ]; then
    ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc2=size=1920x1080:rate=25 -t 8 \
      -c:v mpeg2video -b:v 20M -maxrate 20M -bufsize 10M -flags +ilme+ildct -top 1 -g 12 \
      -bf 2 "$PART" || exit 1
  fi
  : > "$BIG"
  while [ "$(stat -c %s "$BIG")" -lt 400000000 ]; do cat "$PART" >> "$BIG"; done
fi
cat "$BIG" > /dev/null
best() {  # name, command...: "wall cpu rss_kib" of the fastest run
  name=$1
  shift
  : > "/tmp/structure-$name.txt"
  i=0
  while [ $i -lt "$RUNS" ]; do
    /usr/bin/time -a -o "/tmp/structure-$name.txt" -f "%e %U %S %M" "$@" > /dev/null 2>&1
    i=$((i + 1))
  done
  grep -E '^[0-9.]+ ' "/tmp/structure-$name.txt" | sort -n | head -1 | awk '{print $1, $2 + $3, $4}'
  rm -f "/tmp/structure-$name.txt"
}
echo "$BIG: $(stat -c %s "$BIG") bytes, best of $RUNS runs"
set -- $(best analyze "$TAVIK" analyze --all-sequences "$BIG") \
  $(best headers "$TAVIK" headers --all-sequences --frames 0 "$BIG")
printf 'analyze          wall %6.2f s  cpu %6.2f s  max RSS %7.1f MB\n' "$1" "$2" "$(echo "$3" | awk '{print $1 / 1024}')"
printf 'headers --frames wall %6.2f s  cpu %6.2f s  max RSS %7.1f MB\n' "$4" "$5" "$(echo "$6" | awk '{print $1 / 1024}')"
echo "$1 $2 $3 $4 $5 $6" | awk '{printf "structure over analyze: wall %+.1f%%, cpu %+.1f%%, resident %+.1f MB\n", 100 * ($4 / $1 - 1), 100 * ($5 / $2 - 1), ($6 - $3) / 1024}'
