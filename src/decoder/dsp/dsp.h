#pragma once

#include <cstdint>

namespace tavik {

// In place on 64 coefficients in raster order; results clipped to -256..255.
using IdctFn = void (*)(int16_t* block);
// Intra: dst = clip(v + 128); 8x8, dst rows `stride` bytes apart.
using PutBlockFn = void (*)(const int16_t* block, uint8_t* dst, int stride);
// Non-intra: dst = clip(dst + v).
using AddBlockFn = void (*)(const int16_t* block, uint8_t* dst, int stride);
// One prediction: h rows of w (8 or 16) samples. The sample below a source sample is at +lx; rows
// of both source and destination advance by lx2.
using PredictFn = void (*)(uint8_t* dst, const uint8_t* src, int lx, int lx2, int h);
// Prediction kernels indexed [average][width16][vertical half][horizontal half].
using PredictTable = PredictFn[2][2][2][2];

// The sample-crunching kernels of the decoder. The plain ones are the reference; the SIMD ones
// give bit-identical results.
struct DspKernels {
  IdctFn idct;
  PutBlockFn put_block;
  AddBlockFn add_block;
  PredictTable predict;
};

// kCpuAvx512: AVX-512 F and BW.
enum CpuFeature : unsigned { kCpuSse2 = 1u << 0, kCpuAvx2 = 1u << 1, kCpuAvx512 = 1u << 2 };

[[nodiscard]] unsigned detect_cpu_features();
// The plain kernels with SIMD ones put in where `cpu_features` allows.
[[nodiscard]] DspKernels make_dsp_kernels(unsigned cpu_features);
// The kernels for this CPU, built once.
[[nodiscard]] const DspKernels& dsp_kernels();

}  // namespace tavik
