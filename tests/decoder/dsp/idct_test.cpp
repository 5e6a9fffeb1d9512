#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <numeric>
#include <random>
#include <utility>
#include <vector>

#include "decoder/dsp/dsp.h"

namespace tavik {
namespace {

using Block = std::array<int16_t, 64>;

// Runs every case on the plain kernels and on the ones this CPU gets.
class IdctTest : public ::testing::TestWithParam<unsigned> {
 protected:
  const DspKernels kernels = make_dsp_kernels(GetParam());
};

INSTANTIATE_TEST_SUITE_P(Kernels, IdctTest,
                         ::testing::Values(0u, detect_cpu_features() & kCpuSse2,
                                           detect_cpu_features()),
                         [](const testing::TestParamInfo<unsigned>& kernel) {
                           return kernel.index == 0   ? "Plain"
                                  : kernel.index == 1 ? "Sse2"
                                                      : "ThisCpu";
                         });

TEST_P(IdctTest, KnownBlocksAndSaturatingStores) {
  const auto expect_all = [](const auto& values, int expected) {
    for (const auto v : values) ASSERT_EQ(v, expected);
  };
  Block block{};
  kernels.idct(block.data());
  expect_all(block, 0);
  block[0] = 8;  // row pass 64, column pass (64 + 32) >> 6
  kernels.idct(block.data());
  expect_all(block, 1);
  block.fill(0);
  block[0] = -8;  // (-64 + 32) >> 6 = -1: arithmetic shifts round toward minus infinity
  kernels.idct(block.data());
  expect_all(block, -1);

  std::array<uint8_t, 64> picture{};
  block.fill(0);
  kernels.put_block(block.data(), picture.data(), 8);
  expect_all(picture, 128);
  block.fill(-256);
  kernels.put_block(block.data(), picture.data(), 8);
  expect_all(picture, 0);
  picture.fill(100);
  kernels.add_block(block.data(), picture.data(), 8);
  expect_all(picture, 0);
  block.fill(255);
  kernels.put_block(block.data(), picture.data(), 8);
  expect_all(picture, 255);
  picture.fill(200);
  kernels.add_block(block.data(), picture.data(), 8);
  expect_all(picture, 255);
}

// The pseudo-random generator of IEEE 1180-1990: integers in -low..high.
class Ieee1180Random {
 public:
  int next(int low, int high) {
    state_ = state_ * 1103515245u + 12345u;
    const double x = static_cast<double>(state_ & 0x7FFFFFFEu) / static_cast<double>(0x7FFFFFFF);
    return static_cast<int>(x * (low + high + 1)) - low;
  }

