#if defined(__SSE2__)

#include <emmintrin.h>

#include "decoder/dsp/block_store.h"

namespace tavik {
namespace {

// Stores `base + block` per row with saturation; `base` gives each row's 16-bit starting values.
// The 16-bit sum saturates too, which cannot change the 8-bit result.
template <typename Base>
void store_rows(const int16_t* block, uint8_t* dst, int stride, Base base) {
  for (int row = 0; row < 8; ++row, block += 8, dst += stride) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block));
    const __m128i sum = _mm_adds_epi16(v, base(dst));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dst), _mm_packus_epi16(sum, sum));
  }
}

}  // namespace

void put_block_sse2(const int16_t* block, uint8_t* dst, int stride) {
  store_rows(block, dst, stride, [](const uint8_t*) { return _mm_set1_epi16(128); });
}

void add_block_sse2(const int16_t* block, uint8_t* dst, int stride) {
  store_rows(block, dst, stride, [](const uint8_t* row) {
    return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(row)),
                             _mm_setzero_si128());
  });
}

}  // namespace tavik

#endif
