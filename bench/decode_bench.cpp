// Decoding speed next to ffmpeg (one thread) and mpeg2dec, with and without SIMD, on the same
// files. Streams are made once with ffmpeg under /tmp:
//   1080i: 20 Mbit/s 1920x1080 interlaced MPEG-2, GOPs of 12 with two B pictures;
//   576i:  6 Mbit/s 720x576 interlaced MPEG-2.
// The machine is shared, so everything is compared in CPU time, the least of several runs: the
// peers' (user + system of the child, best of five) are taken first, and every benchmark
// reports its own best CPU time per run ("cpu_ms") and the ratios "x_<peer>" = peer CPU time /
// ours (above 1: faster than the peer).
// "Decode" decodes without display; "DecodeDisplay" dithers every frame too and measures the
// dithering alone ("dither_ms" per frame, "dither_share" of the decoding time).
// "DecodeWriteImages" puts in row kernels that only stream a constant over every image row,
// the stores the display cannot do without, to show what of the dithering's cost is theirs.
// Run: build/bench/decode_bench
#include <benchmark/benchmark.h>
#include <immintrin.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <span>
#include <string>
#include <utility>

#include "analysis/analysis_store.h"
#include "base/messages.h"
#include "bench_streams.h"
#include "decoder/dsp/dsp.h"
#include "display/dither_row.h"
#include "session/decoding_session.h"

namespace {

struct BenchStream {
  const char* name;
  const char* path;
  const char* make;
};

const BenchStream kStreams[] = {
    {"1080i_20M", tavik::bench::k1080iStream, tavik::bench::kMake1080iStream},
    {"576i_6M", "/tmp/tavik-576i.m2v",
     "ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc2=size=720x576:rate=25 -t 20 "
     "-c:v mpeg2video -b:v 6M -maxrate 6M -bufsize 2M -flags +ilme+ildct -top 1 -g 12 -bf 2 "
     "/tmp/tavik-576i.m2v"},
};

struct Peer {
  const char* counter;
  const char* command;  // %s is the stream's path
};

constexpr std::array<Peer, 3> kPeers = {{
    {"x_ffmpeg", "ffmpeg -nostdin -loglevel error -threads 1 -i %s -f null -"},
    {"x_mpeg2dec", "mpeg2dec -o null %s >/dev/null 2>&1"},
    {"x_mpeg2dec_c", "mpeg2dec -c -o null %s >/dev/null 2>&1"},
}};

using PeerSeconds = std::array<double, kPeers.size()>;

bool ensure_stream(const BenchStream& stream) {
  if (std::filesystem::exists(stream.path)) return true;
  std::fprintf(stderr, "making %s\n", stream.path);
  return std::system(stream.make) == 0 && std::filesystem::exists(stream.path);
}

double seconds(const timeval& t) {
  return double(t.tv_sec) + double(t.tv_usec) * 1e-6;
}

// CPU seconds (user + system) of the children waited for so far.
double children_cpu_seconds() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// The least CPU time of `runs` runs of a command; 0 when it fails.
double best_cpu_seconds(const std::string& command, int runs) {
  double best = 1e30;
  for (int i = 0; i < runs; ++i) {
    const double before = children_cpu_seconds();
    const int status = std::system(command.c_str());
    if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return 0;
    best = std::min(best, children_cpu_seconds() - before);
  }
  return best;
}

// Times the dithering: the session calls frame_ready just before it dithers a frame and
// picture_ready right after.
class DitherClock final : public tavik::SessionListener {
 public:
  void frame_ready(const tavik::FramePlanes&, const tavik::FrameGeometry&,
                   const tavik::DecodingVariables&) override {
    started_ = tavik::bench::thread_cpu_seconds();
  }
  void picture_ready(tavik::PaletteImage&) override {
    if (started_ < 0) return;  // the second field of a frame dithered before
    total_ += tavik::bench::thread_cpu_seconds() - started_;
    started_ = -1;
    ++frames_;
  }
  [[nodiscard]] double total() const { return total_; }
  [[nodiscard]] int frames() const { return frames_; }

