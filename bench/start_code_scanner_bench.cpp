#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "analysis/analysis_store.h"
#include "analysis/start_code_scanner.h"
#include "base/messages.h"
#include "input/byte_input.h"

namespace tavik {
namespace {

constexpr size_t kStreamBytes = size_t{64} << 20;
constexpr size_t kPictureBytes = 40000;
constexpr size_t kSliceBytes = 1200;
constexpr size_t kPackBytes = 2048;

struct Stream {
  std::vector<uint8_t> bytes;
  int pictures = 0;
};

void add_code(std::vector<uint8_t>& out, uint8_t code) {
  out.insert(out.end(), {0x00, 0x00, 0x01, code});
}

// Coded data: random bytes in which no start-code prefix appears.
void add_coded_data(std::vector<uint8_t>& out, size_t n, std::mt19937& rng) {
  for (size_t i = 0; i < n; ++i) {
    auto byte = static_cast<uint8_t>(rng());
    const size_t size = out.size();
    if (byte == 0x01 && size >= 2 && out[size - 1] == 0 && out[size - 2] == 0) byte = 0x02;
    out.push_back(byte);
  }
}

// An elementary stream of pictures of about 40 KB in slices of about 1.2 KB, GOPs of 12.
Stream make_elementary_stream() {
  std::mt19937 rng(7);
  Stream stream;
  auto& out = stream.bytes;
  out.reserve(kStreamBytes + kPictureBytes);
  add_code(out, 0xB3);
  add_coded_data(out, 8, rng);
  while (out.size() < kStreamBytes) {
    if (stream.pictures % 12 == 0) {
      add_code(out, 0xB8);
      add_coded_data(out, 4, rng);
    }
    add_code(out, 0x00);
    add_coded_data(out, 8, rng);
    for (uint8_t slice = 1; slice <= kPictureBytes / kSliceBytes; ++slice) {
      add_code(out, slice);
      add_coded_data(out, kSliceBytes - 4, rng);
    }
    ++stream.pictures;
  }
  add_code(out, 0xB7);
  return stream;
}

// The same video in packs of 2048 bytes: a pack header and one video packet each, and an
// audio packet in every fourth pack.
Stream make_system_stream(const Stream& video) {
  std::mt19937 rng(11);
  Stream stream;
  stream.pictures = video.pictures;
  auto& out = stream.bytes;
  size_t taken = 0;
  for (int pack = 0; taken < video.bytes.size(); ++pack) {
    add_code(out, 0xBA);
    out.insert(out.end(), {0x21, 0x00, 0x01, 0x00, 0x01, 0x80, 0x1B, 0x91});
    if (pack % 4 == 0) {
      add_code(out, 0xC0);
      out.insert(out.end(), {0x01, 0x00});
      add_coded_data(out, 0x100, rng);
    }
    const size_t payload = std::min(video.bytes.size() - taken, kPackBytes - 12 - 7);
    add_code(out, 0xE0);
    out.insert(out.end(),
               {static_cast<uint8_t>((payload + 1) >> 8), static_cast<uint8_t>(payload + 1), 0x0F});
    out.insert(out.end(), video.bytes.begin() + static_cast<std::ptrdiff_t>(taken),
               video.bytes.begin() + static_cast<std::ptrdiff_t>(taken + payload));
    taken += payload;
  }
  add_code(out, 0xB9);
  return stream;
}

const Stream& elementary_stream() {
  static const Stream stream = make_elementary_stream();
  return stream;
}

const Stream& system_stream() {
  static const Stream stream = make_system_stream(elementary_stream());
  return stream;
}

// One session over the whole stream: the reset call, then one call per picture and one at the
// end.
void scan(benchmark::State& state, const Stream& stream, bool system) {
  AnalysisStore store;
  CollectedMessages messages;
  StartCodeScanner scanner(store, messages);
  for (auto _ : state) {
    MemoryInput input(stream.bytes);
    scanner.attach(&input);
    store.update([](StoreData& d) { d.scan_reset_pending = 1; });
    scanner.measure_picture();
    scanner.set_container(system ? Container::kSystem : Container::kElementary);
    for (int call = 0; call <= stream.pictures; ++call) {
      store.current_picture_type = call == 0 ? kNoPicture : kPPicture;
      scanner.measure_picture();
    }
    benchmark::DoNotOptimize(store.read([](const StoreData& d) { return d.bytes_scanned; }));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * stream.bytes.size()));
}

void BM_ScanElementaryStream(benchmark::State& state) {
  scan(state, elementary_stream(), false);
}
BENCHMARK(BM_ScanElementaryStream)->Unit(benchmark::kMillisecond);

void BM_ScanSystemStream(benchmark::State& state) {
  scan(state, system_stream(), true);
}
BENCHMARK(BM_ScanSystemStream)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tavik

BENCHMARK_MAIN();
