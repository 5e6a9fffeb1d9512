#if defined(__x86_64__) || defined(__i386__)

#include "display/dither_row_avx2.h"

#include <immintrin.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <span>

// Compiled for AVX2 function by function, so that the rest of the program runs on any x86-64;
// dither_kernels_for chooses these kernels only when the CPU has AVX2.
#define TAVIK_SIMD_TARGET __attribute__((target("avx2")))

namespace tavik {
namespace {

// 32 bytes, two 16-byte lanes.
struct V {
  using Reg = __m256i;
  static constexpr int kBytes = 32;
  TAVIK_SIMD_TARGET static Reg load(const uint8_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
  }
  TAVIK_SIMD_TARGET static Reg broadcast(const uint8_t* p) {
    return _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(p)));
  }
  TAVIK_SIMD_TARGET static Reg set1(char value) { return _mm256_set1_epi8(value); }
  TAVIK_SIMD_TARGET static Reg bit_xor(Reg a, Reg b) { return _mm256_xor_si256(a, b); }
  TAVIK_SIMD_TARGET static Reg bit_and(Reg a, Reg b) { return _mm256_and_si256(a, b); }
  TAVIK_SIMD_TARGET static Reg avg(Reg a, Reg b) { return _mm256_avg_epu8(a, b); }
  TAVIK_SIMD_TARGET static Reg adds(Reg a, Reg b) { return _mm256_adds_epu8(a, b); }
  TAVIK_SIMD_TARGET static Reg subs(Reg a, Reg b) { return _mm256_subs_epu8(a, b); }
  TAVIK_SIMD_TARGET static Reg add(Reg a, Reg b) { return _mm256_add_epi8(a, b); }
  TAVIK_SIMD_TARGET static Reg srli16(Reg a, int n) { return _mm256_srli_epi16(a, n); }
  TAVIK_SIMD_TARGET static Reg shuffle(Reg table, Reg index) {
    return _mm256_shuffle_epi8(table, index);
  }
  TAVIK_SIMD_TARGET static Reg unpack_low(Reg a, Reg b) { return _mm256_unpacklo_epi8(a, b); }
  TAVIK_SIMD_TARGET static Reg unpack_high(Reg a, Reg b) { return _mm256_unpackhi_epi8(a, b); }
  // Quadwords 0 2 1 3.
  TAVIK_SIMD_TARGET static Reg unpack_order(Reg a) { return _mm256_permute4x64_epi64(a, 0xD8); }
  TAVIK_SIMD_TARGET static void store(uint8_t* out, Reg a) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), a);
  }
  TAVIK_SIMD_TARGET static void stream(uint8_t* out, Reg a) {
    _mm256_stream_si256(reinterpret_cast<__m256i*>(out), a);
  }
  TAVIK_SIMD_TARGET static void stream_halves(uint8_t* out, Reg a) {
    _mm_stream_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(a));
    _mm_stream_si128(reinterpret_cast<__m128i*>(out + 16), _mm256_extracti128_si256(a, 1));
  }
};

#include "display/dither_row_simd.h"

}  // namespace

const DitherKernels& avx2_dither_kernels() {
  return kSimdKernels;
}

}  // namespace tavik

#endif
