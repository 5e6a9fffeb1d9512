#include "decoder/dsp/dc_block.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "decoder/dsp/block_store.h"
#include "decoder/dsp/idct.h"

namespace tavik {
namespace {

// Every DC with every value the mismatch control leaves in the last coefficient: the same
// pixels as the whole transform and a put.
TEST(DcBlock, EqualsTheTransformForEveryDcAndLastCoefficient) {
  constexpr int kStride = 11;
  for (int last = -1; last <= 1; ++last) {
    for (int dc = -2048; dc <= 2047; ++dc) {
      std::array<int16_t, 64> block{};
      block[0] = static_cast<int16_t>(dc);
      block[63] = static_cast<int16_t>(last);
      inverse_dct(block.data());
      std::array<uint8_t, 8 * kStride> full{};
      put_block(block.data(), full.data(), kStride);
      std::array<uint8_t, 8 * kStride> fast{};
      put_dc_block(dc, last, fast.data(), kStride);
      ASSERT_EQ(fast, full) << "dc " << dc << " last " << last;
    }
  }
}

}  // namespace
}  // namespace tavik
