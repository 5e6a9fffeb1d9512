#include "decoder/vlc_tables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "analysis/messages.h"
#include "decoder/block_decoder.h"
#include "decoder/decoder_state.h"
#include "decoder/macroblock_vlc.h"
#include "decoder/scan_tables.h"
#include "support/annex_b_codes.h"
#include "support/bit_feed.h"

namespace tavik {
namespace {

using test::BitFeed;
using test::compact;
using test::kDcSizeChrominance;
using test::kDcSizeLuminance;
using test::kEob;
using test::kEsc;
using test::kTableOneShort;
using test::kTableZero;
using test::ListedDct;
using test::table_one;

// The macroblock-layer code tables as the standard prints them, bit strings grouped by four.

struct Listed {
  const char* code;
  int value;
};

// Table B-1.
const std::vector<Listed> kAddressIncrement = {
    {"1", 1},
    {"011", 2},
    {"010", 3},
    {"0011", 4},
    {"0010", 5},
    {"0001 1", 6},
    {"0001 0", 7},
    {"0000 111", 8},
    {"0000 110", 9},
    {"0000 1011", 10},
    {"0000 1010", 11},
    {"0000 1001", 12},
    {"0000 1000", 13},
    {"0000 0111", 14},
    {"0000 0110", 15},
    {"0000 0101 11", 16},
    {"0000 0101 10", 17},
    {"0000 0101 01", 18},
    {"0000 0101 00", 19},
    {"0000 0100 11", 20},
    {"0000 0100 10", 21},
    {"0000 0100 011", 22},
    {"0000 0100 010", 23},
    {"0000 0100 001", 24},
    {"0000 0100 000", 25},
    {"0000 0011 111", 26},
    {"0000 0011 110", 27},
    {"0000 0011 101", 28},
    {"0000 0011 100", 29},
    {"0000 0011 011", 30},
    {"0000 0011 010", 31},
    {"0000 0011 001", 32},
    {"0000 0011 000", 33},
};
constexpr const char* kStuffing = "0000 0001 111";
constexpr const char* kEscapeCode = "0000 0001 000";

// Tables B-2, B-3, B-4 and the D-picture type, by picture_coding_type.
const std::map<int, std::vector<Listed>> kMacroblockTypes = {
    {1, {{"1", 1}, {"01", 17}}},
    {2,
     {{"1", 10},
      {"01", 2},
      {"001", 8},
      {"0001 1", 1},
      {"0001 0", 26},
      {"0000 1", 18},
      {"0000 01", 17}}},
    {3,
     {{"10", 12},
      {"11", 14},
      {"010", 4},
      {"011", 6},
      {"0010", 8},
      {"0011", 10},
      {"0001 1", 1},
      {"0001 0", 30},
      {"0000 11", 26},
      {"0000 10", 22},
      {"0000 01", 17}}},
    {4, {{"1", 1}}},
};

// Table B-9.
const std::vector<Listed> kCodedBlockPattern = {
    {"111", 60},         {"1101", 4},         {"1100", 8},         {"1011", 16},
    {"1010", 32},        {"1001 1", 12},      {"1001 0", 48},      {"1000 1", 20},
    {"1000 0", 40},      {"0111 1", 28},      {"0111 0", 44},      {"0110 1", 52},
    {"0110 0", 56},      {"0101 1", 1},       {"0101 0", 61},      {"0100 1", 2},
    {"0100 0", 62},      {"0011 11", 24},     {"0011 10", 36},     {"0011 01", 3},
    {"0011 00", 63},     {"0010 111", 5},     {"0010 110", 9},     {"0010 101", 17},
    {"0010 100", 33},    {"0010 011", 6},     {"0010 010", 10},    {"0010 001", 18},
    {"0010 000", 34},    {"0001 1111", 7},    {"0001 1110", 11},   {"0001 1101", 19},
    {"0001 1100", 35},   {"0001 1011", 13},   {"0001 1010", 49},   {"0001 1001", 21},
    {"0001 1000", 41},   {"0001 0111", 14},   {"0001 0110", 50},   {"0001 0101", 22},
    {"0001 0100", 42},   {"0001 0011", 15},   {"0001 0010", 51},   {"0001 0001", 23},
    {"0001 0000", 43},   {"0000 1111", 25},   {"0000 1110", 37},   {"0000 1101", 26},
    {"0000 1100", 38},   {"0000 1011", 29},   {"0000 1010", 45},   {"0000 1001", 53},
    {"0000 1000", 57},   {"0000 0111", 30},   {"0000 0110", 46},   {"0000 0101", 54},
    {"0000 0100", 58},   {"0000 0011 1", 31}, {"0000 0011 0", 47}, {"0000 0010 1", 55},
    {"0000 0010 0", 59}, {"0000 0001 1", 27}, {"0000 0001 0", 39}, {"0000 0000 1", 0},
};

// The shortest bit strings that begin no code of a listing.
void collect_holes(const std::vector<std::string>& codes, const std::string& prefix,
                   std::vector<std::string>& holes) {
  bool longer_code = false;
  for (const std::string& code : codes) {
    if (code == prefix) return;
    if (code.starts_with(prefix)) longer_code = true;
  }
  if (!longer_code) {
    holes.push_back(prefix);
    return;
  }
  collect_holes(codes, prefix + "0", holes);
  collect_holes(codes, prefix + "1", holes);
}

std::vector<std::string> holes_of(const std::vector<std::string>& codes) {
  for (const std::string& a : codes) {
    for (const std::string& b : codes) {
      EXPECT_TRUE(&a == &b || !b.starts_with(a)) << a << " begins " << b;
    }
  }
  std::vector<std::string> holes;
  collect_holes(codes, "", holes);
  return holes;
}

std::vector<std::string> codes_of(const std::vector<Listed>& listing) {
  std::vector<std::string> codes;
  for (const Listed& code : listing) codes.push_back(compact(code.code));
  return codes;
}

std::vector<std::string> codes_of(const std::vector<ListedDct>& listing) {
  std::vector<std::string> codes;
  for (const ListedDct& code : listing) codes.push_back(compact(code.code));
  return codes;
}

class VlcTablesTest : public ::testing::Test {
 protected:
  [[nodiscard]] uint64_t consumed() const { return ctx.layer.reader.consumed_bits(); }

