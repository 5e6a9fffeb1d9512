#if defined(__x86_64__) || defined(__i386__)

// GCC's AVX-512 headers start some results from deliberately undefined vectors, which its
// uninitialised-use warnings then report as faults of the caller.
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

#include "display/dither_row_avx512.h"

#include <immintrin.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <span>

// Compiled for AVX-512 function by function; dither_kernels_for chooses these kernels only when
// the CPU has AVX-512 F and BW.
#define TAVIK_SIMD_TARGET __attribute__((target("avx512f,avx512bw")))

namespace tavik {
namespace {

// 64 bytes, four 16-byte lanes.
struct V {
  using Reg = __m512i;
  static constexpr int kBytes = 64;
  TAVIK_SIMD_TARGET static Reg load(const uint8_t* p) { return _mm512_loadu_si512(p); }
  TAVIK_SIMD_TARGET static Reg broadcast(const uint8_t* p) {
    return _mm512_broadcast_i32x4(_mm_load_si128(reinterpret_cast<const __m128i*>(p)));
  }
  TAVIK_SIMD_TARGET static Reg set1(char value) { return _mm512_set1_epi8(value); }
  TAVIK_SIMD_TARGET static Reg bit_xor(Reg a, Reg b) { return _mm512_xor_si512(a, b); }
  TAVIK_SIMD_TARGET static Reg bit_and(Reg a, Reg b) { return _mm512_and_si512(a, b); }
  TAVIK_SIMD_TARGET static Reg avg(Reg a, Reg b) { return _mm512_avg_epu8(a, b); }
  TAVIK_SIMD_TARGET static Reg adds(Reg a, Reg b) { return _mm512_adds_epu8(a, b); }
  TAVIK_SIMD_TARGET static Reg subs(Reg a, Reg b) { return _mm512_subs_epu8(a, b); }
  TAVIK_SIMD_TARGET static Reg add(Reg a, Reg b) { return _mm512_add_epi8(a, b); }
  TAVIK_SIMD_TARGET static Reg srli16(Reg a, int n) { return _mm512_srli_epi16(a, n); }
  TAVIK_SIMD_TARGET static Reg shuffle(Reg table, Reg index) {
    return _mm512_shuffle_epi8(table, index);
  }
  TAVIK_SIMD_TARGET static Reg unpack_low(Reg a, Reg b) { return _mm512_unpacklo_epi8(a, b); }
  TAVIK_SIMD_TARGET static Reg unpack_high(Reg a, Reg b) { return _mm512_unpackhi_epi8(a, b); }
  // Quadwords 0 4 1 5 2 6 3 7: lane k holds quadwords k and k + 4.
  TAVIK_SIMD_TARGET static Reg unpack_order(Reg a) {
    return _mm512_permutexvar_epi64(_mm512_set_epi64(7, 3, 6, 2, 5, 1, 4, 0), a);
  }
  TAVIK_SIMD_TARGET static void store(uint8_t* out, Reg a) { _mm512_storeu_si512(out, a); }
  TAVIK_SIMD_TARGET static void stream(uint8_t* out, Reg a) {
    _mm512_stream_si512(reinterpret_cast<__m512i*>(out), a);
  }
  TAVIK_SIMD_TARGET static void stream_halves(uint8_t* out, Reg a) {
    _mm256_stream_si256(reinterpret_cast<__m256i*>(out), _mm512_castsi512_si256(a));
    _mm256_stream_si256(reinterpret_cast<__m256i*>(out + 32), _mm512_extracti64x4_epi64(a, 1));
  }
};

#include "display/dither_row_simd.h"

}  // namespace

const DitherKernels& avx512_dither_kernels() {
  return kSimdKernels;
}

}  // namespace tavik

#endif
