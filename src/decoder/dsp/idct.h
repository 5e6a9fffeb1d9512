#pragma once

#include <cstdint>

namespace tavik {

// 2048 * sqrt(2) * cos(k * pi / 16), rounded.
inline constexpr int kW1 = 2841;
inline constexpr int kW2 = 2676;
inline constexpr int kW3 = 2408;
inline constexpr int kW5 = 1609;
inline constexpr int kW6 = 1108;
inline constexpr int kW7 = 565;

// The integer separable Chen-Wang inverse DCT, in place on 64 coefficients in raster order: rows
// first, then columns; results clipped to -256..255. Row results are kept in 16 bits, as the
// block holds them between the passes. The SIMD versions give the same results for every input.
void inverse_dct(int16_t* block);
#if defined(__SSE2__)
void inverse_dct_sse2(int16_t* block);
#endif
#if defined(__x86_64__) || defined(__i386__)
// Only for CPUs with AVX2.
void inverse_dct_avx2(int16_t* block);
#endif

}  // namespace tavik
