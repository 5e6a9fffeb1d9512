#include "display/dither_row.h"

#include <algorithm>
#include <cstring>

#include "decoder/dsp/dsp.h"
#include "display/dither_row_avx2.h"
#include "display/dither_row_avx512.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tavik {

namespace {

[[nodiscard]] inline uint8_t dither_pixel(const DitherTables& tables, int d, int y, int cb,
                                          int cr) {
  return tables.pixel_map[tables.luma_table[y + d] | tables.cb_table[(cb >> 1) + d] |
                          tables.cr_table[(cr >> 1) + d]];
}

// The offsets are constants of the instance, so every look-up is one addressed load.
template <bool kInterpolated, int kChromaShift, int kMatrixRow>
void plain_row_with_offsets(const DitherTables& tables, const DitherRow& row) {
  // Locals, so the stores through `out` cannot force the pointers to be reloaded.
  const uint8_t* const luma_a = row.luma_a;
  const uint8_t* const luma_b = row.luma_b;
  const uint8_t* const cb = row.cb;
  const uint8_t* const cr = row.cr;
  uint8_t* const out = row.out;
  constexpr const uint8_t* kOffsets = kDitherMatrix[kMatrixRow];
  const auto luma = [=](int x) {
    if constexpr (kInterpolated) return (luma_a[x] + luma_b[x]) >> 1;
    return static_cast<int>(luma_a[x]);
  };

  const int groups_end = row.width & ~3;
  int x = 0;
  for (; x < groups_end; x += 4) {
    const int c0 = x >> kChromaShift;
    const int c1 = c0 + (1 >> kChromaShift);
    const int c2 = (x + 2) >> kChromaShift;
    const int c3 = c2 + (1 >> kChromaShift);
    const uint8_t quad[4] = {dither_pixel(tables, kOffsets[0], luma(x), cb[c0], cr[c0]),
                             dither_pixel(tables, kOffsets[1], luma(x + 1), cb[c1], cr[c1]),
                             dither_pixel(tables, kOffsets[2], luma(x + 2), cb[c2], cr[c2]),
                             dither_pixel(tables, kOffsets[3], luma(x + 3), cb[c3], cr[c3])};
    std::memcpy(out + x, quad, sizeof quad);
  }
  // Widths that are not a multiple of 4 (never in valid streams).
  for (; x < row.width; ++x) {
    const int cx = std::min(x >> kChromaShift, row.chroma_width - 1);
    out[x] = dither_pixel(tables, kOffsets[x & 3], luma(x), cb[cx], cr[cx]);
  }
}

template <bool kInterpolated, int kChromaShift>
void plain_row(const DitherTables& tables, const DitherRow& row) {
  switch (row.matrix_row & 3) {
    case 0:
      return plain_row_with_offsets<kInterpolated, kChromaShift, 0>(tables, row);
    case 1:
      return plain_row_with_offsets<kInterpolated, kChromaShift, 1>(tables, row);
    case 2:
      return plain_row_with_offsets<kInterpolated, kChromaShift, 2>(tables, row);
    default:
      return plain_row_with_offsets<kInterpolated, kChromaShift, 3>(tables, row);
  }
}

using RowKernel = void (*)(const DitherTables&, const DitherRow&);

// A batch through row kernels: a row whose two luma lines are one is not interpolated.
template <RowKernel kOwnLine, RowKernel kInterpolated>
void each_row(const DitherTables& tables, std::span<const DitherRow> rows) {
  for (const DitherRow& row : rows) {
    (row.luma_a == row.luma_b ? kOwnLine : kInterpolated)(tables, row);
  }
}

constexpr DitherKernels kPlainKernels = {{each_row<plain_row<false, 0>, plain_row<true, 0>>,
                                          each_row<plain_row<false, 1>, plain_row<true, 1>>}};

#if defined(__SSE2__)

// Sixteen pixels per step. The levels are those of the tables, computed with saturating byte
// arithmetic: the luma level is clamp((Y + d - 8) >> 4, 1, 14), each chroma level
// clamp(((C >> 1) + d - 40) >> 4, 0, 3); the pixel map is the identity.
template <bool kInterpolated, int kChromaShift>
void sse2_row(const DitherTables& tables, const DitherRow& row) {
  const uint8_t* const d = kDitherMatrix[row.matrix_row & 3];
  const __m128i offsets = _mm_set_epi8(d[3], d[2], d[1], d[0], d[3], d[2], d[1], d[0], d[3], d[2],
                                       d[1], d[0], d[3], d[2], d[1], d[0]);
  const __m128i one = _mm_set1_epi8(1);
  const __m128i eight = _mm_set1_epi8(8);
  const __m128i forty = _mm_set1_epi8(40);
  const __m128i high_nibble = _mm_set1_epi8(static_cast<char>(0xF0));
  const __m128i luma_min = _mm_set1_epi8(1 << 4);
  const __m128i luma_max = _mm_set1_epi8(static_cast<char>(14 << 4));
  const __m128i chroma_max = _mm_set1_epi8(3 << 4);
  const __m128i half_mask = _mm_set1_epi8(0x7F);
  const __m128i cb_mask = _mm_set1_epi8(3 << 2);
  const __m128i cr_mask = _mm_set1_epi8(3);

  // Chroma samples halved, one per pixel.
  const auto chroma = [&](const uint8_t* line, int x) {
    __m128i c;
    if constexpr (kChromaShift == 1) {
      c = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(line + (x >> 1)));
      c = _mm_unpacklo_epi8(c, c);
    } else {
      c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(line + x));
    }
    return _mm_and_si128(_mm_srli_epi16(c, 1), half_mask);
  };
  // The chroma level times 16.
  const auto chroma_level = [&](__m128i halved) {
    const __m128i index = _mm_subs_epu8(_mm_add_epi8(halved, offsets), forty);
    return _mm_min_epu8(_mm_and_si128(index, high_nibble), chroma_max);
  };

  const int blocks_end = row.width & ~15;
  int x = 0;
  for (; x < blocks_end; x += 16) {
    __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row.luma_a + x));
    if constexpr (kInterpolated) {
      // avg rounds up; the odd sums lose their half to floor the mean.
      const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row.luma_b + x));
      y = _mm_sub_epi8(_mm_avg_epu8(y, b), _mm_and_si128(_mm_xor_si128(y, b), one));
    }
    const __m128i luma_index = _mm_subs_epu8(_mm_adds_epu8(y, offsets), eight);
    const __m128i luma =
        _mm_min_epu8(_mm_max_epu8(_mm_and_si128(luma_index, high_nibble), luma_min), luma_max);
    const __m128i cb = _mm_and_si128(_mm_srli_epi16(chroma_level(chroma(row.cb, x)), 2), cb_mask);
    const __m128i cr = _mm_and_si128(_mm_srli_epi16(chroma_level(chroma(row.cr, x)), 4), cr_mask);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(row.out + x),
                     _mm_or_si128(luma, _mm_or_si128(cb, cr)));
  }
  if (x < row.width) {
    // The rest starts on a matrix column 0 and on a whole chroma sample.
    const int cx = x >> kChromaShift;
    const DitherRow rest{row.luma_a + x, row.luma_b + x, row.cb + cx,           row.cr + cx,
                         row.out + x,    row.width - x,  row.chroma_width - cx, row.matrix_row};
    plain_row<kInterpolated, kChromaShift>(tables, rest);
  }
}

