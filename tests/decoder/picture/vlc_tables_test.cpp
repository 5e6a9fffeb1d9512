#include "decoder/syntax/vlc_tables.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "base/messages.h"
#include "decoder/picture/block_decoder.h"
#include "decoder/picture/macroblock_vlc.h"
#include "decoder/syntax/decoder_state.h"
#include "decoder/syntax/scan_tables.h"
#include "support/annex_b_codes.h"
#include "support/bit_feed.h"
#include "support/field_writer_vlc.h"

namespace tavik {
namespace {

namespace fw = test::field_writer;
using test::BitFeed;
using test::compact;
using test::ListedDct;

std::string bits_of(fw::VlcCode code) {
  return test::bits_of(code.bits, code.length);
}

// Tables B-2, B-3, B-4, the D-picture type, and Tables B-5, B-6, B-7 (spatially scalable I, P,
// B as 5, 6, 7; 32 marks a spatial_temporal_weight_code, 64 the types predicted from the lower
// layer alone): picture_coding_type, code, type bits.
struct ListedType {
  int picture_type;
  const char* code;
  int value;
};
const ListedType kMacroblockTypes[] = {
    {1, "1", 1},         {1, "01", 17},        {2, "1", 10},         {2, "01", 2},
    {2, "001", 8},       {2, "00011", 1},      {2, "00010", 26},     {2, "00001", 18},
    {2, "000001", 17},   {3, "10", 12},        {3, "11", 14},        {3, "010", 4},
    {3, "011", 6},       {3, "0010", 8},       {3, "0011", 10},      {3, "00011", 1},
    {3, "00010", 30},    {3, "000011", 26},    {3, "000010", 22},    {3, "000001", 17},
    {4, "1", 1},         {5, "1", 66},         {5, "01", 82},        {5, "0011", 1},
    {5, "0010", 17},     {5, "0001", 64},      {6, "10", 10},        {6, "011", 42},
    {6, "0000100", 2},   {6, "000111", 34},    {6, "0010", 8},       {6, "0000111", 1},
    {6, "0011", 40},     {6, "010", 26},       {6, "000100", 18},    {6, "0000110", 17},
    {6, "11", 58},       {6, "000101", 50},    {6, "000110", 64},    {6, "0000101", 66},
    {6, "0000010", 82},  {7, "10", 12},        {7, "11", 14},        {7, "010", 4},
    {7, "011", 6},       {7, "0010", 8},       {7, "0011", 10},      {7, "000110", 36},
    {7, "000111", 38},   {7, "000100", 40},    {7, "000101", 42},    {7, "0000110", 1},
    {7, "0000111", 30},  {7, "0000100", 26},   {7, "0000101", 22},   {7, "00000100", 17},
    {7, "00000101", 58}, {7, "000001100", 54}, {7, "000001110", 64}, {7, "000001101", 82},
    {7, "000001111", 66}};

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

  // Reads every code of a listing (followed by ones) and checks value and length.
  template <typename Read>
  void expect_codes(Read read, const std::vector<std::pair<std::string, int>>& listing) {
    messages.err_text.clear();
    ctx.decode_fault = false;
    for (const auto& [code, value] : listing) {
      BitFeed feed(ctx.layer.reader, code + "1111 1111 1111");
      EXPECT_EQ(read(ctx), value) << code;
      EXPECT_EQ(consumed(), compact(code).size()) << code;
    }
    EXPECT_FALSE(ctx.decode_fault);
    EXPECT_EQ(messages.err_text, "");
  }

