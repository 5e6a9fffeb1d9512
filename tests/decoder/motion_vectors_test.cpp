#include "decoder/motion_vectors.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "analysis/messages.h"
#include "decoder/decoder_state.h"
#include "decoder/video_source.h"

namespace tavik {
namespace {

// Gives the bits of a string of '0' and '1' (other characters ignored), padded with zero bits to
// a whole byte, then sequence end codes.
class BitsSource final : public VideoSource {
 public:
  explicit BitsSource(const std::string& bits) {
    int count = 0;
    for (const char c : bits) {
      if (c != '0' && c != '1') continue;
      if (count % 8 == 0) bytes_.push_back(0);
      if (c == '1') bytes_.back() |= static_cast<uint8_t>(0x80 >> (count % 8));
      ++count;
    }
  }
  size_t read(uint8_t* dst, size_t n) override {
    if (pos_ < bytes_.size()) {
      const size_t count = std::min(n, bytes_.size() - pos_);
      std::memcpy(dst, bytes_.data() + pos_, count);
      pos_ += count;
      return count;
    }
    fill_end_codes(dst, n, given_);
    given_ += n;
    return n;
  }

 private:
  std::vector<uint8_t> bytes_;
  size_t pos_ = 0;
  uint64_t given_ = 0;
};

// A decoder context reading a given bit string.
struct BitsContext {
  explicit BitsContext(const std::string& bits) : source(bits) {
    ctx.layer.reader.reset_reader(&source);
  }
  [[nodiscard]] uint64_t consumed() const { return ctx.layer.reader.consumed_bits(); }

