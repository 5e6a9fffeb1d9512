#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <random>
#include <vector>

#include "decoder/dsp/dsp.h"

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

// Without this the comparisons below could pass on the plain kernels alone.
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
  for (int shape = 0; shape < 5; ++shape) {
    int mismatches = 0;
    for (int n = 0; n < 20000; ++n) {
      std::array<int16_t, 64> a{};
      const auto value = [&](int low, int high) {
        return static_cast<int16_t>(uniform(low, high));
      };
      const auto dense = [&](int count, int low, int high) {
        std::generate_n(a.begin(), count, [&] { return value(low, high); });
      };
      if (shape == 0) a[0] = value(-32768, 32767);
      if (shape == 1) dense(32, -2048, 2047);
      if (shape == 2) {
        for (int k = uniform(1, 6); k > 0; --k) {
          a[uniform(0, 3) * 8 + uniform(0, 3)] = value(-300, 300);
        }
      }
      if (shape == 3) dense(64, -2048, 2047);
      if (shape == 4) dense(64, -32768, 32767);
      std::array<int16_t, 64> b = a;
      plain.idct(a.data());
      simd.idct(b.data());
      if (a != b && ++mismatches <= 3) ADD_FAILURE() << "shape " << shape << " block " << n;
    }
    EXPECT_EQ(mismatches, 0) << "shape " << shape;
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