  // `run` reads from the bits it is given; on bits that begin no code, followed by zeros or by
  // ones, it must give exactly one warning and the fault.
  template <typename Run>
  void expect_invalid(const std::string& bits, Run run, const std::string& text) {
    for (const char* tail : {"", "1111 1111 1111 1111 1111 1111"}) {
      messages.err_text.clear();
      ctx.decode_fault = false;
      run(bits + tail);
      EXPECT_TRUE(ctx.decode_fault) << bits << tail;
      EXPECT_EQ(messages.err_text, text) << bits << tail;
    }
  }

  // A `run` for expect_invalid from a reader of the context.
  template <typename Read>
  auto fed(Read read) {
    return [this, read](const std::string& bits) {
      BitFeed feed(ctx.layer.reader, bits);
      (void)read(ctx);
    };
  }

  CollectedMessages messages;
  DecoderContext ctx{messages};
};

TEST_F(VlcTablesTest, EveryAddressIncrementCode) {
  std::set<int> values;
  for (const Listed& code : kAddressIncrement) {
    BitFeed feed(ctx.layer.reader, std::string(code.code) + "1111 1111 1111");
    EXPECT_EQ(read_address_increment(ctx), code.value) << code.code;
    EXPECT_EQ(consumed(), compact(code.code).size()) << code.code;
    EXPECT_FALSE(ctx.decode_fault);
    values.insert(code.value);
  }
  EXPECT_EQ(values.size(), 33u);
  EXPECT_EQ(*values.begin(), 1);
  EXPECT_EQ(*values.rbegin(), 33);
  EXPECT_EQ(messages.err_text, "");
}

TEST_F(VlcTablesTest, AddressIncrementEscapesAndStuffing) {
  const std::string escape = kEscapeCode;
  const std::string stuffing = kStuffing;
  struct Case {
    std::string bits;
    int value;
  };
  const std::vector<Case> cases = {
      {escape + escape + "1", 67},
      {escape + "0000 0011 000", 66},
      {stuffing + "011", 2},
      {stuffing + escape + stuffing + stuffing + "0001 0", 40},
  };
  for (const Case& c : cases) {
    BitFeed feed(ctx.layer.reader, c.bits + "1111 1111 1111");
    EXPECT_EQ(read_address_increment(ctx), c.value) << c.bits;
    EXPECT_EQ(consumed(), compact(c.bits).size()) << c.bits;
    EXPECT_FALSE(ctx.decode_fault);
  }
  // The same in an MPEG-2 stream.
  ctx.layer.mpeg2 = 1;
  BitFeed feed(ctx.layer.reader, stuffing + "1");
  EXPECT_EQ(read_address_increment(ctx), 1);
  EXPECT_FALSE(ctx.decode_fault);
  // An escape followed by bits that begin no code.
  expect_invalid(escape + "0000 0000 000", fed(read_address_increment),
                 "Invalid macroblock_address_increment code\n");
}

TEST_F(VlcTablesTest, AddressIncrementInvalidCodes) {
  std::vector<std::string> codes = codes_of(kAddressIncrement);
  codes.push_back(compact(kEscapeCode));
  codes.push_back(compact(kStuffing));
  const std::vector<std::string> holes = holes_of(codes);
  EXPECT_FALSE(holes.empty());
  for (const std::string& hole : holes) {
    expect_invalid(hole, fed(read_address_increment),
                   "Invalid macroblock_address_increment code\n");
  }
}

TEST_F(VlcTablesTest, EveryMacroblockTypeCode) {
  for (const auto& [picture_type, listing] : kMacroblockTypes) {
    ctx.vars.picture_coding_type = picture_type;
    ctx.decode_fault = false;
    for (const Listed& code : listing) {
      BitFeed feed(ctx.layer.reader, std::string(code.code) + "1111 11");
      EXPECT_EQ(read_macroblock_type(ctx), code.value) << picture_type << ": " << code.code;
      EXPECT_EQ(consumed(), compact(code.code).size()) << code.code;
      EXPECT_FALSE(ctx.decode_fault);
    }
    for (const std::string& hole : holes_of(codes_of(listing))) {
      expect_invalid(hole, fed(read_macroblock_type), "Invalid macroblock_type code\n");
    }
  }
}

TEST_F(VlcTablesTest, UnsupportedMacroblockTypesAreInvalid) {
  for (const int picture_type : {0, 5, 7}) {
    ctx.vars.picture_coding_type = picture_type;
    expect_invalid("1111", fed(read_macroblock_type), "Invalid macroblock_type code\n");
  }
  ctx.vars.picture_coding_type = 1;
  ctx.layer.scalable_mode = kSnrScalability;
  expect_invalid("1111", fed(read_macroblock_type), "Invalid macroblock_type code\n");
  ctx.layer.scalable_mode = kSpatialScalability;
  ctx.layer.picture_spatial_scalable = 1;
  expect_invalid("1111", fed(read_macroblock_type), "Invalid macroblock_type code\n");
}

TEST_F(VlcTablesTest, EveryCodedBlockPatternCode) {
  std::set<int> values;
  for (const Listed& code : kCodedBlockPattern) {
    BitFeed feed(ctx.layer.reader, std::string(code.code) + "1111 1111 1");
    EXPECT_EQ(read_coded_block_pattern(ctx), code.value) << code.code;
    EXPECT_EQ(consumed(), compact(code.code).size()) << code.code;
    EXPECT_FALSE(ctx.decode_fault);
    values.insert(code.value);
  }
  EXPECT_EQ(values.size(), 64u);
  const std::vector<std::string> holes = holes_of(codes_of(kCodedBlockPattern));
  EXPECT_EQ(holes, std::vector<std::string>{"000000000"});
  for (const std::string& hole : holes) {
    expect_invalid(hole, fed(read_coded_block_pattern), "Invalid coded_block_pattern code\n");
  }
}

TEST_F(VlcTablesTest, EveryDcSizeCode) {
  for (const bool luminance : {true, false}) {
    const std::vector<const char*>& listing = luminance ? kDcSizeLuminance : kDcSizeChrominance;
    std::vector<std::string> codes;
    for (int size = 0; size < static_cast<int>(listing.size()); ++size) {
      // All ones after the size code: the largest positive differential.
      const std::string code = compact(listing[size]);
      codes.push_back(code);
      BitFeed feed(ctx.layer.reader, code + std::string(size, '1') + "0000");
      const int diff = luminance ? get_luminance_dc_diff(ctx) : get_chrominance_dc_diff(ctx);
      EXPECT_EQ(diff, (1 << size) - 1) << code;
      EXPECT_EQ(consumed(), code.size() + size) << code;
    }
    // Every bit string begins a size code.
    EXPECT_TRUE(holes_of(codes).empty());
  }
  EXPECT_FALSE(ctx.decode_fault);
}

// The coefficient tables, read through the MPEG-2 intra reader with a dequantisation that
// keeps the levels: DC size 0, then the code, then end of block.
class DctTablesTest : public VlcTablesTest {
 protected:
  void SetUp() override {
    ctx.layer.mpeg2 = 1;
    ctx.layer.quantiser_scale = 1;
    ctx.layer.intra_quantiser_matrix.fill(16);
  }

