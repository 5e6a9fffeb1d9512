#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <random>
#include <vector>

#include "decoder/dsp/dsp.h"

namespace tavik {
namespace {

// Argument 0 picks the kernels: 0 plain, 1 the best this CPU has, 2 SSE2 alone (the inverse
// DCT has an AVX2 version too).
const DspKernels& kernels_for(const benchmark::State& state) {
  static const DspKernels plain = make_dsp_kernels(0);
  static const DspKernels sse2 = make_dsp_kernels(kCpuSse2 & detect_cpu_features());
  return state.range(0) == 0 ? plain : state.range(0) == 1 ? dsp_kernels() : sse2;
}

constexpr int kBlocks = 2048;

// Blocks shaped like decoded ones: a few low-frequency coefficients, or DC only, or dense.
std::vector<std::array<int16_t, 64>> make_blocks(int shape) {
  std::mt19937 random(99);
  std::vector<std::array<int16_t, 64>> blocks(kBlocks);
  for (auto& block : blocks) {
    block.fill(0);
    block[0] = static_cast<int16_t>(std::uniform_int_distribution<int>(-1024, 1023)(random));
    if (shape == 0) continue;
    const int extent = shape == 1 ? 4 : 8;
    for (int row = 0; row < extent; ++row) {
      for (int column = 0; column < extent; ++column) {
        if (shape == 2 || random() % 3 == 0) {
          block[row * 8 + column] =
              static_cast<int16_t>(std::uniform_int_distribution<int>(-200, 200)(random));
        }
      }
    }
  }
  return blocks;
}

// Argument 1: 0 DC only, 1 sparse low frequencies, 2 dense.
void BM_Idct(benchmark::State& state) {
  const IdctFn idct = kernels_for(state).idct;
  const auto blocks = make_blocks(static_cast<int>(state.range(1)));
  auto work = blocks;
  for (auto _ : state) {
    state.PauseTiming();
    work = blocks;
    state.ResumeTiming();
    for (auto& block : work) idct(block.data());
    benchmark::DoNotOptimize(work.data());
  }
  state.SetItemsProcessed(state.iterations() * kBlocks);
}
BENCHMARK(BM_Idct)->ArgsProduct({{0, 1, 2}, {0, 1, 2}})->ArgNames({"simd", "shape"});

// Argument 1: 0 put, 1 add.
void BM_BlockStore(benchmark::State& state) {
  const DspKernels& kernels = kernels_for(state);
  const AddBlockFn store = state.range(1) ? kernels.add_block : kernels.put_block;
  const auto blocks = make_blocks(2);
  constexpr int kStride = 8 * 16;
  std::vector<uint8_t> picture(8 * kStride, 100);
  for (auto _ : state) {
    for (int n = 0; n < kBlocks; ++n) store(blocks[n].data(), &picture[(n % 16) * 8], kStride);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kBlocks);
}
BENCHMARK(BM_BlockStore)->ArgsProduct({{0, 1}, {0, 1}})->ArgNames({"simd", "add"});

// Argument 1: the kernel index, average * 8 + width16 * 4 + vertical * 2 + horizontal. Each
// iteration predicts 16 macroblock-sized areas (16 or 8 wide, 16 rows) across a picture.
void BM_Predict(benchmark::State& state) {
  const int index = static_cast<int>(state.range(1));
  const PredictFn predict =
      kernels_for(state).predict[index >> 3][(index >> 2) & 1][(index >> 1) & 1][index & 1];
  constexpr int kLx = 720;
  std::mt19937 random(5);
  std::vector<uint8_t> src(kLx * 40);
  for (uint8_t& v : src) v = static_cast<uint8_t>(random());
  std::vector<uint8_t> dst(kLx * 40, 0);
  for (auto _ : state) {
    for (int n = 0; n < 16; ++n) predict(&dst[n * 40], &src[n * 41 + 3], kLx, kLx, 16);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * 16);
}
BENCHMARK(BM_Predict)
    ->ArgsProduct({{0, 1}, benchmark::CreateDenseRange(0, 15, 1)})
    ->ArgNames({"simd", "kernel"});

}  // namespace
}  // namespace tavik

BENCHMARK_MAIN();
