#include "decoder/picture/block_decoder.h"

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

#include "base/messages.h"
#include "decoder/syntax/decoder_state.h"
#include "decoder/syntax/scan_tables.h"
#include "support/annex_b_codes.h"
#include "support/bit_feed.h"

namespace tavik {
namespace {

using test::BitFeed;
using test::bits_of;
using test::compact;

enum class Reader { kIntra, kInter, kMpeg2Intra, kMpeg2Inter };
constexpr Reader kReaders[] = {Reader::kIntra, Reader::kInter, Reader::kMpeg2Intra,
                               Reader::kMpeg2Inter};

[[nodiscard]] bool is_mpeg2(Reader r) {
  return r == Reader::kMpeg2Intra || r == Reader::kMpeg2Inter;
}
[[nodiscard]] bool is_intra(Reader r) {
  return r == Reader::kIntra || r == Reader::kMpeg2Intra;
}

[[nodiscard]] std::string huffman_fault(Reader r) {
  const char* names[] = {"getintrablock", "getinterblock", "getmpg2intrablock",
                         "getmpg2interblock"};
  return std::string("invalid Huffman code in ") + names[static_cast<int>(r)] + "()\n";
}

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
    ctx.layer.mpeg2 = is_mpeg2(reader);
    ctx.layer.rescale_matrices();
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
        return getintrablock(ctx, comp, pred);
      case Reader::kInter:
        return getinterblock(ctx, comp);
      case Reader::kMpeg2Intra:
        return getmpg2intrablock(ctx, comp, pred);
      case Reader::kMpeg2Inter:
        return getmpg2interblock(ctx, comp);
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

// --- DC coefficients -------------------------------------------------------------------------

TEST_F(BlockDecoderTest, IntraDcPrecisionScalesMpeg2DcOnly) {
  struct Case {
    Reader reader;
    int precision, diff, expected;
  };
  const Case cases[] = {
      {Reader::kMpeg2Intra, 3, 1500, 1500},  // 11 bits: unshifted
      {Reader::kMpeg2Intra, 1, 300, 1200},  {Reader::kMpeg2Intra, 0, -5, -40},
      {Reader::kMpeg2Intra, 0, 1500, 2047},  // saturated
      {Reader::kIntra, 3, -5, -40},          // MPEG-1: always times 8
  };
  for (const Case& c : cases) {
    pred[0] = 0;
    ctx.vars.intra_dc_precision = c.precision;
    decode(c.reader, dc_bits(true, c.diff) + kEndOfBlockZero);
    expect_ok();
    EXPECT_EQ(consumed(), dc_bits(true, c.diff).size() + 2);
    EXPECT_EQ(at(0), c.expected) << c.diff;
    EXPECT_EQ(pred[0], c.diff);
  }
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
  const int expected_dc[6] = {103 * 8, 103 * 8, 96 * 8, 2047, 49 * 8, 58 * 8};
  for (int comp = 0; comp < 6; ++comp) {
    EXPECT_EQ(at(0, comp), expected_dc[comp]) << comp;
    EXPECT_EQ(nonzero(comp), 1) << comp;
  }
  EXPECT_EQ(pred[0], 351);
  EXPECT_EQ(pred[1], 49);
  EXPECT_EQ(pred[2], 58);
}

// --- Scan, inverse quantisation, saturation, mismatch control --------------------------------

// The long streams below check the MPEG-2 controls where they apply; these are the cases where
// they do not.
TEST_F(BlockDecoderTest, ControlsThatDoNotApply) {
  // DC, then run 1 level 1: scan position 2, zigzag in MPEG-1 whatever alternate_scan says.
  const std::string bits = std::string(kDcSizeZero) + "0110" + kEndOfBlockZero;
  ctx.layer.alternate_scan = 1;
  decode(Reader::kIntra, bits);
  EXPECT_EQ(at(8), 1);
  ctx.layer.alternate_scan = 0;
  // No mismatch control in MPEG-1: an all-zero block stays so.
  decode(Reader::kIntra, std::string(kDcSizeZero) + kEndOfBlockZero);
  EXPECT_EQ(nonzero(), 0);
  // The chroma matrices serve MPEG-2 chroma blocks of 4:2:2 and 4:4:4 only.
  ctx.layer.chroma_intra_quantiser_matrix.fill(32);
  ctx.layer.chroma_non_intra_quantiser_matrix.fill(32);
  const std::string inter = std::string("1 0") + kEndOfBlockZero;  // run 0 level 1
  ctx.vars.chroma_format = 2;
  decode(Reader::kInter, inter, 5);
  EXPECT_EQ(at(0, 5), 3);  // (3 * 16) >> 4
  ctx.vars.chroma_format = 1;
  decode(Reader::kMpeg2Intra, std::string("00 0010 1 0") + kEndOfBlockZero, 4);
  EXPECT_EQ(at(1, 4), 3);  // (3 * 16) >> 4
  decode(Reader::kMpeg2Inter, inter, 5);
  EXPECT_EQ(at(0, 5), 1);  // (3 * 16) >> 5
  // An MPEG-1 level that computes to 0 is not made odd: (1 * 1 * 1) >> 3 = 0.
  ctx.layer.intra_quantiser_matrix[1] = 1;
  decode(Reader::kIntra, std::string(kDcSizeZero) + "11 0" + kEndOfBlockZero);
  expect_ok();
  EXPECT_EQ(nonzero(), 0);
}

TEST_F(BlockDecoderTest, Mpeg2MismatchControl) {
  ctx.vars.intra_dc_precision = 3;
  struct Case {
    int dc;
    int level;  // at position 63, 0 for none
    int last;   // expected coefficient 63
  };
  const Case cases[] = {
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
}

// --- Invalid codes ---------------------------------------------------------------------------

TEST_F(BlockDecoderTest, RunPastTheLastCoefficientIsInvalid) {
  decode(Reader::kMpeg2Intra, kDcSizeZero + mpeg2_escape(62, 1) + kEndOfBlockZero);
  expect_ok();
  EXPECT_EQ(at(63), 1);
  decode(Reader::kMpeg2Intra, kDcSizeZero + mpeg2_escape(63, 1) + kEndOfBlockZero);
  expect_fault(huffman_fault(Reader::kMpeg2Intra));
  EXPECT_EQ(nonzero(), 0);
  decode(Reader::kIntra, kDcSizeZero + mpeg1_escape(63, 1) + kEndOfBlockZero);
  expect_fault(huffman_fault(Reader::kIntra));

  // 64 coefficients fill the block; a 65th is invalid and is not written anywhere.
  std::string full = "1 0";
  for (int i = 1; i < 64; ++i) full += "11 0";
  decode(Reader::kInter, full + kEndOfBlockZero);
  expect_ok();
  EXPECT_EQ(nonzero(), 64);
  decode(Reader::kInter, full + "11 0" + kEndOfBlockZero);
  expect_fault(huffman_fault(Reader::kInter));
  EXPECT_EQ(nonzero(), 64);
  EXPECT_EQ(nonzero(1), 0);

  // Run 31 three times: positions 31 and 63, then past the end.
  const std::string run31 = "0000 0000 0001 1011 0";
  decode(Reader::kMpeg2Inter, run31 + run31 + kEndOfBlockZero);
  expect_ok();
  EXPECT_EQ(at(kZigzagScan[31]), 1);
  decode(Reader::kMpeg2Inter, run31 + run31 + run31 + kEndOfBlockZero);
  expect_fault(huffman_fault(Reader::kMpeg2Inter));
}

TEST_F(BlockDecoderTest, TwelveLeadingZerosAreInvalidInEveryReader) {
  for (const Reader reader : kReaders) {
    decode(reader, (is_intra(reader) ? kDcSizeZero : "") + std::string("0000 0000 0000"));
    expect_fault(huffman_fault(reader));
  }
  // The coefficients before the invalid code stay.
  decode(Reader::kInter, "1 0 0000 0000 0000 1111");
  expect_fault(huffman_fault(Reader::kInter));
  EXPECT_EQ(at(0), 3);
}

TEST_F(BlockDecoderTest, Mpeg2EscapeLevelsWithoutLowBitsAreInvalid) {
  // Both readers report it with the intra reader's text.
  for (const int level : {0x800, 0}) {
    for (const Reader reader : {Reader::kMpeg2Inter, Reader::kMpeg2Intra}) {
      const std::string dc = reader == Reader::kMpeg2Intra ? kDcSizeZero : "";
      decode(reader, dc + mpeg2_escape(0, level) + kEndOfBlockZero);
      expect_fault("invalid signed_level (escape) in getmpg2intrablock()\n");
    }
  }
}

// --- Long streams ----------------------------------------------------------------------------

// The standard's reconstruction (ISO/IEC 11172-2 2.4.4, ISO/IEC 13818-2 7.4) of an AC or
// non-intra level, without mismatch control.
int reference_coefficient(bool mpeg2, bool intra, int level, int quantiser_scale, int weight) {
  const int sign = level < 0 ? -1 : 1;
  int value = (2 * level + (intra ? 0 : sign)) * quantiser_scale * weight / (mpeg2 ? 32 : 16);
  if (!mpeg2 && value % 2 == 0) value -= sign;
  return std::clamp(value, -2048, 2047);
}

// Writes random blocks for one reader, keeping what each must decode to, then decodes them all
// from one stream (long enough to cross the reader's buffer refills). The blocks use every code,
// escapes, the short first non-intra code, DC differentials of every size, both DC predictor
// sets, the chroma matrices and both scans; dequantisation, saturation and mismatch control
// follow the standard's formulas.
void round_trip(BlockDecoderTest& t, Reader reader, bool intra_vlc_format, uint32_t seed) {
  const bool mpeg2 = is_mpeg2(reader);
  const bool intra = is_intra(reader);
  const bool use_one = mpeg2 && intra && intra_vlc_format;  // MPEG-1 and inter ignore it
  std::map<std::pair<int, int>, std::string> codes;
  for (const test::ListedDct& code : use_one ? test::table_one() : test::kTableZero) {
    if (code.run >= 0) codes[{code.run, code.level}] = compact(code.code);
  }
  std::vector<std::pair<int, int>> pairs;
  for (const auto& [pair, code] : codes) pairs.push_back(pair);
  std::mt19937 random(seed);
  auto uniform = [&](int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random);
  };

  DecoderContext& ctx = t.ctx;
  LayerState& layer = ctx.layer;
  ctx.vars.intra_vlc_format = intra_vlc_format;
  ctx.vars.intra_dc_precision = mpeg2 ? static_cast<int>(seed % 4) : 0;
  ctx.vars.chroma_format = mpeg2 ? 2 : 1;
  layer.alternate_scan = mpeg2 ? static_cast<int>(seed % 2) : 0;
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
        const bool short_form = !intra && i == 0 && run == 0 && l == 1;
        code = (short_form ? "1" : codes.at({r, l})) + (level < 0 ? "1" : "0");
      } else {
        run = uniform(0, 63 - i);
        level = uniform(1, mpeg2 ? 2047 : 255) * (uniform(0, 1) ? -1 : 1);
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

TEST_F(BlockDecoderTest, LongStreamsOfRandomBlocks) {
  // Seeds 3, 4 and 5 give intra_dc_precision 3, 0 and 1, alternate_scan 1, 0 and 1.
  round_trip(*this, Reader::kIntra, true, 1);
  round_trip(*this, Reader::kInter, true, 2);
  round_trip(*this, Reader::kMpeg2Intra, false, 3);
  round_trip(*this, Reader::kMpeg2Intra, true, 4);
  round_trip(*this, Reader::kMpeg2Inter, true, 5);
}

TEST_F(BlockDecoderTest, RandomBitsStayInsideTheBlock) {
  std::mt19937 random(11);
  std::string bits;
  for (int i = 0; i < 400000; ++i) bits += (random() & 1) ? '1' : '0';
  ctx.vars.chroma_format = 2;
  ctx.layer.quantiser_scale = 112;
  ctx.layer.intra_quantiser_matrix.fill(255);
  ctx.layer.non_intra_quantiser_matrix.fill(255);
  for (const Reader reader : kReaders) {
    ctx.vars.intra_vlc_format = reader == Reader::kMpeg2Intra;
    decode(reader, bits);
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

}  // namespace
}  // namespace tavik