 private:
  double started_ = -1;
  double total_ = 0;
  int frames_ = 0;
};

// Every row of the images written with streamed stores as wide as the fastest dither kernels'
// (ordinary ones for a tail), nothing computed. Rows of a 64-byte-aligned image of width 1920
// or 720 are all 16-byte aligned, and 64-byte aligned for width 1920. The store is inlined, so
// each row costs only its stores.
#define TAVIK_WRITE_ROWS(name, target, Vector, stream, fill)                             \
  target void name(const tavik::DitherTables&, std::span<const tavik::DitherRow> rows) { \
    const Vector value = fill(0x55);                                                     \
    for (const tavik::DitherRow& row : rows) {                                           \
      int x = 0;                                                                         \
      if (reinterpret_cast<uintptr_t>(row.out) % sizeof(Vector) == 0) {                  \
        for (; x + int(sizeof(Vector)) <= row.width; x += int(sizeof(Vector))) {         \
          stream(reinterpret_cast<Vector*>(row.out + x), value);                         \
        }                                                                                \
      }                                                                                  \
      std::memset(row.out + x, 0x55, static_cast<size_t>(row.width - x));                \
    }                                                                                    \
    _mm_sfence();                                                                        \
  }
TAVIK_WRITE_ROWS(write_rows16, , __m128i, _mm_stream_si128, _mm_set1_epi8)
TAVIK_WRITE_ROWS(write_rows64, __attribute__((target("avx512f"))), __m512i, _mm512_stream_si512,
                 _mm512_set1_epi8)
#undef TAVIK_WRITE_ROWS

constexpr tavik::DitherKernels kWrite16Kernels = {{write_rows16, write_rows16}};
constexpr tavik::DitherKernels kWrite64Kernels = {{write_rows64, write_rows64}};

const tavik::DitherKernels& write_only_kernels() {
  return (tavik::detect_cpu_features() & tavik::kCpuAvx512) ? kWrite64Kernels : kWrite16Kernels;
}

enum class Display { kNone, kDither, kWriteOnly };

void decode(benchmark::State& state, const BenchStream* stream, Display mode,
            const PeerSeconds& peers) {
  const bool display = mode != Display::kNone;
  tavik::SessionOptions options;
  options.display_disabled = !display;
  if (mode == Display::kWriteOnly) options.dither_kernels = &write_only_kernels();
  int frames = 0;
  double dither_seconds = 0;
  int dithered = 0;
  double best_seconds = 1e30;
  for (auto _ : state) {
    const double start = tavik::bench::thread_cpu_seconds();
    tavik::AnalysisStore store;
    tavik::CollectedMessages messages;
    DitherClock listener;
    tavik::DecodingSession session(store, messages, listener, options);
    session.open_stream(stream->path);
    while (session.decode_step()) {
    }
    frames = session.picture_counter();
    dither_seconds += listener.total();
    dithered += listener.frames();
    best_seconds = std::min(best_seconds, tavik::bench::thread_cpu_seconds() - start);
  }
  const double run_seconds = best_seconds;
  state.counters["cpu_ms"] = run_seconds * 1e3;
  state.counters["frames/cpu_s"] = frames / run_seconds;
  state.SetBytesProcessed(int64_t(state.iterations()) *
                          int64_t(std::filesystem::file_size(stream->path)));
  for (size_t p = 0; p < kPeers.size(); ++p)
    state.counters[kPeers[p].counter] = peers[p] / run_seconds;
  if (display && dithered > 0) {
    const double per_run = dither_seconds / double(state.iterations());
    state.counters["dither_ms"] = dither_seconds / dithered * 1e3;
    state.counters["dither_share"] = per_run / (run_seconds - per_run);
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  for (const BenchStream& stream : kStreams) {
    if (!ensure_stream(stream)) {
      std::fprintf(stderr, "cannot make %s\n", stream.path);
      return 1;
    }
    PeerSeconds peers{};
    std::printf("%s peers, CPU s (best of 5):", stream.name);
    for (size_t p = 0; p < kPeers.size(); ++p) {
      char command[512];
      std::snprintf(command, sizeof command, kPeers[p].command, stream.path);
      peers[p] = best_cpu_seconds(command, 5);
      std::printf("  %s %.3f", kPeers[p].counter + 2, peers[p]);
    }
    std::printf("\n");
    const std::pair<Display, const char*> modes[] = {{Display::kNone, "Decode/"},
                                                     {Display::kDither, "DecodeDisplay/"},
                                                     {Display::kWriteOnly, "DecodeWriteImages/"}};
    for (const auto& [mode, prefix] : modes) {
      const std::string name = prefix + std::string(stream.name);
      benchmark::RegisterBenchmark(name.c_str(), decode, &stream, mode, peers)
          ->Unit(benchmark::kMillisecond)
          ->MinTime(2);
    }
  }
  std::fflush(stdout);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
