#if defined(__SSE2__)

#include <emmintrin.h>

#include <algorithm>

#include "decoder/dsp/idct.h"

namespace tavik {
namespace {

// Multipliers for _mm_madd_epi16 on interleaved samples (a, b): a * first + b * second.
[[nodiscard]] inline __m128i pair(int first, int second) {
  return _mm_set1_epi32(static_cast<int>((static_cast<uint32_t>(second) << 16) |
                                         (static_cast<uint32_t>(first) & 0xFFFFu)));
}

// (181 * v + 128) >> 8 with the product wrapping at 32 bits; 181 = 5 * 36 + 1.
[[nodiscard]] inline __m128i half_sqrt2(__m128i v) {
  const __m128i five = _mm_add_epi32(v, _mm_slli_epi32(v, 2));
  const __m128i product =
      _mm_add_epi32(_mm_add_epi32(_mm_slli_epi32(five, 5), _mm_slli_epi32(five, 2)), v);
  return _mm_srai_epi32(_mm_add_epi32(product, _mm_set1_epi32(128)), 8);
}

// The eight outputs of one pass, before the final shift, for four lines at once. The inputs
// hold the line's samples interleaved in pairs: (x0, x4), (x1, x7), (x5, x3), (x2, x6). The
// products are the factorised ones multiplied out, which is exact in 32 bits.
template <bool kColumn>
void butterfly(__m128i x04, __m128i x17, __m128i x53, __m128i x26, __m128i y[8]) {
  constexpr int kScale = kColumn ? 256 : 2048;
  const __m128i bias = _mm_set1_epi32(kColumn ? 32 * 256 : 128);
  const auto product = [](__m128i pairs, int first, int second) {
    const __m128i v = _mm_madd_epi16(pairs, pair(first, second));
    if constexpr (kColumn) return _mm_srai_epi32(_mm_add_epi32(v, _mm_set1_epi32(4)), 3);
    return v;
  };
  const __m128i p4 = product(x17, kW1, kW7);
  const __m128i p5 = product(x17, kW7, -kW1);
  const __m128i p6 = product(x53, kW5, kW3);
  const __m128i p7 = product(x53, kW3, -kW5);
  const __m128i q3 = product(x26, kW2, kW6);
  const __m128i q2 = product(x26, kW6, -kW2);
  const __m128i e0 = _mm_add_epi32(_mm_madd_epi16(x04, pair(kScale, kScale)), bias);
  const __m128i e1 = _mm_add_epi32(_mm_madd_epi16(x04, pair(kScale, -kScale)), bias);

  const __m128i o1 = _mm_add_epi32(p4, p6);
  const __m128i o4 = _mm_sub_epi32(p4, p6);
  const __m128i o6 = _mm_add_epi32(p5, p7);
  const __m128i o5 = _mm_sub_epi32(p5, p7);
  const __m128i f7 = _mm_add_epi32(e0, q3);
  const __m128i f8 = _mm_sub_epi32(e0, q3);
  const __m128i f3 = _mm_add_epi32(e1, q2);
  const __m128i f0 = _mm_sub_epi32(e1, q2);
  const __m128i r2 = half_sqrt2(_mm_add_epi32(o4, o5));
  const __m128i r4 = half_sqrt2(_mm_sub_epi32(o4, o5));

  y[0] = _mm_add_epi32(f7, o1);
  y[1] = _mm_add_epi32(f3, r2);
  y[2] = _mm_add_epi32(f0, r4);
  y[3] = _mm_add_epi32(f8, o6);
  y[4] = _mm_sub_epi32(f8, o6);
  y[5] = _mm_sub_epi32(f0, r4);
  y[6] = _mm_sub_epi32(f3, r2);
  y[7] = _mm_sub_epi32(f7, o1);
}

// Row results: the low 16 bits of y >> 8, as a 16-bit store keeps them.
[[nodiscard]] inline __m128i row_result(__m128i y) {
  return _mm_srai_epi32(_mm_slli_epi32(y, 8), 16);
}

// Column results: y >> 14 clipped to -256..255 (after the saturating pack).
[[nodiscard]] inline __m128i column_result(__m128i y) {
  return _mm_srai_epi32(y, 14);
}

// One pass over eight lines held across the lanes: x[k] holds sample k of every line.
// `upper_zero` tells that lines 4..7 are all zero, so their results are zero too.
template <bool kColumn>
void idct_pass(__m128i x[8], bool upper_zero) {
  __m128i lower[8];
  butterfly<kColumn>(_mm_unpacklo_epi16(x[0], x[4]), _mm_unpacklo_epi16(x[1], x[7]),
                     _mm_unpacklo_epi16(x[5], x[3]), _mm_unpacklo_epi16(x[2], x[6]), lower);
  __m128i upper[8];
  if (upper_zero) {
    std::fill(upper, upper + 8, _mm_setzero_si128());
  } else {
    butterfly<kColumn>(_mm_unpackhi_epi16(x[0], x[4]), _mm_unpackhi_epi16(x[1], x[7]),
                       _mm_unpackhi_epi16(x[5], x[3]), _mm_unpackhi_epi16(x[2], x[6]), upper);
  }
  for (int k = 0; k < 8; ++k) {
    if constexpr (kColumn) {
      const __m128i v = _mm_packs_epi32(column_result(lower[k]), column_result(upper[k]));
      x[k] = _mm_min_epi16(_mm_max_epi16(v, _mm_set1_epi16(-256)), _mm_set1_epi16(255));
    } else {
      x[k] = _mm_packs_epi32(row_result(lower[k]), row_result(upper[k]));
    }
  }
}

void transpose(__m128i r[8]) {
  const __m128i a0 = _mm_unpacklo_epi16(r[0], r[1]);
  const __m128i a1 = _mm_unpackhi_epi16(r[0], r[1]);
  const __m128i a2 = _mm_unpacklo_epi16(r[2], r[3]);
  const __m128i a3 = _mm_unpackhi_epi16(r[2], r[3]);
  const __m128i a4 = _mm_unpacklo_epi16(r[4], r[5]);
  const __m128i a5 = _mm_unpackhi_epi16(r[4], r[5]);
  const __m128i a6 = _mm_unpacklo_epi16(r[6], r[7]);
  const __m128i a7 = _mm_unpackhi_epi16(r[6], r[7]);
  const __m128i b0 = _mm_unpacklo_epi32(a0, a2);
  const __m128i b1 = _mm_unpackhi_epi32(a0, a2);
  const __m128i b2 = _mm_unpacklo_epi32(a1, a3);
  const __m128i b3 = _mm_unpackhi_epi32(a1, a3);
  const __m128i b4 = _mm_unpacklo_epi32(a4, a6);
  const __m128i b5 = _mm_unpackhi_epi32(a4, a6);
  const __m128i b6 = _mm_unpacklo_epi32(a5, a7);
  const __m128i b7 = _mm_unpackhi_epi32(a5, a7);
  r[0] = _mm_unpacklo_epi64(b0, b4);
  r[1] = _mm_unpackhi_epi64(b0, b4);
  r[2] = _mm_unpacklo_epi64(b1, b5);
  r[3] = _mm_unpackhi_epi64(b1, b5);
  r[4] = _mm_unpacklo_epi64(b2, b6);
  r[5] = _mm_unpackhi_epi64(b2, b6);
  r[6] = _mm_unpacklo_epi64(b3, b7);
  r[7] = _mm_unpackhi_epi64(b3, b7);
}

[[nodiscard]] inline bool is_zero(__m128i v) {
  return _mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_setzero_si128())) == 0xFFFF;
}

}  // namespace

