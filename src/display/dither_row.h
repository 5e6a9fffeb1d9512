#pragma once

#include <array>
#include <cstdint>

namespace tavik {

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

using DitherRowKernel = void (*)(const DitherTables&, const DitherRow&);

// Row kernels by [interpolated][chroma shift]; with shift 1 a chroma sample serves two pixels.
struct DitherKernels {
  DitherRowKernel row[2][2];
};

// Table look-ups, four pixels per step: the reference every faster set must match.
[[nodiscard]] const DitherKernels& plain_dither_kernels();

// The fastest set the processor runs (SSE2 on x86-64: sixteen pixels per step).
[[nodiscard]] const DitherKernels& fastest_dither_kernels();

}  // namespace tavik