  CollectedMessages messages;
  DecoderContext ctx{messages};
  BitsSource source;
};

// motion_code codes of ISO/IEC 13818-2 Table B-10 for the magnitudes 1..16, without the sign.
const char* const kMagnitudeCodes[17] = {
    "1",          "01",         "001",        "0001",       "000011",    "0000101",
    "0000100",    "0000011",    "000001011",  "000001010",  "000001001", "0000010001",
    "0000010000", "0000001111", "0000001110", "0000001101", "0000001100"};

std::string motion_code_bits(int value) {
  if (value == 0) return "1";
  const int magnitude = value < 0 ? -value : value;
  return std::string(kMagnitudeCodes[magnitude]) + (value < 0 ? "1" : "0");
}

TEST(MotionCode, EveryValueRoundTripsFromItsCode) {
  for (int value = -16; value <= 16; ++value) {
    const std::string bits = motion_code_bits(value);
    // A following 1 bit checks that exactly the code was consumed.
    BitsContext in(bits + "1");
    EXPECT_EQ(read_motion_code(in.ctx), value) << bits;
    EXPECT_EQ(in.consumed(), bits.size()) << bits;
    EXPECT_EQ(in.ctx.layer.reader.read_bit(), 1) << bits;
    EXPECT_FALSE(in.ctx.decode_fault) << bits;
  }
}

TEST(MotionCode, InvalidCodesWarnAndFault) {
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
}

TEST(Dmvector, ReadsTableB11) {
  BitsContext in("0 10 11 0");
  EXPECT_EQ(read_dmvector(in.ctx), 0);
  EXPECT_EQ(read_dmvector(in.ctx), 1);
  EXPECT_EQ(read_dmvector(in.ctx), -1);
  EXPECT_EQ(read_dmvector(in.ctx), 0);
  EXPECT_EQ(in.consumed(), 6u);
}

TEST(UpdateVectorComponent, AddsDifferencesAndWrapsIntoRange) {
  struct Case {
    int pred, r_size, motion_code, motion_residual, expected;
  };
  const Case cases[] = {
      {15, 0, 2, 0, -15},    // 15 + 2 = 17 wraps past 16
      {-16, 0, -1, 0, 15},   // -17 wraps past -16
      {-15, 0, -1, 0, -16},  // the lowest value stays
      {14, 0, 1, 0, 15},     // the highest value stays
      {0, 2, 3, 2, 11},      // (3 - 1) * 4 + 2 + 1
      {0, 2, -3, 2, -11},    // the same downward
      {60, 2, 2, 3, -60},    // 60 + 4 + 3 + 1 = 68 >= 64 wraps
      {7, 3, 0, 0, 7},       // motion_code 0 keeps the predictor
  };
  for (const Case& c : cases) {
    int pred = c.pred;
    update_vector_component(pred, c.r_size, c.motion_code, c.motion_residual, 0);
    EXPECT_EQ(pred, c.expected) << c.pred << " " << c.r_size << " " << c.motion_code;
  }
}

TEST(UpdateVectorComponent, FullPelVectorsWorkInWholeSamples) {
  // The predictor stays in half samples: 6 is 3 full samples, plus 2 gives 5 full samples.
  int pred = 6;
  update_vector_component(pred, 0, 2, 0, 1);
  EXPECT_EQ(pred, 10);
  // 15 full samples + 2 wraps within the full-sample range.
  pred = 30;
  update_vector_component(pred, 0, 2, 0, 1);
  EXPECT_EQ(pred, -30);
  // r_size 1: (2 - 1) * 2 + 1 + 1 = 4 full samples down.
  pred = 0;
  update_vector_component(pred, 1, -2, 1, 1);
  EXPECT_EQ(pred, -8);
}

TEST(ReadMotionVector, ReadsResidualsOnlyForNonZeroCodes) {
  // Horizontal: code +2, residual 01 (r_size 2); vertical: code 0, no residual (r_size 3).
  BitsContext in(motion_code_bits(2) + "01" + motion_code_bits(0) + "1");
  int PMV[2] = {0, 5};
  int dmvector[2] = {9, 9};
  read_motion_vector(in.ctx, PMV, dmvector, 2, 3, 0, 0, 0);
  EXPECT_EQ(PMV[0], 4 + 1 + 1);
  EXPECT_EQ(PMV[1], 5);
  EXPECT_EQ(dmvector[0], 9);  // untouched without dual prime
  EXPECT_EQ(in.consumed(), motion_code_bits(2).size() + 2 + 1);
}

TEST(ReadMotionVector, DualPrimeDifferentialsFollowEachComponent) {
  BitsContext in(motion_code_bits(-1) + "11" + motion_code_bits(3) + "10");
  int PMV[2] = {0, 0};
  int dmvector[2] = {0, 0};
  read_motion_vector(in.ctx, PMV, dmvector, 0, 0, 1, 0, 0);
  EXPECT_EQ(PMV[0], -1);
  EXPECT_EQ(dmvector[0], -1);
  EXPECT_EQ(PMV[1], 3);
  EXPECT_EQ(dmvector[1], 1);
}

TEST(ReadMotionVector, FieldVectorPredictedFromFrameVector) {
  // Vertical predictor 10 (frame units) is 5 as a field vector; +1 gives 6, stored as 12.
  BitsContext in(motion_code_bits(0) + motion_code_bits(1));
  int PMV[2] = {3, 10};
  int dmvector[2] = {0, 0};
  read_motion_vector(in.ctx, PMV, dmvector, 0, 0, 0, 1, 0);
  EXPECT_EQ(PMV[0], 3);
  EXPECT_EQ(PMV[1], 12);
  // A negative odd predictor is halved by an arithmetic shift: -3 -> -2, -1 -> -3 -> -6.
  BitsContext negative(motion_code_bits(0) + motion_code_bits(-1));
  int PMV2[2] = {0, -3};
  read_motion_vector(negative.ctx, PMV2, dmvector, 0, 0, 0, 1, 0);
  EXPECT_EQ(PMV2[1], -6);
}

TEST(ReadMotionVector, Mpeg1FullPelVectors) {
  // forward_f 2 (r_size 1): code +3 with residual 1 is (3 - 1) * 2 + 1 + 1 = 6 full samples.
  BitsContext in(motion_code_bits(3) + "1" + motion_code_bits(-1) + "0");
  int PMV[2] = {2, 4};
  int dmvector[2] = {0, 0};
  read_motion_vector(in.ctx, PMV, dmvector, 1, 1, 0, 0, 1);
  EXPECT_EQ(PMV[0], 2 * (1 + 6));
  EXPECT_EQ(PMV[1], 2 * (2 - 1));
}

TEST(ReadMotionVectors, OneFieldVectorSetsBothSelectsAndCopiesThePredictor) {
  BitsContext in("1" + motion_code_bits(2) + motion_code_bits(-2));
  int PMV[2][2][2] = {};
  int dmvector[2] = {0, 0};
  int select[2][2] = {};
  read_motion_vectors(in.ctx, PMV, dmvector, select, 1, 1, kMvFormatField, 0, 0, 0, 0);
  EXPECT_EQ(select[0][1], 1);
  EXPECT_EQ(select[1][1], 1);
  EXPECT_EQ(select[0][0], 0);
  EXPECT_EQ(PMV[0][1][0], 2);
  EXPECT_EQ(PMV[0][1][1], -2);
  EXPECT_EQ(PMV[1][1][0], 2);
  EXPECT_EQ(PMV[1][1][1], -2);
  EXPECT_EQ(PMV[0][0][0], 0);
}

TEST(ReadMotionVectors, FrameFormatAndDualPrimeReadNoSelect) {
  int dmvector[2] = {0, 0};
  {
    BitsContext in(motion_code_bits(1) + motion_code_bits(1) + "1");
    int PMV[2][2][2] = {};
    int select[2][2] = {{7, 7}, {7, 7}};
    read_motion_vectors(in.ctx, PMV, dmvector, select, 0, 1, kMvFormatFrame, 0, 0, 0, 0);
    EXPECT_EQ(select[0][0], 7);
    EXPECT_EQ(PMV[0][0][1], 1);
    EXPECT_EQ(PMV[1][0][1], 1);
  }
  {
    // Dual prime in a frame picture: field format, mvscale 1, dmvector after each component.
    BitsContext in(motion_code_bits(1) + "10" + motion_code_bits(-1) + "0");
    int PMV[2][2][2] = {{{0, 4}, {0, 0}}, {{0, 0}, {0, 0}}};
    int select[2][2] = {{7, 7}, {7, 7}};
    read_motion_vectors(in.ctx, PMV, dmvector, select, 0, 1, kMvFormatField, 0, 0, 1, 1);
    EXPECT_EQ(select[0][0], 7);
    EXPECT_EQ(PMV[0][0][0], 1);
    EXPECT_EQ(PMV[0][0][1], 2);  // (4 / 2 - 1) * 2
    EXPECT_EQ(dmvector[0], 1);
    EXPECT_EQ(dmvector[1], 0);
  }
}

TEST(ReadMotionVectors, TwoVectorsEachWithTheirSelect) {
  BitsContext in("0" + motion_code_bits(3) + motion_code_bits(-1) + "1" + motion_code_bits(-4) +
                 motion_code_bits(2));
  int PMV[2][2][2] = {{{0, 8}, {0, 0}}, {{1, -4}, {0, 0}}};
  int dmvector[2] = {0, 0};
  int select[2][2] = {{5, 5}, {5, 5}};
  read_motion_vectors(in.ctx, PMV, dmvector, select, 0, 2, kMvFormatField, 0, 0, 0, 1);
  EXPECT_EQ(select[0][0], 0);
  EXPECT_EQ(select[1][0], 1);
  EXPECT_EQ(PMV[0][0][0], 3);
  EXPECT_EQ(PMV[0][0][1], (4 - 1) * 2);
  EXPECT_EQ(PMV[1][0][0], 1 - 4);
  EXPECT_EQ(PMV[1][0][1], (-2 + 2) * 2);
  EXPECT_FALSE(in.ctx.decode_fault);
}

TEST(DualPrimeVectors, FramePictures) {
  int DMV[2][2];
  const int dmvector[2] = {1, -1};
  // Top field first: the top field's opposite-parity reference is 1/2 as far, the bottom's 3/2.
  // half(5) = 3, half(3) = 2, 3 * 5 / 2 = 8, 3 * 3 / 2 = 5 (halves rounded away from zero).
  dual_prime_vectors(DMV, dmvector, 5, 3, 3, 1);
  EXPECT_EQ(DMV[0][0], 4);
  EXPECT_EQ(DMV[0][1], 0);
  EXPECT_EQ(DMV[1][0], 9);
  EXPECT_EQ(DMV[1][1], 5);
  // Bottom field first swaps the scale factors.
  dual_prime_vectors(DMV, dmvector, 5, 3, 3, 0);
  EXPECT_EQ(DMV[0][0], 9);
  EXPECT_EQ(DMV[0][1], 3);
  EXPECT_EQ(DMV[1][0], 4);
  EXPECT_EQ(DMV[1][1], 2);
  // Negative vectors round away from zero too: -2.5 -> -3, -1.5 -> -2, -7.5 -> -8, -4.5 -> -5.
  const int zero[2] = {0, 0};
  dual_prime_vectors(DMV, zero, -5, -3, 3, 1);
  EXPECT_EQ(DMV[0][0], -3);
  EXPECT_EQ(DMV[0][1], -3);
  EXPECT_EQ(DMV[1][0], -8);
  EXPECT_EQ(DMV[1][1], -4);
  // Even vectors scale exactly.
  dual_prime_vectors(DMV, zero, 4, -2, 3, 0);
  EXPECT_EQ(DMV[0][0], 6);
  EXPECT_EQ(DMV[0][1], -4);
  EXPECT_EQ(DMV[1][0], 2);
  EXPECT_EQ(DMV[1][1], 0);
}

TEST(DualPrimeVectors, FieldPictures) {
  int DMV[2][2];
  const int dmvector[2] = {1, -1};
  // Top field: the bottom reference field lies half a line lower, so one half line up.
  dual_prime_vectors(DMV, dmvector, 5, 3, 1, 0);
  EXPECT_EQ(DMV[0][0], 4);
  EXPECT_EQ(DMV[0][1], 0);
  dual_prime_vectors(DMV, dmvector, 5, 3, 2, 1);
  EXPECT_EQ(DMV[0][0], 4);
  EXPECT_EQ(DMV[0][1], 2);
  const int zero[2] = {0, 0};
  dual_prime_vectors(DMV, zero, -1, -1, 2, 0);
  EXPECT_EQ(DMV[0][0], -1);
  EXPECT_EQ(DMV[0][1], 0);
}

}  // namespace
}  // namespace tavik
