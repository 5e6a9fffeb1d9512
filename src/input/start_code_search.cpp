#include "input/start_code_search.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace tavik {

const uint8_t* find_start_code_plain(const uint8_t* begin, const uint8_t* end) {
  for (const uint8_t* p = begin; end - p >= 3; ++p) {
    if (p[0] == 0 && p[1] == 0 && p[2] == 1) return p;
  }
  return end;
}

#if defined(__SSE2__)

const uint8_t* find_start_code_sse2(const uint8_t* begin, const uint8_t* end) {
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

// The same on 64 bytes a step: half the instructions per byte of the 32-byte step.
__attribute__((target("avx2"))) const uint8_t* find_start_code_avx2(const uint8_t* begin,
                                                                    const uint8_t* end) {
  constexpr int kStep = 63;
  const __m256i zero = _mm256_setzero_si256();
  const uint8_t* p = begin;
  for (; end - p >= kStep + 2; p += kStep) {
    const auto low = static_cast<uint32_t>(_mm256_movemask_epi8(
        _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)), zero)));
    const auto high = static_cast<uint32_t>(_mm256_movemask_epi8(
        _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32)), zero)));
    const uint64_t zeros = uint64_t{low} | uint64_t{high} << 32;
    for (uint64_t pairs = zeros & (zeros >> 1); pairs != 0; pairs &= pairs - 1) {
      const int at = __builtin_ctzll(pairs);
      if (p[at + 2] == 1) return p + at;
    }
  }
  return find_start_code_sse2(p, end);
}

const uint8_t* find_start_code(const uint8_t* begin, const uint8_t* end) {
  // Chosen once from what the processor reports.
  static const auto find =
      __builtin_cpu_supports("avx2") ? &find_start_code_avx2 : &find_start_code_sse2;
  return find(begin, end);
}

#else

const uint8_t* find_start_code(const uint8_t* begin, const uint8_t* end) {
  return find_start_code_plain(begin, end);
}

#endif

}  // namespace tavik
