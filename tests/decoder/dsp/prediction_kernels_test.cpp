#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "decoder/dsp/dsp.h"

namespace tavik {
namespace {

constexpr int kLx = 20;
using Samples = std::vector<uint8_t>;

// Small hand-worked predictions, on the plain kernels and on the ones this CPU gets. What the
// kernels leave alone is checked against the plain ones in the SIMD comparison.
class PredictionKernelsTest : public ::testing::TestWithParam<unsigned> {
 protected:
  // One 16-wide row predicted from source lines kLx apart (the rest 0) into a zeroed
  // destination, or averaged with `dst`.
  [[nodiscard]] Samples predict(bool vertical, bool horizontal, const Samples& line0,
                                const Samples& line1, Samples dst = {}) const {
    Samples src(2 * kLx, 0);
    std::copy(line0.begin(), line0.end(), src.begin());
    std::copy(line1.begin(), line1.end(), src.begin() + kLx);
    const bool average = !dst.empty();
    dst.resize(16, 0);
    kernels.predict[average][1][vertical][horizontal](dst.data(), src.data(), kLx, kLx, 1);
    return dst;
  }

  const DspKernels kernels = make_dsp_kernels(GetParam());
};

// The leading samples of a row, the rest 0.
[[nodiscard]] Samples row(Samples leading) {
  leading.resize(16, 0);
  return leading;
}

INSTANTIATE_TEST_SUITE_P(Kernels, PredictionKernelsTest,
                         ::testing::Values(0u, detect_cpu_features()),
                         [](const testing::TestParamInfo<unsigned>& kernel) {
                           return kernel.index == 0 ? "Plain" : "ThisCpu";
                         });

TEST_P(PredictionKernelsTest, RowsRoundHalvesUp) {
  const Samples ramp = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 255, 99};
  EXPECT_EQ(predict(false, false, ramp, {}), Samples(ramp.begin(), ramp.begin() + 16));
  // (a + b + 1) >> 1 with b the right neighbour; the last sample reads the 17th.
  EXPECT_EQ(predict(false, true, {1, 2, 4, 4, 0, 255, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, {}),
            row({2, 3, 4, 2, 128, 128, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}));
  EXPECT_EQ(predict(true, false, {1, 2, 0, 255, 7}, {2, 2, 255, 255, 0}), row({2, 2, 128, 255, 4}));
  // (a + b + c + d + 2) >> 2: sums 8, 5, 1, 511, 1020, 512, 6, 5, 1, 1, 1.
  EXPECT_EQ(predict(true, true, {1, 2, 0, 0, 255, 255, 1, 2, 1, 0},
                    {2, 3, 0, 1, 255, 255, 1, 2, 0, 0, 1}),
            row({2, 1, 0, 128, 255, 128, 2, 1}));
  // Averaging: (dst + p + 1) >> 1.
  EXPECT_EQ(predict(false, false, {13, 11, 255, 0, 2}, {},
                    row({10, 10, 0, 255, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 200})),
            row({12, 11, 128, 128, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 100}));
  // The two-way prediction rounds before it is averaged: p = (0 + 0 + 0 + 1 + 2) >> 2 = 0.
  EXPECT_EQ(predict(true, true, {0, 0}, {0, 1}, {0}), row({}));
}

TEST_P(PredictionKernelsTest, FieldRowsInterpolateBetweenFrameLines) {
  // lx = one frame line, lx2 = two: each row reads its line and the next one, and rows step
  // over every other line of source and destination alike.
  Samples src(5 * kLx, 0);
  src[0] = 10;
  src[kLx] = 20;
  src[2 * kLx] = 40;
  src[3 * kLx] = 60;
  Samples dst(4 * kLx, 7);
  kernels.predict[0][0][1][0](dst.data(), src.data(), kLx, 2 * kLx, 2);
  EXPECT_EQ(dst[0], 15);
  EXPECT_EQ(dst[kLx], 7);
  EXPECT_EQ(dst[2 * kLx], 50);
  EXPECT_EQ(dst[3 * kLx], 7);
}

}  // namespace
}  // namespace tavik
