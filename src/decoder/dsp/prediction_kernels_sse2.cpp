#if defined(__SSE2__)

#include <emmintrin.h>

#include <cstdint>

#include "decoder/dsp/prediction_kernels.h"

namespace tavik {
namespace {

// One row of 16 or 8 samples in the low bytes of a register.
template <bool kWidth16>
struct Row {
  static __m128i load(const uint8_t* p) {
    if constexpr (kWidth16) return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
  }
  static void store(uint8_t* p, __m128i v) {
    if constexpr (kWidth16) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
    } else {
      _mm_storel_epi64(reinterpret_cast<__m128i*>(p), v);
    }
  }
};

// (a + b + c + d + 2) >> 2 in bytes: the rounded mean of the two pair means rounds up once too
// often exactly when a pair sum is odd and the pair means differ in their lowest bit.
[[nodiscard]] inline __m128i mean4(__m128i a, __m128i b, __m128i c, __m128i d) {
  const __m128i ab = _mm_avg_epu8(a, b);
  const __m128i cd = _mm_avg_epu8(c, d);
  const __m128i odd = _mm_or_si128(_mm_xor_si128(a, b), _mm_xor_si128(c, d));
  const __m128i excess = _mm_and_si128(_mm_and_si128(odd, _mm_xor_si128(ab, cd)), _mm_set1_epi8(1));
  return _mm_sub_epi8(_mm_avg_epu8(ab, cd), excess);
}

// How far ahead of a predicted row, in bytes, the rows are fetched into the cache.
constexpr int kPrefetchAhead = 128;

template <bool kAverage, bool kWidth16, bool kVertical, bool kHorizontal>
struct Sse2Kernel {
  static void run(uint8_t* dst, const uint8_t* src, int lx, int lx2, int h) {
    using R = Row<kWidth16>;
    // h is 4, 8 or 16 in the decoder: two rows per round save loop overhead.
#pragma GCC unroll 2
    for (int row = 0; row < h; ++row, src += lx2, dst += lx2) {
      __m128i p;
      if constexpr (kVertical && kHorizontal) {
        p = mean4(R::load(src), R::load(src + 1), R::load(src + lx), R::load(src + lx + 1));
      } else if constexpr (kVertical) {
        p = _mm_avg_epu8(R::load(src), R::load(src + lx));
      } else if constexpr (kHorizontal) {
        p = _mm_avg_epu8(R::load(src), R::load(src + 1));
      } else {
        p = R::load(src);
      }
      if constexpr (kAverage) p = _mm_avg_epu8(p, R::load(dst));
      R::store(dst, p);
      // The macroblocks to the right will most likely read and write next to these rows, in
      // frames that are far out of the cache by now.
      __builtin_prefetch(src + kPrefetchAhead);
      __builtin_prefetch(dst + kPrefetchAhead, 1);
    }
  }
};

}  // namespace

void set_sse2_prediction_kernels(PredictTable& table) {
  fill_prediction_table<Sse2Kernel>(table);
}

}  // namespace tavik

#endif
