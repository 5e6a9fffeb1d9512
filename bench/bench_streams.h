#pragma once

#include <time.h>

namespace tavik::bench {

// The 1080i 20 Mbit/s stream most benchmarks time, made with ffmpeg under /tmp on first use.
inline constexpr const char* k1080iStream = "/tmp/tavik-1080i.m2v";
inline constexpr const char* kMake1080iStream =
    "ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc2=size=1920x1080:rate=25 -t 8 "
    "-c:v mpeg2video -b:v 20M -maxrate 20M -bufsize 10M -flags +ilme+ildct -top 1 -g 12 -bf 2 "
    "/tmp/tavik-1080i.m2v";

// The CPU time of the calling thread: the figure that the other core's load does not change.
inline double thread_cpu_seconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

}  // namespace tavik::bench
