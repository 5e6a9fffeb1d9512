#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "decoder/dsp.h"

namespace tavik {
namespace {

constexpr int kLx = 20;
using Samples = std::vector<uint8_t>;

// Lines of up to 17 samples, kLx apart, the rest 0.
[[nodiscard]] std::vector<uint8_t> lines(std::initializer_list<std::vector<uint8_t>> rows) {
  std::vector<uint8_t> area(rows.size() * kLx, 0);
  int line = 0;
  for (const auto& row : rows) {
    for (size_t i = 0; i < row.size(); ++i) area[line * kLx + i] = row[i];
    ++line;
  }
  return area;
}

// Small hand-worked predictions, on the plain kernels and on the ones this CPU gets.
class PredictionKernelsTest : public ::testing::TestWithParam<unsigned> {
 protected:
  // One 16-wide row predicted from `src` into a zeroed destination, or averaged with `dst`.
  std::vector<uint8_t> predict(bool vertical, bool horizontal, const std::vector<uint8_t>& src,
                               std::vector<uint8_t> dst = {}) const {
    const bool average = !dst.empty();
    dst.resize(16, 0);
    kernels.predict[average][1][vertical][horizontal](dst.data(), src.data(), kLx, kLx, 1);
    return dst;
  }

  const DspKernels kernels = make_dsp_kernels(GetParam());
};

INSTANTIATE_TEST_SUITE_P(Kernels, PredictionKernelsTest,
                         ::testing::Values(0u, detect_cpu_features()),
                         [](const testing::TestParamInfo<unsigned>& kernel) {
                           return kernel.index == 0 ? "Plain" : "ThisCpu";
                         });

TEST_P(PredictionKernelsTest, CopyTakesTheSourceAsItIs) {
  const Samples row = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 255, 99};
  EXPECT_EQ(predict(false, false, lines({row})), Samples(row.begin(), row.begin() + 16));
}

TEST_P(PredictionKernelsTest, HorizontalHalfSampleRoundsHalvesUp) {
  // (a + b + 1) >> 1 with b the right neighbour; the last sample reads the 17th.
  const auto src = lines({{1, 2, 4, 4, 0, 255, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}});
  EXPECT_EQ(predict(false, true, src),
            Samples({2, 3, 4, 2, 128, 128, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}));
}

TEST_P(PredictionKernelsTest, VerticalHalfSampleRoundsHalvesUp) {
  const auto src = lines({{1, 2, 0, 255, 7}, {2, 2, 255, 255, 0}});
  EXPECT_EQ(predict(true, false, src),
            Samples({2, 2, 128, 255, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_P(PredictionKernelsTest, TwoWayHalfSampleRoundsQuartersToNearest) {
  // (a + b + c + d + 2) >> 2: sums 8, 5, 1, 511, 1020, 512, 6, 5, 1, 1, 1.
  const auto src =
      lines({{1, 2, 0, 0, 255, 255, 1, 2, 1, 0}, {2, 3, 0, 1, 255, 255, 1, 2, 0, 0, 1}});
  EXPECT_EQ(predict(true, true, src),
            Samples({2, 1, 0, 128, 255, 128, 2, 1, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_P(PredictionKernelsTest, AveragingRoundsHalvesUp) {
  // (dst + p + 1) >> 1.
  const Samples dst = {10, 10, 0, 255, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 200};
  EXPECT_EQ(predict(false, false, lines({{13, 11, 255, 0, 2}}), dst),
            Samples({12, 11, 128, 128, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 100}));
  // The two-way prediction rounds before it is averaged: p = (0 + 0 + 0 + 1 + 2) >> 2 = 0.
  EXPECT_EQ(predict(true, true, lines({{0, 0}, {0, 1}}), Samples{0})[0], 0);
}

TEST_P(PredictionKernelsTest, FieldRowsInterpolateBetweenFrameLines) {
  // lx = one frame line, lx2 = two: each row reads its line and the next one, and rows step
  // over every other line of source and destination alike.
  const auto src = lines({{10}, {20}, {40}, {60}, {0}});
  std::vector<uint8_t> dst(4 * kLx, 7);
  kernels.predict[0][0][1][0](dst.data(), src.data(), kLx, 2 * kLx, 2);
  EXPECT_EQ(dst[0], 15);
  EXPECT_EQ(dst[kLx], 7);
  EXPECT_EQ(dst[2 * kLx], 50);
  EXPECT_EQ(dst[3 * kLx], 7);
}

TEST_P(PredictionKernelsTest, WritesExactlyTheBlock) {
  for (const int width : {8, 16}) {
    for (int index = 0; index < 16; ++index) {
      const bool average = index & 8;
      const int lx2 = index & 4 ? 2 * kLx : kLx;
      const std::vector<uint8_t> src(6 * kLx, 200);
      std::vector<uint8_t> dst(6 * kLx, 50);
      kernels.predict[average][width == 16][(index >> 1) & 1][index & 1](dst.data(), src.data(),
                                                                         kLx, lx2, 2);
      for (int i = 0; i < 6 * kLx; ++i) {
        const bool inside = i % lx2 < width && i / lx2 < 2;
        ASSERT_EQ(dst[i], inside ? (average ? 125 : 200) : 50)
            << "width " << width << " kernel " << index << " at " << i;
      }
    }
  }
}

}  // namespace
}  // namespace tavik
