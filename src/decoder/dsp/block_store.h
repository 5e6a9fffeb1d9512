#pragma once

#include <cstdint>

namespace tavik {

// Writes an inverse-transformed 8x8 block into a picture, rows `stride` bytes apart, with
// saturation to 8-bit samples. Intra blocks: sample = v + 128; non-intra blocks are added to the
// prediction already there: sample = sample + v.
void put_block(const int16_t* block, uint8_t* dst, int stride);
void add_block(const int16_t* block, uint8_t* dst, int stride);
#if defined(__SSE2__)
void put_block_sse2(const int16_t* block, uint8_t* dst, int stride);
void add_block_sse2(const int16_t* block, uint8_t* dst, int stride);
#endif

}  // namespace tavik