  void read(bool table_one, const std::string& bits) {
    ctx.vars.intra_vlc_format = table_one ? 1 : 0;
    std::memset(ctx.layer.block, 0, sizeof ctx.layer.block);
    int pred[3] = {0, 0, 0};
    messages.err_text.clear();
    ctx.decode_fault = false;
    BitFeed feed(ctx.layer.reader, "100" + bits);
    getmpg2intrablock(ctx, 0, pred);
  }

  void expect_every_code(bool table_one, const std::vector<ListedDct>& listing) {
    const std::string eob = table_one ? "0110" : "10";
    for (const ListedDct& code : listing) {
      const std::string bits = compact(code.code);
      if (code.run == kEsc) continue;
      if (code.run == kEob) {
        read(table_one, bits);
        EXPECT_EQ(consumed(), 3 + bits.size());
        for (int j = 0; j < 63; ++j) EXPECT_EQ(ctx.layer.block[0][j], 0) << j;
        EXPECT_EQ(ctx.layer.block[0][63], 1);  // mismatch control of an all-zero block
        continue;
      }
      for (const int sign : {0, 1}) {
        read(table_one, bits + (sign ? "1" : "0") + eob);
        EXPECT_FALSE(ctx.decode_fault) << code.code;
        EXPECT_EQ(consumed(), 3 + bits.size() + 1 + eob.size()) << code.code;
        const int j = kZigzagScan[1 + code.run];
        EXPECT_EQ(ctx.layer.block[0][j], sign ? -code.level : code.level) << code.code;
        EXPECT_EQ(ctx.layer.block[0][63], code.level % 2 == 0 ? 1 : 0) << code.code;
      }
    }
    EXPECT_EQ(messages.err_text, "");
  }

