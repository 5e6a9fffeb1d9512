#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

#include <algorithm>

#include "decoder/dsp/idct.h"

// Compiled for AVX2 function by function, so that the rest of the program runs on any x86-64;
// the kernel table chooses this version only when the CPU has AVX2.
#define TAVIK_AVX2 __attribute__((target("avx2")))

namespace tavik {
namespace {

// The eight lines of a pass sit in the 32-bit slots of a register. Each pass takes its line's
// samples as four interleaved pairs, (x0, x4), (x1, x7), (x5, x3), (x2, x6), one register per
// pair, so that _mm256_madd_epi16 forms the products of a butterfly stage. The row pass keeps
// the rows in the slot order 0, 4, 1, 7 | 5, 3, 2, 6, which is the pair order the column pass
// needs: its inputs then come out of the row results by a plain transpose.

// Multipliers for _mm256_madd_epi16 on the pairs (a, b): a * first + b * second.
TAVIK_AVX2 inline __m256i pair(int first, int second) {
  return _mm256_set1_epi32(static_cast<int>((static_cast<uint32_t>(second) << 16) |
                                            (static_cast<uint32_t>(first) & 0xFFFFu)));
}

// A 4x4 transpose of 32-bit elements in each lane: register r's element e goes to register e's
// slot r.
TAVIK_AVX2 inline void transpose_pairs(__m256i a, __m256i b, __m256i c, __m256i d, __m256i out[4]) {
  const __m256i t0 = _mm256_unpacklo_epi32(a, b);
  const __m256i t1 = _mm256_unpackhi_epi32(a, b);
  const __m256i t2 = _mm256_unpacklo_epi32(c, d);
  const __m256i t3 = _mm256_unpackhi_epi32(c, d);
  out[0] = _mm256_unpacklo_epi64(t0, t2);
  out[1] = _mm256_unpackhi_epi64(t0, t2);
  out[2] = _mm256_unpacklo_epi64(t1, t3);
  out[3] = _mm256_unpackhi_epi64(t1, t3);
}

// first * a + second * b for the pairs (a, b); the column pass works with 3 fewer bits in its
// products, rounded away.
template <bool kColumn>
TAVIK_AVX2 inline __m256i product(__m256i pairs, int first, int second) {
  const __m256i v = _mm256_madd_epi16(pairs, pair(first, second));
  if constexpr (kColumn) return _mm256_srai_epi32(_mm256_add_epi32(v, _mm256_set1_epi32(4)), 3);
  return v;
}

// The eight outputs of one pass before the final shift; the same arithmetic as the plain
// version with its factorised products multiplied out, which is exact in 32 bits.
template <bool kColumn>
TAVIK_AVX2 inline void butterfly(const __m256i x[4], __m256i y[8]) {
  constexpr int kScale = kColumn ? 256 : 2048;
  const __m256i bias = _mm256_set1_epi32(kColumn ? 32 * 256 : 128);
  const __m256i p4 = product<kColumn>(x[1], kW1, kW7);
  const __m256i p5 = product<kColumn>(x[1], kW7, -kW1);
  const __m256i p6 = product<kColumn>(x[2], kW5, kW3);
  const __m256i p7 = product<kColumn>(x[2], kW3, -kW5);
  const __m256i q3 = product<kColumn>(x[3], kW2, kW6);
  const __m256i q2 = product<kColumn>(x[3], kW6, -kW2);
  const __m256i e0 = _mm256_add_epi32(_mm256_madd_epi16(x[0], pair(kScale, kScale)), bias);
  const __m256i e1 = _mm256_add_epi32(_mm256_madd_epi16(x[0], pair(kScale, -kScale)), bias);

  const __m256i o1 = _mm256_add_epi32(p4, p6);
  const __m256i o4 = _mm256_sub_epi32(p4, p6);
  const __m256i o6 = _mm256_add_epi32(p5, p7);
  const __m256i o5 = _mm256_sub_epi32(p5, p7);
  const __m256i f7 = _mm256_add_epi32(e0, q3);
  const __m256i f8 = _mm256_sub_epi32(e0, q3);
  const __m256i f3 = _mm256_add_epi32(e1, q2);
  const __m256i f0 = _mm256_sub_epi32(e1, q2);
  // (181 * v + 128) >> 8, the product wrapping at 32 bits.
  const __m256i k181 = _mm256_set1_epi32(181);
  const __m256i k128 = _mm256_set1_epi32(128);
  const __m256i r2 = _mm256_srai_epi32(
      _mm256_add_epi32(_mm256_mullo_epi32(_mm256_add_epi32(o4, o5), k181), k128), 8);
  const __m256i r4 = _mm256_srai_epi32(
      _mm256_add_epi32(_mm256_mullo_epi32(_mm256_sub_epi32(o4, o5), k181), k128), 8);

  y[0] = _mm256_add_epi32(f7, o1);
  y[1] = _mm256_add_epi32(f3, r2);
  y[2] = _mm256_add_epi32(f0, r4);
  y[3] = _mm256_add_epi32(f8, o6);
  y[4] = _mm256_sub_epi32(f8, o6);
  y[5] = _mm256_sub_epi32(f0, r4);
  y[6] = _mm256_sub_epi32(f3, r2);
  y[7] = _mm256_sub_epi32(f7, o1);
}

// Two rows into one register, their samples in pair order.
TAVIK_AVX2 inline __m256i load_rows(const int16_t* block, int low, int high) {
  const __m256i order = _mm256_setr_epi8(0, 1, 8, 9, 2, 3, 14, 15, 10, 11, 6, 7, 4, 5, 12, 13, 0, 1,
                                         8, 9, 2, 3, 14, 15, 10, 11, 6, 7, 4, 5, 12, 13);
  const __m256i rows = _mm256_inserti128_si256(
      _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 8 * low))),
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 8 * high)), 1);
  return _mm256_shuffle_epi8(rows, order);
}

