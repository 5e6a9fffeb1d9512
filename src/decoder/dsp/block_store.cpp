#include "decoder/dsp/block_store.h"

#include <algorithm>

namespace tavik {
namespace {

[[nodiscard]] uint8_t saturate(int v) {
  return static_cast<uint8_t>(std::clamp(v, 0, 255));
}

}  // namespace

void put_block(const int16_t* block, uint8_t* dst, int stride) {
  for (int row = 0; row < 8; ++row, block += 8, dst += stride) {
    for (int i = 0; i < 8; ++i) dst[i] = saturate(block[i] + 128);
  }
}

void add_block(const int16_t* block, uint8_t* dst, int stride) {
  for (int row = 0; row < 8; ++row, block += 8, dst += stride) {
    for (int i = 0; i < 8; ++i) dst[i] = saturate(dst[i] + block[i]);
  }
}

}  // namespace tavik
