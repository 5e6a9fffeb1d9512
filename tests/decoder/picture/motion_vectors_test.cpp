#include "decoder/picture/motion_vectors.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/messages.h"
#include "decoder/syntax/decoder_state.h"
#include "support/bit_feed.h"
#include "support/field_writer_vlc.h"

namespace tavik {
namespace {

// A decoder context reading a given bit string.
struct BitsContext {
  explicit BitsContext(const std::string& bits) : feed(ctx.layer.reader, bits) {}
  [[nodiscard]] uint64_t consumed() const { return ctx.layer.reader.consumed_bits(); }

  CollectedMessages messages;
  DecoderContext ctx{messages};
  test::BitFeed feed;
};

std::string mc(int value) {
  const test::field_writer::VlcCode code = test::field_writer::motion_code_code(value);
  return test::bits_of(code.bits, code.length);
}

[[nodiscard]] std::vector<int> flat(const int* values, int count) {
  return {values, values + count};
}

TEST(MotionCode, EveryCodeAndTheInvalidOnes) {
  for (int value = -16; value <= 16; ++value) {
    // A following 1 bit checks that exactly the code was consumed.
    BitsContext in(mc(value) + "1");
    EXPECT_EQ(read_motion_code(in.ctx), value);
    EXPECT_EQ(in.consumed(), mc(value).size()) << value;
    EXPECT_EQ(in.ctx.layer.reader.read_bit(), 1) << value;
    EXPECT_FALSE(in.ctx.decode_fault) << value;
  }
  // Every 10-bit window below 0000001100 is unused.
  for (const char* bits : {"0000001011 1111", "0000000000 1111", "0000000111 1111"}) {
    BitsContext in(bits);
    EXPECT_EQ(read_motion_code(in.ctx), 0) << bits;
    EXPECT_TRUE(in.ctx.decode_fault) << bits;
    EXPECT_EQ(in.messages.err_text, "Invalid motion_vector code\n");
    EXPECT_EQ(in.messages.out_text, "");
  }
  BitsContext quiet("0000000001");
  quiet.ctx.quiet = true;
  EXPECT_EQ(read_motion_code(quiet.ctx), 0);
  EXPECT_TRUE(quiet.ctx.decode_fault);
  EXPECT_EQ(quiet.messages.err_text, "");

  BitsContext dmv("0 10 11 0");
  for (const int expected : {0, 1, -1, 0}) EXPECT_EQ(read_dmvector(dmv.ctx), expected);
  EXPECT_EQ(dmv.consumed(), 6u);
}

TEST(UpdateVectorComponent, AddsDifferencesAndWrapsIntoRange) {
  struct Case {
    int pred, r_size, motion_code, motion_residual, full_pel, expected;
  };
  const Case cases[] = {
      {15, 0, 2, 0, 0, -15},    // 15 + 2 = 17 wraps past 16
      {-16, 0, -1, 0, 0, 15},   // -17 wraps past -16
      {-15, 0, -1, 0, 0, -16},  // the lowest value stays
      {14, 0, 1, 0, 0, 15},     // the highest value stays
      {0, 2, 3, 2, 0, 11},      // (3 - 1) * 4 + 2 + 1
      {0, 2, -3, 2, 0, -11},    // the same downward
      {60, 2, 2, 3, 0, -60},    // 60 + 4 + 3 + 1 = 68 >= 64 wraps
      {7, 3, 0, 0, 0, 7},       // motion_code 0 keeps the predictor
      // Full-pel: the predictor stays in half samples, the sum is in whole samples.
      {6, 0, 2, 0, 1, 10},    // 3 + 2 = 5 samples
      {30, 0, 2, 0, 1, -30},  // 15 + 2 wraps within the full-sample range
      {0, 1, -2, 1, 1, -8},   // (2 - 1) * 2 + 1 + 1 = 4 samples down
  };
  for (const Case& c : cases) {
    int pred = c.pred;
    update_vector_component(pred, c.r_size, c.motion_code, c.motion_residual, c.full_pel);
    EXPECT_EQ(pred, c.expected) << c.pred << " " << c.r_size << " " << c.motion_code;
  }
}

TEST(ReadMotionVector, ResidualsDualPrimeFieldScaleAndFullPel) {
  struct Case {
    std::string bits;
    int h_r_size, v_r_size, dmv, mvscale, full_pel;
    int pmv[2], expected_pmv[2], expected_dmvector[2];
  };
  const Case cases[] = {
      // Residual only after a non-zero code; dmvector untouched without dual prime.
      {mc(2) + "01" + mc(0), 2, 3, 0, 0, 0, {0, 5}, {4 + 1 + 1, 5}, {9, 9}},
      // Dual prime: a dmvector after each component.
      {mc(-1) + "11" + mc(3) + "10", 0, 0, 1, 0, 0, {0, 0}, {-1, 3}, {-1, 1}},
      // A field vector predicted from a frame vector: 10 is 5, +1 gives 6, stored as 12.
      {mc(0) + mc(1), 0, 0, 0, 1, 0, {3, 10}, {3, 12}, {9, 9}},
      // A negative odd predictor is halved by an arithmetic shift: -3 -> -2, -1 -> -3 -> -6.
      {mc(0) + mc(-1), 0, 0, 0, 1, 0, {0, -3}, {0, -6}, {9, 9}},
      // MPEG-1 full pel, r_size 1: +3 with residual 1 is (3 - 1) * 2 + 1 + 1 = 6 samples.
      {mc(3) + "1" + mc(-1) + "0", 1, 1, 0, 0, 1, {2, 4}, {2 * (1 + 6), 2 * (2 - 1)}, {9, 9}},
  };
  for (const Case& c : cases) {
    BitsContext in(c.bits);
    int pmv[2] = {c.pmv[0], c.pmv[1]};
    int dmvector[2] = {9, 9};
    read_motion_vector(in.ctx, pmv, dmvector, c.h_r_size, c.v_r_size, c.dmv, c.mvscale, c.full_pel);
    EXPECT_EQ(flat(pmv, 2), flat(c.expected_pmv, 2)) << c.bits;
    EXPECT_EQ(flat(dmvector, 2), flat(c.expected_dmvector, 2)) << c.bits;
    EXPECT_EQ(in.consumed(), c.bits.size()) << c.bits;
  }
}

// Reads the vectors of direction s from `bits` into the predictors `pmv` (PMV[r][s][t] in order)
// and compares the predictors, the selects (all 7 before) and the dual prime differentials.
void expect_vectors(const std::string& bits, int s, int count, int mv_format, int dmv, int mvscale,
                    std::vector<int> pmv, const std::vector<int>& expected_pmv,
                    const std::vector<int>& expected_select, const std::vector<int>& expected_dmv) {
  SCOPED_TRACE(bits);
  BitsContext in(bits);
  int PMV[2][2][2] = {};
  std::copy(pmv.begin(), pmv.end(), &PMV[0][0][0]);
  int select[2][2] = {{7, 7}, {7, 7}};
  int dmvector[2] = {0, 0};
  read_motion_vectors(in.ctx, PMV, dmvector, select, s, count, mv_format, 0, 0, dmv, mvscale);
  EXPECT_EQ(flat(&PMV[0][0][0], 8), expected_pmv);
  EXPECT_EQ(flat(&select[0][0], 4), expected_select);
  EXPECT_EQ(flat(dmvector, 2), expected_dmv);
  EXPECT_EQ(in.consumed(), bits.size());
  EXPECT_FALSE(in.ctx.decode_fault);
}

TEST(ReadMotionVectors, SelectsAndPredictorCopies) {
  // One field vector: its select is both selects, and the vector is copied.
  expect_vectors("1" + mc(2) + mc(-2), 1, 1, kMvFormatField, 0, 0, {}, {0, 0, 2, -2, 0, 0, 2, -2},
                 {7, 1, 7, 1}, {0, 0});
  // Frame format reads no select.
  expect_vectors(mc(1) + mc(1), 0, 1, kMvFormatFrame, 0, 0, {}, {1, 1, 0, 0, 1, 1, 0, 0},
                 {7, 7, 7, 7}, {0, 0});
  // Dual prime in a frame picture: field format, mvscale 1, no select, a dmvector each.
  expect_vectors(mc(1) + "10" + mc(-1) + "0", 0, 1, kMvFormatField, 1, 1, {0, 4},
                 {1, 2, 0, 0, 1, 2, 0, 0}, {7, 7, 7, 7}, {1, 0});
  // Two field vectors, each with its select.
  expect_vectors("0" + mc(3) + mc(-1) + "1" + mc(-4) + mc(2), 0, 2, kMvFormatField, 0, 1,
                 {0, 8, 0, 0, 1, -4, 0, 0}, {3, 6, 0, 0, -3, 0, 0, 0}, {0, 7, 1, 7}, {0, 0});
}

TEST(DualPrimeVectors, FrameAndFieldPictures) {
  struct Case {
    int dmvector[2], mvx, mvy, structure, top_field_first;
    int expected[2][2];  // field pictures: the first only
  };
  const Case cases[] = {
      // Top field first: the top field's opposite-parity reference is 1/2 as far, the bottom's
      // 3/2; halves round away from zero: half(5) = 3, half(3) = 2, 3 * 5 / 2 = 8, 9 / 2 = 5.
      {{1, -1}, 5, 3, 3, 1, {{4, 0}, {9, 5}}},
      // Bottom field first swaps the scale factors.
      {{1, -1}, 5, 3, 3, 0, {{9, 3}, {4, 2}}},
      // Negative vectors round away from zero too: -2.5 -> -3, -1.5 -> -2, -7.5 -> -8, -4.5 -> -5.
      {{0, 0}, -5, -3, 3, 1, {{-3, -3}, {-8, -4}}},
      // Even vectors scale exactly.
      {{0, 0}, 4, -2, 3, 0, {{6, -4}, {2, 0}}},
      // Field pictures: a top field's opposite reference lies half a line lower, so one half
      // line up; a bottom field's one half line down.
      {{1, -1}, 5, 3, 1, 0, {{4, 0}}},
      {{1, -1}, 5, 3, 2, 1, {{4, 2}}},
      {{0, 0}, -1, -1, 2, 0, {{-1, 0}}},
  };
  for (const Case& c : cases) {
    int dmv[2][2] = {};
    dual_prime_vectors(dmv, c.dmvector, c.mvx, c.mvy, c.structure, c.top_field_first);
    const int count = c.structure == 3 ? 4 : 2;
    EXPECT_EQ(flat(&dmv[0][0], count), flat(&c.expected[0][0], count))
        << c.mvx << " " << c.mvy << " structure " << c.structure;
  }
}

}  // namespace
}  // namespace tavik