void inverse_dct_sse2(int16_t* block) {
  __m128i* rows = reinterpret_cast<__m128i*>(block);
  __m128i r[8];
  for (int k = 0; k < 8; ++k) r[k] = _mm_loadu_si128(rows + k);

  const __m128i upper = _mm_or_si128(_mm_or_si128(r[4], r[5]), _mm_or_si128(r[6], r[7]));
  const __m128i lower_ac =
      _mm_or_si128(_mm_or_si128(_mm_andnot_si128(_mm_cvtsi32_si128(0xFFFF), r[0]), r[1]),
                   _mm_or_si128(r[2], r[3]));
  const bool upper_zero = is_zero(upper);
  if (upper_zero && is_zero(lower_ac)) {
    // DC only: every row but the first is zero, and every column holds only its first sample.
    const int row_dc = static_cast<int16_t>(block[0] * 8);
    const __m128i v =
        _mm_set1_epi16(static_cast<int16_t>(std::clamp((row_dc + 32) >> 6, -256, 255)));
    for (int k = 0; k < 8; ++k) _mm_storeu_si128(rows + k, v);
    return;
  }

  // Rows across the lanes for the row pass, then back for the column pass.
  transpose(r);
  idct_pass<false>(r, upper_zero);
  transpose(r);
  idct_pass<true>(r, false);
  for (int k = 0; k < 8; ++k) _mm_storeu_si128(rows + k, r[k]);
}

}  // namespace tavik

#endif