 private:
  uint32_t state_ = 1;
};

// One 1-D pass over the rows of `in`, written transposed; two passes give B * in * B' forward
// and B' * in * B inverse, with B[u][x] = C(u) / 2 cos((2x + 1) u pi / 16).
[[nodiscard]] std::array<double, 64> pass(const std::array<double, 64>& in, bool inverse) {
  static const auto basis = [] {
    std::array<std::array<double, 8>, 8> b{};
    for (int u = 0; u < 8; ++u) {
      for (int x = 0; x < 8; ++x) {
        b[u][x] = (u == 0 ? std::numbers::sqrt2 / 4 : 0.5) *
                  std::cos((2 * x + 1) * u * std::numbers::pi / 16);
      }
    }
    return b;
  }();
  std::array<double, 64> out{};
  for (int i = 0; i < 8; ++i) {
    for (int j = 0; j < 8; ++j) {
      for (int k = 0; k < 8; ++k) {
        out[j * 8 + i] += (inverse ? basis[k][j] : basis[j][k]) * in[i * 8 + k];
      }
    }
  }
  return out;
}

[[nodiscard]] std::array<double, 64> transform(const std::array<double, 64>& in, bool inverse) {
  return pass(pass(in, inverse), inverse);
}

[[nodiscard]] int round_clip(double v, int low, int high) {
  return std::clamp(static_cast<int>(std::floor(v + 0.5)), low, high);
}

// IEEE 1180-1990: 10000 blocks of random samples, forward transformed in double precision,
// through the integer inverse DCT and a double precision one; the errors must stay small.
TEST_P(IdctTest, MeetsIeee1180Accuracy) {
  constexpr int kBlocks = 10000;
  for (const auto& [low, high] : {std::pair{256, 255}, std::pair{5, 5}, std::pair{300, 300}}) {
    for (const int sign : {1, -1}) {
      SCOPED_TRACE(testing::Message() << "range -" << low << ".." << high << " sign " << sign);
      Ieee1180Random random;
      std::array<int64_t, 64> error_sum{};
      std::array<int64_t, 64> square_sum{};
      std::array<int, 64> peak{};
      for (int n = 0; n < kBlocks; ++n) {
        std::array<double, 64> samples{};
        for (double& s : samples) s = sign * random.next(low, high);
        const std::array<double, 64> forward = transform(samples, false);
        Block coefficients{};
        std::array<double, 64> rounded{};
        for (int i = 0; i < 64; ++i) {
          coefficients[i] = static_cast<int16_t>(round_clip(forward[i], -2048, 2047));
          rounded[i] = coefficients[i];
        }
        const std::array<double, 64> reference = transform(rounded, true);
        kernels.idct(coefficients.data());
        for (int i = 0; i < 64; ++i) {
          const int error = coefficients[i] - round_clip(reference[i], -256, 255);
          error_sum[i] += error;
          square_sum[i] += error * error;
          peak[i] = std::max(peak[i], std::abs(error));
        }
      }
      for (int i = 0; i < 64; ++i) {
        EXPECT_LE(peak[i], 1) << i;
        EXPECT_LE(static_cast<double>(square_sum[i]) / kBlocks, 0.06) << i;
        EXPECT_LE(std::abs(static_cast<double>(error_sum[i])) / kBlocks, 0.015) << i;
      }
      const auto total = [](const std::array<int64_t, 64>& sums) {
        return static_cast<double>(std::accumulate(sums.begin(), sums.end(), int64_t{0}));
      };
      EXPECT_LE(total(square_sum) / (64.0 * kBlocks), 0.02);
      EXPECT_LE(std::abs(total(error_sum)) / (64.0 * kBlocks), 0.0015);
    }
  }
}

// Coefficients at and beyond the standard's limits: results stay clipped and nothing outside
// the block is touched (the sanitizer build checks the reads).
TEST_P(IdctTest, ExtremeCoefficientsStayInsideTheBlock) {
  std::mt19937 random(7);
  std::vector<Block> blocks;
  for (const int16_t v : {int16_t{2048}, int16_t{-2048}, int16_t{32767}, int16_t{-32768}}) {
    Block all;
    all.fill(v);
    blocks.push_back(all);
    Block checkered;
    for (int i = 0; i < 64; ++i) checkered[i] = ((i >> 3) + i) & 1 ? v : static_cast<int16_t>(-v);
    blocks.push_back(checkered);
  }
  for (int n = 0; n < 200; ++n) {
    Block signs;
    for (int16_t& v : signs) v = random() & 1 ? 2048 : -2048;
    blocks.push_back(signs);
  }
  constexpr int16_t kGuard = 0x5A5A;
  for (const Block& block : blocks) {
    std::array<int16_t, 3 * 64> area;
    area.fill(kGuard);
    std::copy(block.begin(), block.end(), area.begin() + 64);
    kernels.idct(area.data() + 64);
    for (int i = 0; i < 64; ++i) {
      EXPECT_EQ(area[i], kGuard);
      EXPECT_EQ(area[128 + i], kGuard);
      EXPECT_GE(area[64 + i], -256);
      EXPECT_LE(area[64 + i], 255);
    }
  }
}

}  // namespace
}  // namespace tavik
