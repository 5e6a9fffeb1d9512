#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <random>
#include <vector>

#include "decoder/dsp.h"

namespace tavik {
namespace {

// Every SIMD kernel set (the parameter: CPU features) against the plain one: the same
// results, bit for bit, and the same bytes left alone.
class DspSimdTest : public ::testing::TestWithParam<unsigned> {
 protected:
  void SetUp() override {
    if ((detect_cpu_features() & GetParam()) != GetParam()) {
      GTEST_SKIP() << "this CPU lacks the kernels' instructions";
    }
  }

  const DspKernels plain = make_dsp_kernels(0);
  const DspKernels simd = make_dsp_kernels(GetParam());
  std::mt19937 random{1234};

  int uniform(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); }
};

INSTANTIATE_TEST_SUITE_P(Features, DspSimdTest, ::testing::Values(kCpuSse2, kCpuSse2 | kCpuAvx2),
                         [](const ::testing::TestParamInfo<unsigned>& param_info) {
                           return param_info.param & kCpuAvx2 ? "Avx2" : "Sse2";
                         });

TEST(DspKernels, FeatureMasksChooseTheKernels) {
  if (!(detect_cpu_features() & kCpuSse2)) GTEST_SKIP() << "no SIMD kernels on this CPU";
  const DspKernels plain = make_dsp_kernels(0);
  const DspKernels sse2 = make_dsp_kernels(kCpuSse2);
  const DspKernels avx2 = make_dsp_kernels(kCpuSse2 | kCpuAvx2);
  EXPECT_NE(plain.idct, sse2.idct);
  EXPECT_NE(plain.put_block, sse2.put_block);
  EXPECT_NE(plain.add_block, sse2.add_block);
  for (int i = 0; i < 16; ++i) {
    EXPECT_NE(plain.predict[i >> 3][(i >> 2) & 1][(i >> 1) & 1][i & 1],
              sse2.predict[i >> 3][(i >> 2) & 1][(i >> 1) & 1][i & 1]);
  }
  // AVX2 brings its own inverse DCT and keeps the rest.
  EXPECT_NE(avx2.idct, sse2.idct);
  EXPECT_EQ(avx2.put_block, sse2.put_block);
  EXPECT_EQ(avx2.predict[1][1][1][1], sse2.predict[1][1][1][1]);
  const DspKernels best = make_dsp_kernels(detect_cpu_features());
  EXPECT_EQ(dsp_kernels().idct, best.idct);
  EXPECT_EQ(dsp_kernels().predict[1][1][1][1], best.predict[1][1][1][1]);
}

TEST_P(DspSimdTest, IdctMatchesPlain) {
  // Each shape exercises a different shortcut: DC only, lower rows zero, a few low frequencies,
  // dense blocks in the standard's range, and any 16-bit values.
  const auto fill = [&](std::array<int16_t, 64>& block, int shape) {
    block.fill(0);
    switch (shape) {
      case 0:
        block[0] = static_cast<int16_t>(uniform(-32768, 32767));
        break;
      case 1:
        for (int i = 0; i < 32; ++i) block[i] = static_cast<int16_t>(uniform(-2048, 2047));
        break;
      case 2:
        for (int n = uniform(1, 6); n > 0; --n) {
          block[uniform(0, 3) * 8 + uniform(0, 3)] = static_cast<int16_t>(uniform(-300, 300));
        }
        break;
      case 3:
        for (int16_t& v : block) v = static_cast<int16_t>(uniform(-2048, 2047));
        break;
      default:
        for (int16_t& v : block) v = static_cast<int16_t>(uniform(-32768, 32767));
        break;
    }
  };
  for (int shape = 0; shape < 5; ++shape) {
    SCOPED_TRACE(testing::Message() << "shape " << shape);
    int mismatches = 0;
    for (int n = 0; n < 20000; ++n) {
      std::array<int16_t, 64> a;
      fill(a, shape);
      std::array<int16_t, 64> b = a;
      plain.idct(a.data());
      simd.idct(b.data());
      if (a != b && ++mismatches <= 3) ADD_FAILURE() << "block " << n << " differs";
    }
    EXPECT_EQ(mismatches, 0);
  }
}

TEST_P(DspSimdTest, BlockStoreMatchesPlain) {
  for (int n = 0; n < 2000; ++n) {
    const bool add = n & 1;
    const int stride = uniform(8, 48);
    const int limit = n & 2 ? 32767 : 256;
    std::array<int16_t, 64> block;
    for (int16_t& v : block) v = static_cast<int16_t>(uniform(-limit, limit - 1));
    // Guard bytes all around the 8x8 area, and between its rows when the stride allows.
    std::vector<uint8_t> original(static_cast<size_t>(7 * stride + 8 + 32));
    for (uint8_t& v : original) v = static_cast<uint8_t>(random());
    std::vector<uint8_t> a = original;
    std::vector<uint8_t> b = original;
    (add ? plain.add_block : plain.put_block)(block.data(), a.data() + 16, stride);
    (add ? simd.add_block : simd.put_block)(block.data(), b.data() + 16, stride);
    ASSERT_EQ(a, b) << (add ? "add" : "put") << " stride " << stride;
    for (size_t i = 0; i < a.size(); ++i) {
      const bool inside = i >= 16 && (i - 16) % stride < 8 && (i - 16) / stride < 8;
      if (!inside) {
        ASSERT_EQ(a[i], original[i]) << "stray write at " << i;
      }
    }
  }
}

TEST_P(DspSimdTest, PredictionKernelsMatchPlain) {
  for (int index = 0; index < 16; ++index) {
    const bool average = index >> 3;
    const int width = (index >> 2) & 1 ? 16 : 8;
    const bool vertical = (index >> 1) & 1;
    const bool horizontal = index & 1;
    SCOPED_TRACE(testing::Message() << "average " << average << " width " << width << " vertical "
                                    << vertical << " horizontal " << horizontal);
    const PredictFn reference = plain.predict[average][width == 16][vertical][horizontal];
    const PredictFn tested = simd.predict[average][width == 16][vertical][horizontal];
    for (int n = 0; n < 300; ++n) {
      const int lx = uniform(width + 1, 3 * width);
      const int lx2 = n & 1 ? 2 * lx : lx;
      const int h = n % 5 == 0 ? uniform(1, 17) : (4 << uniform(0, 2));
      // The source holds exactly what the plain kernel reads, so the sanitizer build catches
      // any read beyond it.
      const size_t src_offset = uniform(0, 15);
      std::vector<uint8_t> src(src_offset + static_cast<size_t>((h - 1) * lx2) +
                               (vertical ? lx : 0) + width + (horizontal ? 1 : 0));
      for (uint8_t& v : src) v = static_cast<uint8_t>(random());
      constexpr size_t kGuard = 16;
      std::vector<uint8_t> original(2 * kGuard + static_cast<size_t>((h - 1) * lx2 + width));
      for (uint8_t& v : original) v = static_cast<uint8_t>(random());
      std::vector<uint8_t> a = original;
      std::vector<uint8_t> b = original;
      reference(a.data() + kGuard, src.data() + src_offset, lx, lx2, h);
      tested(b.data() + kGuard, src.data() + src_offset, lx, lx2, h);
      ASSERT_EQ(a, b) << "lx " << lx << " lx2 " << lx2 << " h " << h;
      for (size_t i = 0; i < a.size(); ++i) {
        const bool inside = i >= kGuard && (i - kGuard) % lx2 < static_cast<size_t>(width) &&
                            (i - kGuard) / lx2 < static_cast<size_t>(h);
        if (!inside) {
          ASSERT_EQ(a[i], original[i]) << "stray write at " << i;
        }
      }
    }
  }
}

}  // namespace
}  // namespace tavik
