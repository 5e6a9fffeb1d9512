// Dithering cost of one 1920x1088 4:2:0 frame, progressive (one image) and interlaced (two
// field images), with the fastest kernels and with the plain look-up ones. Decoding such a
// frame takes several milliseconds; dithering should stay far below that.
#include <benchmark/benchmark.h>
#include <emmintrin.h>

#include <cstdint>
#include <random>
#include <vector>

#include "decoder/syntax/decoder_state.h"
#include "display/dither.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1088;

void dither_hd_frame(benchmark::State& state, int progressive_sequence,
                     const tavik::DitherKernels& kernels) {
  tavik::FrameGeometry geometry;
  geometry.coded_width = kWidth;
  geometry.coded_height = kHeight;
  geometry.chroma_width = kWidth / 2;
  geometry.chroma_height = kHeight / 2;
  geometry.chroma_format = 1;
  std::mt19937 random(7);
  std::vector<uint8_t> planes[3] = {
      std::vector<uint8_t>(static_cast<size_t>(kWidth) * kHeight),
      std::vector<uint8_t>(static_cast<size_t>(kWidth) * kHeight / 4),
      std::vector<uint8_t>(static_cast<size_t>(kWidth) * kHeight / 4)};
  tavik::FramePlanes frame;
  for (int p = 0; p < 3; ++p) {
    for (uint8_t& sample : planes[p]) sample = static_cast<uint8_t>(random());
    frame.plane[p] = planes[p].data();
  }
  tavik::DecodingVariables vars;
  vars.progressive_sequence = progressive_sequence;
  vars.picture_structure = 3;
  vars.top_field_first = 1;
  tavik::Ditherer ditherer(kernels);
  ditherer.init_display(8, kWidth, kHeight);
  for (auto _ : state) {
    benchmark::DoNotOptimize(ditherer.display_picture(frame, geometry, vars).pixels.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

void BM_DitherProgressive1080(benchmark::State& state) {
  dither_hd_frame(state, 1, tavik::fastest_dither_kernels());
}
void BM_DitherInterlaced1080(benchmark::State& state) {
  dither_hd_frame(state, 0, tavik::fastest_dither_kernels());
}
void BM_DitherProgressive1080Plain(benchmark::State& state) {
  dither_hd_frame(state, 1, tavik::plain_dither_kernels());
}
void BM_DitherInterlaced1080Plain(benchmark::State& state) {
  dither_hd_frame(state, 0, tavik::plain_dither_kernels());
}

// The floor under the interlaced case: streaming the two field images' bytes to memory without
// computing anything, the stores the dithering cannot avoid.
void BM_StreamTwoImages1080(benchmark::State& state) {
  const size_t size = static_cast<size_t>(kWidth) * kHeight;
  std::vector<uint8_t> images[2] = {std::vector<uint8_t>(size + 64),
                                    std::vector<uint8_t>(size + 64)};
  for (auto _ : state) {
    for (std::vector<uint8_t>& image : images) {
      auto* out = reinterpret_cast<__m128i*>((reinterpret_cast<uintptr_t>(image.data()) + 63) &
                                             ~uintptr_t{63});
      const __m128i value = _mm_set1_epi8(static_cast<char>(state.iterations()));
      for (size_t i = 0; i < size / 16; ++i) _mm_stream_si128(out + i, value);
    }
    _mm_sfence();
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

BENCHMARK(BM_StreamTwoImages1080)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DitherProgressive1080)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DitherInterlaced1080)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DitherProgressive1080Plain)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DitherInterlaced1080Plain)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
