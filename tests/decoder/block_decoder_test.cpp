#include "decoder/block_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "analysis/messages.h"
#include "decoder/decoder_state.h"
#include "decoder/scan_tables.h"
#include "support/annex_b_codes.h"
#include "support/bit_feed.h"

namespace tavik {
namespace {

using test::BitFeed;
using test::bits_of;
using test::compact;

enum class Reader { kIntra, kInter, kMpeg2Intra, kMpeg2Inter };

constexpr const char* kEndOfBlockZero = "10";
constexpr const char* kEndOfBlockOne = "0110";
constexpr const char* kEscapeCode = "000001";
constexpr const char* kDcSizeZero = "100";  // luminance dct_dc_size 0

// MPEG-1 escape: run, then the 8- or 16-bit level.
std::string mpeg1_escape(int run, int level) {
  std::string bits = kEscapeCode + bits_of(run, 6);
  if (level >= -127 && level <= 127) return bits + bits_of(level & 0xFF, 8);
  return bits + (level > 0 ? "00000000" : "10000000") + bits_of(level & 0xFF, 8);
}

// MPEG-2 escape: run, then the 12-bit two's-complement level.
std::string mpeg2_escape(int run, int level) {
  return kEscapeCode + bits_of(run, 6) + bits_of(level & 0xFFF, 12);
}

// dct_dc_size and dct_dc_differential for a differential.
std::string dc_bits(bool luminance, int diff) {
  int size = 0;
  while ((1 << size) <= std::abs(diff)) ++size;
  const std::string code =
      compact((luminance ? test::kDcSizeLuminance : test::kDcSizeChrominance)[size]);
  if (size == 0) return code;
  return code + bits_of(diff > 0 ? diff : diff + (1 << size) - 1, size);
}

class BlockDecoderTest : public ::testing::Test {
 public:
  void SetUp() override {
    LayerState& layer = ctx.layer;
    layer.quantiser_scale = 1;
    layer.intra_quantiser_matrix.fill(16);
    layer.non_intra_quantiser_matrix.fill(16);
    layer.chroma_intra_quantiser_matrix.fill(16);
    layer.chroma_non_intra_quantiser_matrix.fill(16);
  }

  // Decodes one block from `bits` with the reader, into a cleared block area.
  void decode(Reader reader, const std::string& bits, int comp = 0) {
    ctx.layer.mpeg2 = reader == Reader::kMpeg2Intra || reader == Reader::kMpeg2Inter;
    std::memset(ctx.layer.block, 0, sizeof ctx.layer.block);
    messages.err_text.clear();
    ctx.decode_fault = false;
    feed.reset();
    feed.emplace(ctx.layer.reader, bits);
    read_block(reader, comp);
  }

  void read_block(Reader reader, int comp) {
    switch (reader) {
      case Reader::kIntra:
        getintrablock(ctx, comp, pred);
        break;
      case Reader::kInter:
        getinterblock(ctx, comp);
        break;
      case Reader::kMpeg2Intra:
        getmpg2intrablock(ctx, comp, pred);
        break;
      case Reader::kMpeg2Inter:
        getmpg2interblock(ctx, comp);
        break;
    }
  }

  void expect_fault(const std::string& text) {
    EXPECT_TRUE(ctx.decode_fault);
    EXPECT_EQ(messages.err_text, text);
  }

  void expect_ok() {
    EXPECT_FALSE(ctx.decode_fault);
    EXPECT_EQ(messages.err_text, "");
  }

  [[nodiscard]] uint64_t consumed() const { return ctx.layer.reader.consumed_bits(); }
  [[nodiscard]] int16_t at(int raster, int comp = 0) const { return ctx.layer.block[comp][raster]; }

  // The number of non-zero coefficients of a block.
  [[nodiscard]] int nonzero(int comp = 0) const {
    return static_cast<int>(std::count_if(std::begin(ctx.layer.block[comp]),
                                          std::end(ctx.layer.block[comp]),
                                          [](int16_t v) { return v != 0; }));
  }

