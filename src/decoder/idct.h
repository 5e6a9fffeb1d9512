#pragma once

#include <cstdint>

namespace tavik {

// The integer separable Chen-Wang inverse DCT, in place on 64 coefficients in raster order: rows
// first, then columns; results clipped to -256..255. Row results are kept in 16 bits, as the
// block holds them between the passes. The SIMD versions give the same results for every input.
void inverse_dct(int16_t* block);
#if defined(__SSE2__)
void inverse_dct_sse2(int16_t* block);
#endif

}  // namespace tavik
