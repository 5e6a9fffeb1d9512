#include "input/start_code_search.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tavik {

const uint8_t* find_start_code_plain(const uint8_t* begin, const uint8_t* end) {
  for (const uint8_t* p = begin; end - p >= 3; ++p) {
    if (p[0] == 0 && p[1] == 0 && p[2] == 1) return p;
  }
  return end;
}

#if defined(__SSE2__)

const uint8_t* find_start_code(const uint8_t* begin, const uint8_t* end) {
  // Coded data holds no prefix and few pairs of zero bytes: each step finds the pairs that
  // begin in 31 bytes from one mask of 32 zero tests and looks only at the byte after each.
  constexpr int kStep = 31;
  const __m128i zero = _mm_setzero_si128();
  const uint8_t* p = begin;
  for (; end - p >= kStep + 2; p += kStep) {
    const auto low = static_cast<uint32_t>(_mm_movemask_epi8(
        _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), zero)));
    const auto high = static_cast<uint32_t>(_mm_movemask_epi8(
        _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16)), zero)));
    const uint32_t zeros = low | high << 16;
    for (uint32_t pairs = zeros & (zeros >> 1); pairs != 0; pairs &= pairs - 1) {
      const int at = __builtin_ctz(pairs);
      if (p[at + 2] == 1) return p + at;
    }
  }
  return find_start_code_plain(p, end);
}

#else

const uint8_t* find_start_code(const uint8_t* begin, const uint8_t* end) {
  return find_start_code_plain(begin, end);
}

#endif

}  // namespace tavik