  CollectedMessages messages;
  DecoderContext ctx{messages};
  std::optional<BitFeed> feed;
  int pred[3] = {0, 0, 0};
};

// --- First coefficient of non-intra blocks ---------------------------------------------------

TEST_F(BlockDecoderTest, NonIntraOneOneIsRunZeroLevelMinusOne) {
  ctx.layer.quantiser_scale = 8;
  decode(Reader::kInter, std::string("11") + kEndOfBlockZero);
  expect_ok();
  EXPECT_EQ(consumed(), 4u);
  // ((2 * 1 + 1) * 8 * 16) >> 4 = 24, made odd toward zero.
  EXPECT_EQ(at(0), -23);
  EXPECT_EQ(nonzero(), 1);

  ctx.layer.quantiser_scale = 2;
  decode(Reader::kMpeg2Inter, std::string("11") + kEndOfBlockZero);
  expect_ok();
  EXPECT_EQ(at(0), -3);     // ((2 * 1 + 1) * 2 * 16) >> 5
  EXPECT_EQ(nonzero(), 1);  // odd sum: no mismatch correction
}

TEST_F(BlockDecoderTest, OnlyTheFirstNonIntraCoefficientHasTheShortForm) {
  ctx.layer.quantiser_scale = 8;
  // "10" first is run 0 level +1; "110" next is the two-bit code of run 0 level 1, then "10"
  // ends the block.
  decode(Reader::kInter, std::string("10") + "110" + kEndOfBlockZero);
  expect_ok();
  EXPECT_EQ(consumed(), 7u);
  EXPECT_EQ(at(0), 23);
  EXPECT_EQ(at(1), 23);
  EXPECT_EQ(nonzero(), 2);
  // A first code that does not begin with 1 is an ordinary one: "011 0" is run 1 level 1.
  decode(Reader::kInter, std::string("0110") + kEndOfBlockZero);
  expect_ok();
  EXPECT_EQ(at(0), 0);
  EXPECT_EQ(at(1), 23);
}

// --- Escapes ---------------------------------------------------------------------------------

TEST_F(BlockDecoderTest, Mpeg1EscapeLevels) {
  // Non-intra with quantiser scale 1 and weight 16: coefficient = 2 * level + 1, odd already.
  struct Case {
    std::string level_bits;
    int level;
  };
  const std::vector<Case> cases = {
      {"0000 0000 1100 1000", 200},
      {"1000 0000 0011 1000", -200},
      {"0111 1111", 127},
      {"1000 0001", -127},
      {"0000 0101", 5},
      {"1111 1111", -1},
      {"0000 0000 1111 1111", 255},
      {"1000 0000 0000 0001", -255},
  };
  for (const Case& c : cases) {
    const std::string bits = std::string(kEscapeCode) + "000011" + c.level_bits;
    decode(Reader::kInter, bits + kEndOfBlockZero);
    expect_ok();
    EXPECT_EQ(consumed(), compact(bits).size() + 2) << c.level_bits;
    const int magnitude = 2 * std::abs(c.level) + 1;
    EXPECT_EQ(at(kZigzagScan[3]), c.level < 0 ? -magnitude : magnitude) << c.level_bits;
    EXPECT_EQ(nonzero(), 1);
  }
}

TEST_F(BlockDecoderTest, Mpeg2EscapeLevels) {
  decode(Reader::kMpeg2Inter, mpeg2_escape(5, 0x7FF) + kEndOfBlockZero);
  expect_ok();
  EXPECT_EQ(consumed(), 26u);
  EXPECT_EQ(at(kZigzagScan[5]), 2047);  // (4095 * 16) >> 5
  decode(Reader::kMpeg2Intra, kDcSizeZero + mpeg2_escape(0, -2047) + kEndOfBlockZero);
  expect_ok();
  EXPECT_EQ(at(kZigzagScan[1]), -2047);
  decode(Reader::kMpeg2Intra, kDcSizeZero + mpeg2_escape(2, -3) + kEndOfBlockZero);
  expect_ok();
  EXPECT_EQ(at(kZigzagScan[3]), -3);
}

TEST_F(BlockDecoderTest, Mpeg2EscapeLevelsWithoutLowBitsAreInvalid) {
  // Both readers report it with the intra reader's text.
  const char* text = "invalid signed_level (escape) in getmpg2intrablock()\n";
  for (const int level : {0x800, 0}) {
    decode(Reader::kMpeg2Inter, mpeg2_escape(0, level) + kEndOfBlockZero);
    expect_fault(text);
    decode(Reader::kMpeg2Intra, kDcSizeZero + mpeg2_escape(0, level) + kEndOfBlockZero);
    expect_fault(text);
  }
}

// --- DC coefficients -------------------------------------------------------------------------

TEST_F(BlockDecoderTest, IntraDcPrecisionScalesThePredictor) {
  const std::string dc = dc_bits(true, 1500) + kEndOfBlockZero;
  ctx.vars.intra_dc_precision = 3;  // 11 bits: unshifted
  decode(Reader::kMpeg2Intra, dc);
  expect_ok();
  EXPECT_EQ(consumed(), 9u + 11u + 2u);
  EXPECT_EQ(at(0), 1500);
  EXPECT_EQ(pred[0], 1500);

  pred[0] = 0;
  ctx.vars.intra_dc_precision = 1;
  decode(Reader::kMpeg2Intra, dc_bits(true, 300) + kEndOfBlockZero);
  EXPECT_EQ(at(0), 1200);

  pred[0] = 0;
  ctx.vars.intra_dc_precision = 0;
  decode(Reader::kMpeg2Intra, dc_bits(true, -5) + kEndOfBlockZero);
  EXPECT_EQ(at(0), -40);
  // MPEG-1 ignores intra_dc_precision: always times 8.
  pred[0] = 0;
  ctx.vars.intra_dc_precision = 3;
  decode(Reader::kIntra, dc_bits(true, -5) + kEndOfBlockZero);
  EXPECT_EQ(at(0), -40);
}

TEST_F(BlockDecoderTest, DcPredictorsFollowTheColourComponent) {
  ctx.vars.chroma_format = 2;
  ctx.vars.intra_dc_precision = 3;
  pred[0] = 10;
  pred[1] = 20;
  pred[2] = 30;
  const int diffs[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  for (int comp = 0; comp < 8; ++comp) {
    decode(Reader::kMpeg2Intra, dc_bits(comp < 4, diffs[comp]) + kEndOfBlockZero, comp);
    expect_ok();
  }
  EXPECT_EQ(pred[0], 10 + 1 + 2 + 3 + 4);
  EXPECT_EQ(pred[1], 20 + 5 + 7);  // Cb: blocks 4 and 6
  EXPECT_EQ(pred[2], 30 + 6 + 8);  // Cr: blocks 5 and 7
  EXPECT_EQ(at(0, 7), 30 + 6 + 8);
}

TEST_F(BlockDecoderTest, DcDifferentialOfEverySize) {
  for (const bool luminance : {true, false}) {
    for (int size = 0; size <= 11; ++size) {
      std::vector<int> diffs = {0};
      if (size > 0) {
        const int low = 1 << (size - 1);
        const int high = (1 << size) - 1;
        diffs = {low, high, -low, -high, (low + high) / 2, -(low + high) / 2};
      }
      for (const int diff : diffs) {
        const std::string bits = dc_bits(luminance, diff);
        feed.reset();
        feed.emplace(ctx.layer.reader, bits + "1111 0000");
        const int got = luminance ? get_luminance_dc_diff(ctx) : get_chrominance_dc_diff(ctx);
        EXPECT_EQ(got, diff) << (luminance ? "luminance " : "chrominance ") << bits;
        EXPECT_EQ(consumed(), bits.size()) << bits;
        EXPECT_EQ(ctx.layer.reader.read_bits(4), 0xFu);
      }
    }
  }
  EXPECT_FALSE(ctx.decode_fault);
}

TEST_F(BlockDecoderTest, DPictureBlocksHoldTheDcAlone) {
  pred[0] = 100;
  pred[1] = 50;
  pred[2] = 60;
  // Four luminance and two chrominance DC codes back to back, nothing between them.
  const std::string bits = dc_bits(true, 3) + dc_bits(true, 0) + dc_bits(true, -7) +
                           dc_bits(true, 255) + dc_bits(false, -1) + dc_bits(false, -2);
  feed.emplace(ctx.layer.reader, bits + "1");
  std::memset(ctx.layer.block, 0, sizeof ctx.layer.block);
  for (int comp = 0; comp < 6; ++comp) getdcblock(ctx, comp, pred);
  EXPECT_FALSE(ctx.decode_fault);
  EXPECT_EQ(consumed(), bits.size());
  EXPECT_EQ(ctx.layer.reader.read_bit(), 1);
  const int expected_dc[6] = {103 * 8, 103 * 8, 96 * 8, 351 * 8, 49 * 8, 58 * 8};
  for (int comp = 0; comp < 6; ++comp) {
    EXPECT_EQ(at(0, comp), std::min(expected_dc[comp], 2047)) << comp;
    EXPECT_EQ(nonzero(comp), 1) << comp;
  }
  EXPECT_EQ(pred[0], 351);
  EXPECT_EQ(pred[1], 49);
  EXPECT_EQ(pred[2], 58);
}

// --- Scans -----------------------------------------------------------------------------------

TEST_F(BlockDecoderTest, AlternateScan) {
  // DC, then run 1 level 1: scan position 2.
  const std::string bits = std::string(kDcSizeZero) + "0110" + kEndOfBlockZero;
  ctx.layer.alternate_scan = 1;
  decode(Reader::kMpeg2Intra, bits);
  expect_ok();
  EXPECT_EQ(at(16), 1);
  ctx.layer.alternate_scan = 0;
  decode(Reader::kMpeg2Intra, bits);
  EXPECT_EQ(at(8), 1);
  // MPEG-1 has only the zigzag scan.
  ctx.layer.alternate_scan = 1;
  decode(Reader::kIntra, bits);
  EXPECT_EQ(at(8), 1);
}

// --- Inverse quantisation --------------------------------------------------------------------

// DC size 0; (0,2) at scan position 1 (raster 1); run 3 level -1 at position 5 (raster 2);
// (0,3) at position 6 (raster 3).
const std::string kIntraCoefficients =
    std::string(kDcSizeZero) + "0100 0" + "0011 1 1" + "0010 1 0";

TEST_F(BlockDecoderTest, IntraDequantisationWithTheDefaultMatrix) {
  std::copy(kDefaultIntraQuantiserMatrix.begin(), kDefaultIntraQuantiserMatrix.end(),
            ctx.layer.intra_quantiser_matrix.begin());
  ctx.layer.quantiser_scale = 5;
  decode(Reader::kIntra, kIntraCoefficients + kEndOfBlockZero);
  expect_ok();
  EXPECT_EQ(at(1), 19);   // (2 * 5 * 16) >> 3 = 20, made odd toward zero
  EXPECT_EQ(at(2), -11);  // (1 * 5 * 19) >> 3 = 11
  EXPECT_EQ(at(3), 41);   // (3 * 5 * 22) >> 3 = 41
  EXPECT_EQ(nonzero(), 3);

  decode(Reader::kMpeg2Intra, kIntraCoefficients + kEndOfBlockZero);
  expect_ok();
  EXPECT_EQ(at(1), 10);  // (2 * 5 * 16) >> 4
  EXPECT_EQ(at(2), -5);  // (1 * 5 * 19) >> 4
  EXPECT_EQ(at(3), 20);  // (3 * 5 * 22) >> 4
  EXPECT_EQ(at(63), 0);  // odd sum
}

TEST_F(BlockDecoderTest, NonIntraDequantisation) {
  ctx.layer.non_intra_quantiser_matrix[1] = 20;
  ctx.layer.non_intra_quantiser_matrix[2] = 33;
  ctx.layer.quantiser_scale = 5;
  // (0,2) at position 0, (0,-1) at 1, (3,1) at 5 (raster 2).
  const std::string bits = std::string("0100 0") + "11 1" + "0011 1 0" + kEndOfBlockZero;
  decode(Reader::kInter, bits);
  expect_ok();
  EXPECT_EQ(at(0), 25);   // (5 * 5 * 16) >> 4 = 25
  EXPECT_EQ(at(1), -17);  // (3 * 5 * 20) >> 4 = 18, made odd toward zero
  EXPECT_EQ(at(2), 29);   // (3 * 5 * 33) >> 4 = 30, made odd toward zero
  EXPECT_EQ(nonzero(), 3);

  decode(Reader::kMpeg2Inter, bits);
  expect_ok();
  EXPECT_EQ(at(0), 12);  // (5 * 5 * 16) >> 5
  EXPECT_EQ(at(1), -9);  // (3 * 5 * 20) >> 5
  EXPECT_EQ(at(2), 15);  // (3 * 5 * 33) >> 5
  EXPECT_EQ(at(63), 1);  // even sum 18: the last coefficient is toggled
}

TEST_F(BlockDecoderTest, Mpeg1ComputedZeroStaysZero) {
  ctx.layer.intra_quantiser_matrix[1] = 1;
  decode(Reader::kIntra, std::string(kDcSizeZero) + "11 0" + kEndOfBlockZero);
  expect_ok();
  EXPECT_EQ(at(1), 0);  // (1 * 1 * 1) >> 3 = 0: no oddification of a zero
}

TEST_F(BlockDecoderTest, Mpeg2ChromaBlocksUseTheChromaMatrices) {
  ctx.layer.chroma_intra_quantiser_matrix.fill(32);
  ctx.layer.chroma_non_intra_quantiser_matrix.fill(32);
  const std::string intra_chroma = std::string("00") + "0010 1 0" + kEndOfBlockZero;
  const std::string inter = std::string("1 0") + kEndOfBlockZero;
  ctx.vars.chroma_format = 2;
  decode(Reader::kMpeg2Intra, intra_chroma, 4);
  EXPECT_EQ(at(1, 4), 6);  // (3 * 32) >> 4
  decode(Reader::kMpeg2Intra, std::string(kDcSizeZero) + "0010 1 0" + kEndOfBlockZero, 3);
  EXPECT_EQ(at(1, 3), 3);  // luminance: (3 * 16) >> 4
  decode(Reader::kMpeg2Inter, inter, 5);
  EXPECT_EQ(at(0, 5), 3);  // (3 * 32) >> 5
  // 4:2:0 streams use the luminance matrices for every block, and MPEG-1 always.
  ctx.vars.chroma_format = 1;
  decode(Reader::kMpeg2Intra, intra_chroma, 4);
  EXPECT_EQ(at(1, 4), 3);
  decode(Reader::kMpeg2Inter, inter, 5);
  EXPECT_EQ(at(0, 5), 1);  // (3 * 16) >> 5
  ctx.vars.chroma_format = 2;
  decode(Reader::kInter, inter, 5);
  EXPECT_EQ(at(0, 5), 3);  // (3 * 16) >> 4
}

// --- Saturation and mismatch control ---------------------------------------------------------

TEST_F(BlockDecoderTest, CoefficientsSaturate) {
  ctx.layer.intra_quantiser_matrix.fill(255);
  ctx.layer.non_intra_quantiser_matrix.fill(255);
  ctx.layer.quantiser_scale = 112;
  decode(Reader::kMpeg2Intra,
         kDcSizeZero + mpeg2_escape(0, 2047) + mpeg2_escape(0, -2047) + kEndOfBlockZero);
  expect_ok();
  EXPECT_EQ(at(1), 2047);
  EXPECT_EQ(at(8), -2048);
  EXPECT_EQ(at(63), 0);  // sum -1
  decode(Reader::kMpeg2Inter, mpeg2_escape(0, -2047) + kEndOfBlockZero);
  EXPECT_EQ(at(0), -2048);

  ctx.layer.quantiser_scale = 31;
  decode(Reader::kIntra,
         kDcSizeZero + mpeg1_escape(0, 255) + mpeg1_escape(0, -255) + kEndOfBlockZero);
  expect_ok();
  EXPECT_EQ(at(1), 2047);
  EXPECT_EQ(at(8), -2048);
  decode(Reader::kInter, mpeg1_escape(0, 200) + mpeg1_escape(0, -200) + kEndOfBlockZero);
  EXPECT_EQ(at(0), 2047);
  EXPECT_EQ(at(1), -2048);

  // The DC coefficient too.
  decode(Reader::kMpeg2Intra, dc_bits(true, 1500) + kEndOfBlockZero);
  EXPECT_EQ(at(0), 2047);
}

TEST_F(BlockDecoderTest, Mpeg2MismatchControl) {
  ctx.vars.intra_dc_precision = 3;
  struct Case {
    int dc;
    int level;  // at position 63, 0 for none
    int last;   // expected coefficient 63
  };
  const std::vector<Case> cases = {
      {0, 0, 1}, {1, 0, 0}, {0, 4, 5}, {0, -4, -3}, {0, -3, -3}, {1, 2047, 2046}, {2, 7, 7},
  };
  for (const Case& c : cases) {
    pred[0] = 0;
    std::string bits = dc_bits(true, c.dc);
    if (c.level != 0) bits += mpeg2_escape(62, c.level);
    decode(Reader::kMpeg2Intra, bits + kEndOfBlockZero);
    expect_ok();
    EXPECT_EQ(at(0), c.dc);
    EXPECT_EQ(at(63), c.last) << c.dc << " " << c.level;
  }
  ctx.layer.quantiser_scale = 4;
  decode(Reader::kMpeg2Inter, std::string("1 0") + kEndOfBlockZero);
  EXPECT_EQ(at(0), 6);
  EXPECT_EQ(at(63), 1);
  // MPEG-1 has no mismatch control.
  pred[0] = 0;
  decode(Reader::kIntra, std::string(kDcSizeZero) + kEndOfBlockZero);
  EXPECT_EQ(nonzero(), 0);
}

// --- Invalid codes ---------------------------------------------------------------------------

TEST_F(BlockDecoderTest, RunPastTheLastCoefficientIsInvalid) {
  decode(Reader::kMpeg2Intra, kDcSizeZero + mpeg2_escape(62, 1) + kEndOfBlockZero);
  expect_ok();
  EXPECT_EQ(at(63), 1);
  decode(Reader::kMpeg2Intra, kDcSizeZero + mpeg2_escape(63, 1) + kEndOfBlockZero);
  expect_fault("invalid Huffman code in getmpg2intrablock()\n");
  EXPECT_EQ(nonzero(), 0);
  decode(Reader::kIntra, kDcSizeZero + mpeg1_escape(63, 1) + kEndOfBlockZero);
  expect_fault("invalid Huffman code in getintrablock()\n");

  // 64 coefficients fill the block; a 65th is invalid and is not written anywhere.
  std::string full = "1 0";
  for (int i = 1; i < 64; ++i) full += "11 0";
  decode(Reader::kInter, full + kEndOfBlockZero);
  expect_ok();
  EXPECT_EQ(nonzero(), 64);
  decode(Reader::kInter, full + "11 0" + kEndOfBlockZero);
  expect_fault("invalid Huffman code in getinterblock()\n");
  EXPECT_EQ(nonzero(), 64);
  EXPECT_EQ(nonzero(1), 0);

  // Run 31 three times: positions 31 and 63, then past the end.
  const std::string run31 = "0000 0000 0001 1011 0";
  decode(Reader::kMpeg2Inter, run31 + run31 + kEndOfBlockZero);
  expect_ok();
  EXPECT_EQ(at(kZigzagScan[31]), 1);
  decode(Reader::kMpeg2Inter, run31 + run31 + run31 + kEndOfBlockZero);
  expect_fault("invalid Huffman code in getmpg2interblock()\n");
}

TEST_F(BlockDecoderTest, TwelveLeadingZerosAreInvalidInEveryReader) {
  const std::string zeros = "0000 0000 0000";
  decode(Reader::kIntra, kDcSizeZero + zeros);
  expect_fault("invalid Huffman code in getintrablock()\n");
  decode(Reader::kInter, zeros);
  expect_fault("invalid Huffman code in getinterblock()\n");
  decode(Reader::kMpeg2Intra, kDcSizeZero + zeros);
  expect_fault("invalid Huffman code in getmpg2intrablock()\n");
  decode(Reader::kMpeg2Inter, zeros);
  expect_fault("invalid Huffman code in getmpg2interblock()\n");
  // The coefficients before the invalid code stay.
  decode(Reader::kInter, "1 0" + zeros + "1111");
  expect_fault("invalid Huffman code in getinterblock()\n");
  EXPECT_EQ(at(0), 3);
}

TEST_F(BlockDecoderTest, TableOneOnlyForMpeg2IntraBlocks) {
  ctx.vars.intra_vlc_format = 1;
  // "0000 0001 0000" is run 0 level 11 in Table B-14 and no code in Table B-15.
  const std::string bits = "0000 0001 0000 0";
  decode(Reader::kMpeg2Intra, kDcSizeZero + bits + kEndOfBlockOne);
  expect_fault("invalid Huffman code in getmpg2intrablock()\n");
  decode(Reader::kMpeg2Inter, bits + kEndOfBlockZero);
  expect_ok();
  EXPECT_EQ(at(0), 11);  // (23 * 16) >> 5
  decode(Reader::kIntra, kDcSizeZero + bits + kEndOfBlockZero);
  expect_ok();
  EXPECT_EQ(at(1), 21);  // (11 * 16) >> 3 = 22, made odd
  decode(Reader::kMpeg2Intra, std::string(kDcSizeZero) + "0111 1" + kEndOfBlockOne);
  expect_ok();
  EXPECT_EQ(at(1), -3);  // Table B-15: "0111 s" is run 0 level 3
}

// --- Long streams ----------------------------------------------------------------------------

// Run/level codes of a table by pair, without the sign bit.
std::map<std::pair<int, int>, std::string> codes_by_pair(
    const std::vector<test::ListedDct>& table) {
  std::map<std::pair<int, int>, std::string> codes;
  for (const test::ListedDct& code : table) {
    if (code.run >= 0) codes[{code.run, code.level}] = compact(code.code);
  }
  return codes;
}

// The standard's reconstruction (ISO/IEC 11172-2 2.4.4, ISO/IEC 13818-2 7.4) of an AC or
// non-intra level, without mismatch control.
int reference_coefficient(bool mpeg2, bool intra, int level, int quantiser_scale, int weight) {
  const int sign = level < 0 ? -1 : 1;
  int value = (2 * level + (intra ? 0 : sign)) * quantiser_scale * weight / (mpeg2 ? 32 : 16);
  if (!mpeg2 && value % 2 == 0) value -= sign;
  return std::clamp(value, -2048, 2047);
}

// Writes random blocks for one reader, keeping what each must decode to, then decodes them all
// from one stream (long enough to cross the reader's buffer refills).
void round_trip(BlockDecoderTest& t, Reader reader, bool table_one, uint32_t seed) {
  const bool mpeg2 = reader == Reader::kMpeg2Intra || reader == Reader::kMpeg2Inter;
  const bool intra = reader == Reader::kIntra || reader == Reader::kMpeg2Intra;
  const bool use_one = mpeg2 && intra && table_one;
  const auto codes = codes_by_pair(use_one ? test::table_one() : test::kTableZero);
  std::vector<std::pair<int, int>> pairs;
  for (const auto& [pair, code] : codes) pairs.push_back(pair);
  std::mt19937 random(seed);
  auto uniform = [&](int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random);
  };

  DecoderContext& ctx = t.ctx;
  LayerState& layer = ctx.layer;
  ctx.vars.intra_vlc_format = table_one ? 1 : 0;
  ctx.vars.intra_dc_precision = mpeg2 ? uniform(0, 3) : 0;
  ctx.vars.chroma_format = mpeg2 ? 2 : 1;
  layer.alternate_scan = mpeg2 ? uniform(0, 1) : 0;
  layer.quantiser_scale = uniform(1, 31);
  for (auto* matrix :
       {&layer.intra_quantiser_matrix, &layer.non_intra_quantiser_matrix,
        &layer.chroma_intra_quantiser_matrix, &layer.chroma_non_intra_quantiser_matrix}) {
    for (int& weight : *matrix) weight = uniform(8, 64);
  }
  const uint8_t* scan = layer.alternate_scan ? kAlternateScan.data() : kZigzagScan.data();
  const int blocks_per_macroblock = mpeg2 ? 8 : 6;

  constexpr int kBlocks = 12000;
  std::string bits;
  std::vector<std::array<int16_t, 64>> expected(kBlocks);
  int dc_pred[3] = {0, 0, 0};
  for (int n = 0; n < kBlocks; ++n) {
    const int comp = n % blocks_per_macroblock;
    const bool chroma_matrix = mpeg2 && comp >= 4;
    const auto& matrix =
        intra ? (chroma_matrix ? layer.chroma_intra_quantiser_matrix : layer.intra_quantiser_matrix)
              : (chroma_matrix ? layer.chroma_non_intra_quantiser_matrix
                               : layer.non_intra_quantiser_matrix);
    std::array<int16_t, 64>& block = expected[n];
    block.fill(0);
    int i = 0;
    if (intra) {
      int& p = dc_pred[comp < 4 ? 0 : 1 + (comp & 1)];
      const int limit = (1 << (8 + ctx.vars.intra_dc_precision)) - 1;
      const int diff = uniform(-p, limit - p);
      p += diff;
      bits += dc_bits(comp < 4, diff);
      block[0] = static_cast<int16_t>(p << (mpeg2 ? 3 - ctx.vars.intra_dc_precision : 3));
      i = 1;
    }
    const int count = uniform(intra ? 0 : 1, 12);
    for (int k = 0; k < count && i < 64; ++k) {
      int run;
      int level;
      std::string code;
      if (uniform(0, 9) < 8) {
        const auto [r, l] = pairs[uniform(0, static_cast<int>(pairs.size()) - 1)];
        if (i + r > 63) continue;
        run = r;
        level = uniform(0, 1) ? -l : l;
        if (!intra && i == 0 && run == 0 && l == 1) {
          code = std::string("1") + (level < 0 ? "1" : "0");
        } else {
          code = codes.at({r, l}) + (level < 0 ? "1" : "0");
        }
      } else {
        run = uniform(0, 63 - i);
        const int max = mpeg2 ? 2047 : 255;
        level = uniform(1, max) * (uniform(0, 1) ? -1 : 1);
        code = mpeg2 ? mpeg2_escape(run, level) : mpeg1_escape(run, level);
      }
      bits += code;
      i += run;
      const int j = scan[i];
      block[j] = static_cast<int16_t>(
          reference_coefficient(mpeg2, intra, level, layer.quantiser_scale, matrix[j]));
      ++i;
    }
    bits += use_one ? kEndOfBlockOne : kEndOfBlockZero;
    if (mpeg2) {
      int sum = 0;
      for (const int16_t v : block) sum += v;
      if (sum % 2 == 0) block[63] ^= 1;
    }
  }

  t.feed.reset();
  t.feed.emplace(layer.reader, bits);
  t.pred[0] = t.pred[1] = t.pred[2] = 0;
  for (int n = 0; n < kBlocks; ++n) {
    const int comp = n % blocks_per_macroblock;
    std::memset(layer.block[comp], 0, sizeof layer.block[comp]);
    t.read_block(reader, comp);
    ASSERT_FALSE(ctx.decode_fault) << "block " << n;
    for (int j = 0; j < 64; ++j) {
      ASSERT_EQ(layer.block[comp][j], expected[n][j]) << "block " << n << " position " << j;
    }
  }
  EXPECT_EQ(t.consumed(), compact(bits).size());
  EXPECT_GT(bits.size(), 8u * 65536u);  // beyond one buffer of the reader
}

TEST_F(BlockDecoderTest, RandomBitsStayInsideTheBlock) {
  std::mt19937 random(11);
  std::string bits;
  for (int i = 0; i < 400000; ++i) bits += (random() & 1) ? '1' : '0';
  ctx.vars.chroma_format = 2;
  ctx.layer.quantiser_scale = 112;
  ctx.layer.intra_quantiser_matrix.fill(255);
  ctx.layer.non_intra_quantiser_matrix.fill(255);
  for (const Reader reader :
       {Reader::kIntra, Reader::kInter, Reader::kMpeg2Intra, Reader::kMpeg2Inter}) {
    decode(reader, "");
    feed.reset();
    feed.emplace(ctx.layer.reader, bits);
    ctx.vars.intra_vlc_format = reader == Reader::kMpeg2Intra;
    int faults = 0;
    for (int n = 0; n < 3000; ++n) {
      const int comp = 1 + n % 10;
      std::memset(ctx.layer.block, 0, sizeof ctx.layer.block);
      ctx.decode_fault = false;
      read_block(reader, comp);
      faults += ctx.decode_fault;
      for (int other = 0; other < 12; ++other) {
        if (other != comp) {
          ASSERT_EQ(nonzero(other), 0) << n;
        }
      }
      for (const int16_t v : ctx.layer.block[comp]) {
        ASSERT_GE(v, -2048);
        ASSERT_LE(v, 2047);
      }
    }
    EXPECT_GT(faults, 0);
  }
}

TEST_F(BlockDecoderTest, LongStreamsOfRandomBlocks) {
  round_trip(*this, Reader::kIntra, false, 1);
  round_trip(*this, Reader::kInter, false, 2);
  round_trip(*this, Reader::kMpeg2Intra, false, 3);
  round_trip(*this, Reader::kMpeg2Intra, true, 4);
  round_trip(*this, Reader::kMpeg2Inter, true, 5);
}

}  // namespace
}  // namespace tavik