// Row results y >> 8 kept in 16 bits (their low 16 bits, as a 16-bit store keeps them) for
// the columns c and c + 4, as [column c | column c + 4] with each column's rows in pair order.
TAVIK_AVX2 inline __m256i row_results(__m256i column, __m256i column4) {
  const __m256i low = _mm256_setr_epi8(1, 2, 5, 6, 9, 10, 13, 14, -1, -1, -1, -1, -1, -1, -1, -1, 1,
                                       2, 5, 6, 9, 10, 13, 14, -1, -1, -1, -1, -1, -1, -1, -1);
  const __m256i high = _mm256_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, 1, 2, 5, 6, 9, 10, 13, 14,
                                        -1, -1, -1, -1, -1, -1, -1, -1, 1, 2, 5, 6, 9, 10, 13, 14);
  const __m256i both =
      _mm256_or_si256(_mm256_shuffle_epi8(column, low), _mm256_shuffle_epi8(column4, high));
  return _mm256_permute4x64_epi64(both, 0xD8);
}

// Column results y >> 14 clipped to -256..255, for the output rows k and k + 1 as
// [row k | row k + 1].
TAVIK_AVX2 inline __m256i column_results(__m256i row, __m256i next_row) {
  const __m256i packed =
      _mm256_packs_epi32(_mm256_srai_epi32(row, 14), _mm256_srai_epi32(next_row, 14));
  const __m256i ordered = _mm256_permute4x64_epi64(packed, 0xD8);
  return _mm256_min_epi16(_mm256_max_epi16(ordered, _mm256_set1_epi16(-256)),
                          _mm256_set1_epi16(255));
}

}  // namespace

TAVIK_AVX2 void inverse_dct_avx2(int16_t* block) {
  auto* const rows = reinterpret_cast<__m256i*>(block);
  const __m256i r01 = _mm256_loadu_si256(rows);
  const __m256i ac = _mm256_or_si256(
      _mm256_or_si256(_mm256_andnot_si256(
                          _mm256_setr_epi16(-1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0), r01),
                      _mm256_loadu_si256(rows + 1)),
      _mm256_or_si256(_mm256_loadu_si256(rows + 2), _mm256_loadu_si256(rows + 3)));
  if (_mm256_testz_si256(ac, ac)) {
    // DC only: every row but the first is zero, and every column holds only its first sample.
    const int row_dc = static_cast<int16_t>(block[0] * 8);
    const __m256i v =
        _mm256_set1_epi16(static_cast<int16_t>(std::clamp((row_dc + 32) >> 6, -256, 255)));
    for (int k = 0; k < 4; ++k) _mm256_storeu_si256(rows + k, v);
    return;
  }

  __m256i x[4];
  transpose_pairs(load_rows(block, 0, 5), load_rows(block, 4, 3), load_rows(block, 1, 2),
                  load_rows(block, 7, 6), x);
  __m256i y[8];
  butterfly<false>(x, y);
  transpose_pairs(row_results(y[0], y[4]), row_results(y[1], y[5]), row_results(y[2], y[6]),
                  row_results(y[3], y[7]), x);
  butterfly<true>(x, y);
  for (int k = 0; k < 4; ++k) {
    _mm256_storeu_si256(rows + k, column_results(y[2 * k], y[2 * k + 1]));
  }
}

}  // namespace tavik

#endif