  void expect_escape(bool table_one) {
    const std::string eob = table_one ? "0110" : "10";
    read(table_one,
         "0000 01"
         "000101"
         "0001 0010 0011" +
             eob);
    EXPECT_FALSE(ctx.decode_fault);
    EXPECT_EQ(consumed(), 3 + 24 + eob.size());
    EXPECT_EQ(ctx.layer.block[0][kZigzagScan[6]], 0x123);
  }
};

TEST_F(DctTablesTest, EveryCodeOfTableZero) {
  expect_every_code(false, kTableZero);
  expect_escape(false);
}

TEST_F(DctTablesTest, EveryCodeOfTableOne) {
  expect_every_code(true, table_one());
  expect_escape(true);
}

TEST_F(DctTablesTest, BothTablesCodeTheSamePairs) {
  auto pairs = [](const std::vector<ListedDct>& listing) {
    std::set<std::pair<int, int>> set;
    for (const ListedDct& code : listing) set.insert({code.run, code.level});
    EXPECT_EQ(set.size(), listing.size());
    return set;
  };
  EXPECT_EQ(pairs(kTableZero), pairs(table_one()));
  EXPECT_EQ(kTableZero.size(), 113u);
}

TEST_F(DctTablesTest, BitsThatBeginNoCodeAreInvalid) {
  const std::vector<std::string> holes_zero = holes_of(codes_of(kTableZero));
  EXPECT_EQ(holes_zero, std::vector<std::string>{"000000000000"});
  const std::vector<std::string> holes_one = holes_of(codes_of(table_one()));
  // The six 12-bit and four 13-bit codes that Table B-15 moved to shorter codes (two of the
  // latter are siblings), and twelve zeros.
  EXPECT_EQ(holes_one.size(), 10u);
  const std::string text = "invalid Huffman code in getmpg2intrablock()\n";
  for (const std::string& hole : holes_zero) {
    expect_invalid(
        hole, [&](const std::string& bits) { read(false, bits); }, text);
  }
  for (const std::string& hole : holes_one) {
    expect_invalid(
        hole, [&](const std::string& bits) { read(true, bits); }, text);
  }
}

}  // namespace
}  // namespace tavik
