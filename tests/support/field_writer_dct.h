#pragma once

#include <array>
#include <cstdint>

namespace tavik::test::field_writer {

// 8x8 blocks in natural (row-major) order.
using IntBlock = std::array<int, 64>;
using RealBlock = std::array<double, 64>;

// Natural-order index of each zigzag scan position (ISO/IEC 13818-2 7.3, alternate_scan 0).
extern const std::array<uint8_t, 64> kZigzag;

// Orthonormal 2-D DCT in double precision.
[[nodiscard]] RealBlock forward_dct(const IntBlock& samples);
// Its inverse, rounded to the nearest integer and saturated to -256..255 (ISO/IEC 13818-2 7.5).
[[nodiscard]] IntBlock inverse_dct(const IntBlock& coefficients);

// The encoder's quantiser: default matrices, 8-bit intra DC, linear quantiser scale.
// `quantiser_scale` is the scale itself (2 * quantiser_scale_code).
[[nodiscard]] IntBlock quantise(const RealBlock& coefficients, bool intra, int quantiser_scale);
// Inverse quantisation with saturation and mismatch control (ISO/IEC 13818-2 7.4), exactly as a
// decoder does it, so the encoder's reference pictures equal the decoder's.
[[nodiscard]] IntBlock dequantise(const IntBlock& levels, bool intra, int quantiser_scale);

}  // namespace tavik::test::field_writer