  CollectedMessages messages;
  DecoderContext ctx{messages};
};

TEST_F(VlcTablesTest, AddressIncrementCodes) {
  const std::string escape = bits_of(fw::macroblock_escape_code());
  const std::string stuffing = "0000 0001 111";
  std::vector<std::pair<std::string, int>> listing = {
      {escape + escape + "1", 67},
      {escape + "0000 0011 000", 66},
      {stuffing + "011", 2},
      {stuffing + escape + stuffing + stuffing + "0001 0", 40}};
  std::vector<std::string> codes = {escape, compact(stuffing)};
  for (int increment = 1; increment <= 33; ++increment) {
    codes.push_back(bits_of(fw::address_increment_code(increment)));
    listing.emplace_back(codes.back(), increment);
  }
  expect_codes(read_address_increment, listing);
  // Stuffing is skipped in an MPEG-2 stream too.
  ctx.layer.mpeg2 = 1;
  expect_codes(read_address_increment, {{stuffing + "1", 1}});

  const std::string text = "Invalid macroblock_address_increment code\n";
  expect_invalid(escape + "0000 0000 000", fed(read_address_increment), text);
  const std::vector<std::string> holes = holes_of(codes);
  EXPECT_FALSE(holes.empty());
  for (const std::string& hole : holes) expect_invalid(hole, fed(read_address_increment), text);
}

TEST_F(VlcTablesTest, MacroblockTypeCodes) {
  const std::string text = "Invalid macroblock_type code\n";
  for (int picture_type = 1; picture_type <= 7; ++picture_type) {
    ctx.layer.picture_spatial_scalable = picture_type > 4;
    ctx.vars.picture_coding_type = picture_type > 4 ? picture_type - 4 : picture_type;
    std::vector<std::pair<std::string, int>> listing;
    std::vector<std::string> codes;
    for (const ListedType& type : kMacroblockTypes) {
      if (type.picture_type != picture_type) continue;
      listing.emplace_back(type.code, type.value);
      codes.push_back(type.code);
    }
    expect_codes(read_macroblock_type, listing);
    for (const std::string& hole : holes_of(codes)) {
      expect_invalid(hole, fed(read_macroblock_type), text);
    }
  }
  // Unknown picture types, spatially scalable D pictures and SNR layers are not supported.
  for (const int picture_type : {0, 4, 5, 7}) {
    ctx.vars.picture_coding_type = picture_type;
    expect_invalid("1111", fed(read_macroblock_type), text);
  }
  ctx.layer.picture_spatial_scalable = 0;
  ctx.vars.picture_coding_type = 1;
  ctx.layer.scalable_mode = kSnrScalability;
  expect_invalid("1111", fed(read_macroblock_type), text);
}

TEST_F(VlcTablesTest, CodedBlockPatternCodes) {
  std::vector<std::pair<std::string, int>> listing;
  std::vector<std::string> codes;
  for (int cbp = 0; cbp < 64; ++cbp) {
    codes.push_back(bits_of(fw::coded_block_pattern_code(cbp)));
    listing.emplace_back(codes.back(), cbp);
  }
  expect_codes(read_coded_block_pattern, listing);
  EXPECT_EQ(holes_of(codes), std::vector<std::string>{"000000000"});
  expect_invalid("000000000", fed(read_coded_block_pattern), "Invalid coded_block_pattern code\n");
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

  [[nodiscard]] static std::vector<std::string> codes_of(const std::vector<ListedDct>& listing) {
    std::vector<std::string> codes;
    for (const ListedDct& code : listing) codes.push_back(compact(code.code));
    return codes;
  }
};

TEST_F(DctTablesTest, EveryCodeOfBothTables) {
  for (const bool table_one : {false, true}) {
    const std::string eob = table_one ? "0110" : "10";
    for (const ListedDct& code : table_one ? test::table_one() : test::kTableZero) {
      const std::string bits = compact(code.code);
      if (code.run == test::kEsc) continue;
      if (code.run == test::kEob) {
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
    // Escape, run 5, level 0x123.
    read(table_one, "0000 01 000101 0001 0010 0011" + eob);
    EXPECT_FALSE(ctx.decode_fault);
    EXPECT_EQ(consumed(), 3 + 24 + eob.size());
    EXPECT_EQ(ctx.layer.block[0][kZigzagScan[6]], 0x123);
  }
}

TEST_F(DctTablesTest, BitsThatBeginNoCodeAreInvalid) {
  const std::vector<std::string> holes_zero = holes_of(codes_of(test::kTableZero));
  EXPECT_EQ(holes_zero, std::vector<std::string>{"000000000000"});
  const std::vector<std::string> holes_one = holes_of(codes_of(test::table_one()));
  // The six 12-bit and four 13-bit codes that Table B-15 moved to shorter codes (two of the
  // latter are siblings), and twelve zeros.
  EXPECT_EQ(holes_one.size(), 10u);
  const std::string text = "invalid Huffman code in getmpg2intrablock()\n";
  for (const bool table_one : {false, true}) {
    for (const std::string& hole : table_one ? holes_one : holes_zero) {
      expect_invalid(
          hole, [&](const std::string& bits) { read(table_one, bits); }, text);
    }
  }
}

}  // namespace
}  // namespace tavik
