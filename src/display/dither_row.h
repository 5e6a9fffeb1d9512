#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace tavik {

// Offsets added to every table index; row = output row mod 4, column = output column mod 4.
inline constexpr uint8_t kDitherMatrix[4][4] = {
    {0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

// Level look-ups of the ordered dither, each indexed by sample + dither offset.
struct DitherTables {
  // Position k: the luma level of luma index k - 8 (1..14), in bits 4..7.
  std::array<uint8_t, 272> luma_table{};
  // Position k: the Cb level of (Cb >> 1) + d = k (0..3), in bits 2..3.
  std::array<uint8_t, 144> cb_table{};
  // The same for Cr, in bits 0..1.
  std::array<uint8_t, 144> cr_table{};
  // Level byte to palette index; the identity, as the palette is laid out by levels.
  std::array<uint8_t, 256> pixel_map{};
};

// The tables as init_display fills them.
[[nodiscard]] DitherTables make_dither_tables();

// One output row: luma from one line, or the floored average of two (luma_b == luma_a for a
// line shown as it is), one chroma line, and the image row it fills.
struct DitherRow {
  const uint8_t* luma_a;
  const uint8_t* luma_b;
  const uint8_t* cb;
  const uint8_t* cr;
  uint8_t* out;
  int width;
  // Samples in the chroma lines; columns past it reuse the last one.
  int chroma_width;
  // Output row mod 4: the row of the dither matrix.
  int matrix_row;
};

// Dithers a batch of rows in any order; batches spare the per-row call.
using DitherRowsKernel = void (*)(const DitherTables&, std::span<const DitherRow>);

// Batch kernels by chroma shift; with shift 1 a chroma sample serves two pixels.
struct DitherKernels {
  DitherRowsKernel rows[2];
};

// Table look-ups, four pixels per step: the reference every faster set must match.
[[nodiscard]] const DitherKernels& plain_dither_kernels();

// The fastest set that `cpu_features` (detect_cpu_features) allows: AVX2, sixty-four pixels per
// step; SSE2, sixteen; else the plain one.
[[nodiscard]] const DitherKernels& dither_kernels_for(unsigned cpu_features);

// The fastest set this processor runs, chosen once.
[[nodiscard]] const DitherKernels& fastest_dither_kernels();

}  // namespace tavik
