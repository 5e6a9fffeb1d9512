// Headers-only analysis of a 20 Mbit/s 1080i MPEG-2 elementary stream: every picture, GOP and
// slice measured, nothing decoded. ffprobe's packet listing of the same file is timed in the
// same run; the "x_ffprobe" counter is how many times faster the analysis is. The same walk
// building the stream's structure (the index of headers, slices and payload) shows what that
// costs, and "index_bytes" the memory the index holds.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "analysis/analysis_store.h"
#include "base/messages.h"
#include "bench_streams.h"
#include "session/decoding_session.h"
#include "structure/index_builder.h"

namespace {

constexpr const char* kStream = tavik::bench::k1080iStream;
constexpr const char* kMakeStream = tavik::bench::kMake1080iStream;

bool ensure_stream() {
  if (std::filesystem::exists(kStream)) return true;
  std::fprintf(stderr, "making %s\n", kStream);
  return std::system(kMakeStream) == 0 && std::filesystem::exists(kStream);
}

// Wall-clock seconds of one run of a command; the best of `runs`.
double best_wall_seconds(const std::string& command, int runs) {
  double best = 1e30;
  for (int i = 0; i < runs; ++i) {
    const auto start = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0) return 0;
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    best = std::min(best, elapsed.count());
  }
  return best;
}

void analyse_headers_only(benchmark::State& state, double ffprobe_seconds, bool structure) {
  const auto bytes = static_cast<int64_t>(std::filesystem::file_size(kStream));
  int pictures = 0;
  size_t index_bytes = 0;
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    tavik::AnalysisStore store;
    tavik::CollectedMessages messages;
    tavik::SessionListener listener;
    tavik::StreamIndex index;
    tavik::IndexBuilder builder(index);
    tavik::SessionOptions options;
    options.decode_pictures = false;
    if (structure) {
      options.observe_structure(builder);
    }
    tavik::DecodingSession session(store, messages, listener, options);
    session.open_stream(kStream);
    pictures = 0;
    while (session.decode_step()) ++pictures;
    benchmark::DoNotOptimize(store.snapshot().last_frame);
    index_bytes = index.memory_bytes();
  }
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  state.SetBytesProcessed(state.iterations() * bytes);
  state.counters["pictures"] = pictures;
  if (structure) state.counters["index_bytes"] = double(index_bytes);
  state.counters["x_ffprobe"] =
      ffprobe_seconds * static_cast<double>(state.iterations()) / elapsed.count();
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (!ensure_stream()) {
    std::fprintf(stderr, "cannot make %s\n", kStream);
    return 1;
  }
  const double ffprobe_seconds = best_wall_seconds(
      std::string("ffprobe -v error -show_packets ") + kStream + " > /dev/null", 3);
  const double megabytes = static_cast<double>(std::filesystem::file_size(kStream)) / 1e6;
  std::printf("ffprobe -v error -show_packets: %.3f s (%.1f MB/s)\n", ffprobe_seconds,
              ffprobe_seconds > 0 ? megabytes / ffprobe_seconds : 0.0);
  benchmark::RegisterBenchmark("HeadersOnlyAnalysis/1080i_20Mbps", analyse_headers_only,
                               ffprobe_seconds, false)
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime();
  benchmark::RegisterBenchmark("HeadersOnlyAnalysisWithStructure/1080i_20Mbps",
                               analyse_headers_only, ffprobe_seconds, true)
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