constexpr DitherKernels kSse2Kernels = {{each_row<sse2_row<false, 0>, sse2_row<true, 0>>,
                                         each_row<sse2_row<false, 1>, sse2_row<true, 1>>}};

#endif

}  // namespace

DitherTables make_dither_tables() {
  DitherTables tables;
  for (int k = 0; k < static_cast<int>(tables.luma_table.size()); ++k) {
    tables.luma_table[k] = static_cast<uint8_t>(std::clamp((k - 8) >> 4, 1, 14) << 4);
  }
  for (int k = 0; k < static_cast<int>(tables.cb_table.size()); ++k) {
    const int level = std::clamp((k - 40) >> 4, 0, 3);
    tables.cb_table[k] = static_cast<uint8_t>(level << 2);
    tables.cr_table[k] = static_cast<uint8_t>(level);
  }
  for (int k = 0; k < static_cast<int>(tables.pixel_map.size()); ++k) {
    tables.pixel_map[k] = static_cast<uint8_t>(k);
  }
  return tables;
}

const DitherKernels& plain_dither_kernels() {
  return kPlainKernels;
}

const DitherKernels& dither_kernels_for(unsigned cpu_features) {
#if defined(__x86_64__) || defined(__i386__)
  if (cpu_features & kCpuAvx512) return avx512_dither_kernels();
  if (cpu_features & kCpuAvx2) return avx2_dither_kernels();
#endif
#if defined(__SSE2__)
  if (cpu_features & kCpuSse2) return kSse2Kernels;
#endif
  return kPlainKernels;
}

const DitherKernels& fastest_dither_kernels() {
  static const DitherKernels& kernels = dither_kernels_for(detect_cpu_features());
  return kernels;
}

}  // namespace tavik
