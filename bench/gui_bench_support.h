#pragma once

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace tavik::bench {

// The process's resident memory in KiB, from /proc/self/statm.
inline long resident_kib() {
  long pages = 0, resident = 0;
  if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(statm);
  }
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// Runs the benchmarks of a program that paints with Qt: on the offscreen platform unless
// QT_QPA_PLATFORM names another (xcb under xvfb-run, for a real X server).
template <class Application>
int run_painting_benchmarks(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  Application app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

}  // namespace tavik::bench
