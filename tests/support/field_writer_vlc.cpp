#include "support/field_writer_vlc.h"

#include <array>
#include <cstdlib>
#include <string_view>

namespace tavik::test::field_writer {

namespace {

// Codes are written as in the standard's tables: '0' and '1' digits, spaces ignored.
constexpr VlcCode code(std::string_view digits) {
  VlcCode result;
  for (const char c : digits) {
    if (c == ' ') continue;
    result.bits = (result.bits << 1) | (c == '1' ? 1U : 0U);
    ++result.length;
  }
  return result;
}

constexpr VlcCode with_sign(VlcCode base, bool negative) {
  return {(base.bits << 1) | (negative ? 1U : 0U), base.length + 1};
}

constexpr std::array<VlcCode, 34> kAddressIncrement = {VlcCode{},
                                                       code("1"),
                                                       code("011"),
                                                       code("010"),
                                                       code("0011"),
                                                       code("0010"),
                                                       code("0001 1"),
                                                       code("0001 0"),
                                                       code("0000 111"),
                                                       code("0000 110"),
                                                       code("0000 1011"),
                                                       code("0000 1010"),
                                                       code("0000 1001"),
                                                       code("0000 1000"),
                                                       code("0000 0111"),
                                                       code("0000 0110"),
                                                       code("0000 0101 11"),
                                                       code("0000 0101 10"),
                                                       code("0000 0101 01"),
                                                       code("0000 0101 00"),
                                                       code("0000 0100 11"),
                                                       code("0000 0100 10"),
                                                       code("0000 0100 011"),
                                                       code("0000 0100 010"),
                                                       code("0000 0100 001"),
                                                       code("0000 0100 000"),
                                                       code("0000 0011 111"),
                                                       code("0000 0011 110"),
                                                       code("0000 0011 101"),
                                                       code("0000 0011 100"),
                                                       code("0000 0011 011"),
                                                       code("0000 0011 010"),
                                                       code("0000 0011 001"),
                                                       code("0000 0011 000")};

constexpr std::array<VlcCode, 64> kCodedBlockPattern = [] {
  struct Entry {
    int cbp;
    std::string_view digits;
  };
  constexpr Entry entries[] = {
      {60, "111"},         {4, "1101"},         {8, "1100"},         {16, "1011"},
      {32, "1010"},        {12, "1001 1"},      {48, "1001 0"},      {20, "1000 1"},
      {40, "1000 0"},      {28, "0111 1"},      {44, "0111 0"},      {52, "0110 1"},
      {56, "0110 0"},      {1, "0101 1"},       {61, "0101 0"},      {2, "0100 1"},
      {62, "0100 0"},      {24, "0011 11"},     {36, "0011 10"},     {3, "0011 01"},
      {63, "0011 00"},     {5, "0010 111"},     {9, "0010 110"},     {17, "0010 101"},
      {33, "0010 100"},    {6, "0010 011"},     {10, "0010 010"},    {18, "0010 001"},
      {34, "0010 000"},    {7, "0001 1111"},    {11, "0001 1110"},   {19, "0001 1101"},
      {35, "0001 1100"},   {13, "0001 1011"},   {49, "0001 1010"},   {21, "0001 1001"},
      {41, "0001 1000"},   {14, "0001 0111"},   {50, "0001 0110"},   {22, "0001 0101"},
      {42, "0001 0100"},   {15, "0001 0011"},   {51, "0001 0010"},   {23, "0001 0001"},
      {43, "0001 0000"},   {25, "0000 1111"},   {37, "0000 1110"},   {26, "0000 1101"},
      {38, "0000 1100"},   {29, "0000 1011"},   {45, "0000 1010"},   {53, "0000 1001"},
      {57, "0000 1000"},   {30, "0000 0111"},   {46, "0000 0110"},   {54, "0000 0101"},
      {58, "0000 0100"},   {31, "0000 0011 1"}, {47, "0000 0011 0"}, {55, "0000 0010 1"},
      {59, "0000 0010 0"}, {27, "0000 0001 1"}, {39, "0000 0001 0"}, {0, "0000 0000 1"}};
  std::array<VlcCode, 64> table{};
  for (const Entry& entry : entries) table[size_t(entry.cbp)] = code(entry.digits);
  return table;
}();

// Magnitudes 0..16; the sign bit follows every code but the one of 0.
constexpr std::array<VlcCode, 17> kMotionCode = {code("1"),
                                                 code("01"),
                                                 code("001"),
                                                 code("0001"),
                                                 code("0000 11"),
                                                 code("0000 101"),
                                                 code("0000 100"),
                                                 code("0000 011"),
                                                 code("0000 0101 1"),
                                                 code("0000 0101 0"),
                                                 code("0000 0100 1"),
                                                 code("0000 0100 01"),
                                                 code("0000 0100 00"),
                                                 code("0000 0011 11"),
                                                 code("0000 0011 10"),
                                                 code("0000 0011 01"),
                                                 code("0000 0011 00")};

constexpr std::array<VlcCode, 12> kDcSizeLuminance = {
    code("100"),      code("00"),        code("01"),          code("101"),
    code("110"),      code("1110"),      code("1111 0"),      code("1111 10"),
    code("1111 110"), code("1111 1110"), code("1111 1111 0"), code("1111 1111 1")};

constexpr std::array<VlcCode, 12> kDcSizeChrominance = {
    code("00"),        code("01"),          code("10"),           code("110"),
    code("1110"),      code("1111 0"),      code("1111 10"),      code("1111 110"),
    code("1111 1110"), code("1111 1111 0"), code("1111 1111 10"), code("1111 1111 11")};

struct RunLevel {
  int run;
  int level;
  VlcCode base;  // without the sign bit
};

constexpr RunLevel kCoefficients[] = {
    {0, 1, code("11")},
    {1, 1, code("011")},
    {0, 2, code("0100")},
    {2, 1, code("0101")},
    {0, 3, code("0010 1")},
    {3, 1, code("0011 1")},
    {4, 1, code("0011 0")},
    {1, 2, code("0001 10")},
    {5, 1, code("0001 11")},
    {6, 1, code("0001 01")},
    {7, 1, code("0001 00")},
    {0, 4, code("0000 110")},
    {2, 2, code("0000 100")},
    {8, 1, code("0000 111")},
    {9, 1, code("0000 101")},
    {0, 5, code("0010 0110")},
    {0, 6, code("0010 0001")},
    {1, 3, code("0010 0101")},
    {3, 2, code("0010 0100")},
    {10, 1, code("0010 0111")},
    {11, 1, code("0010 0011")},
    {12, 1, code("0010 0010")},
    {13, 1, code("0010 0000")},
    {0, 7, code("0000 0010 10")},
    {1, 4, code("0000 0011 00")},
    {2, 3, code("0000 0010 11")},
    {4, 2, code("0000 0011 11")},
    {5, 2, code("0000 0010 01")},
    {14, 1, code("0000 0011 10")},
    {15, 1, code("0000 0011 01")},
    {16, 1, code("0000 0010 00")},
    {0, 8, code("0000 0001 1101")},
    {0, 9, code("0000 0001 1000")},
    {0, 10, code("0000 0001 0011")},
    {0, 11, code("0000 0001 0000")},
    {1, 5, code("0000 0001 1011")},
    {2, 4, code("0000 0001 0100")},
    {3, 3, code("0000 0001 1100")},
    {4, 3, code("0000 0001 0010")},
    {6, 2, code("0000 0001 1110")},
    {7, 2, code("0000 0001 0101")},
    {8, 2, code("0000 0001 0001")},
    {17, 1, code("0000 0001 1111")},
    {18, 1, code("0000 0001 1010")},
    {19, 1, code("0000 0001 1001")},
    {20, 1, code("0000 0001 0111")},
    {21, 1, code("0000 0001 0110")},
    {0, 12, code("0000 0000 1101 0")},
    {0, 13, code("0000 0000 1100 1")},
    {0, 14, code("0000 0000 1100 0")},
    {0, 15, code("0000 0000 1011 1")},
    {1, 6, code("0000 0000 1011 0")},
    {1, 7, code("0000 0000 1010 1")},
    {2, 5, code("0000 0000 1010 0")},
    {3, 4, code("0000 0000 1001 1")},
    {5, 3, code("0000 0000 1001 0")},
    {9, 2, code("0000 0000 1000 1")},
    {10, 2, code("0000 0000 1000 0")},
    {22, 1, code("0000 0000 1111 1")},
    {23, 1, code("0000 0000 1111 0")},
    {24, 1, code("0000 0000 1110 1")},
    {25, 1, code("0000 0000 1110 0")},
    {26, 1, code("0000 0000 1101 1")},
    {0, 16, code("0000 0000 0111 11")},
    {0, 17, code("0000 0000 0111 10")},
    {0, 18, code("0000 0000 0111 01")},
    {0, 19, code("0000 0000 0111 00")},
    {0, 20, code("0000 0000 0110 11")},
    {0, 21, code("0000 0000 0110 10")},
    {0, 22, code("0000 0000 0110 01")},
    {0, 23, code("0000 0000 0110 00")},
    {0, 24, code("0000 0000 0101 11")},
    {0, 25, code("0000 0000 0101 10")},
    {0, 26, code("0000 0000 0101 01")},
    {0, 27, code("0000 0000 0101 00")},
    {0, 28, code("0000 0000 0100 11")},
    {0, 29, code("0000 0000 0100 10")},
    {0, 30, code("0000 0000 0100 01")},
    {0, 31, code("0000 0000 0100 00")},
    {0, 32, code("0000 0000 0011 000")},
    {0, 33, code("0000 0000 0010 111")},
    {0, 34, code("0000 0000 0010 110")},
    {0, 35, code("0000 0000 0010 101")},
    {0, 36, code("0000 0000 0010 100")},
    {0, 37, code("0000 0000 0010 011")},
    {0, 38, code("0000 0000 0010 010")},
    {0, 39, code("0000 0000 0010 001")},
    {0, 40, code("0000 0000 0010 000")},
    {1, 8, code("0000 0000 0011 111")},
    {1, 9, code("0000 0000 0011 110")},
    {1, 10, code("0000 0000 0011 101")},
    {1, 11, code("0000 0000 0011 100")},
    {1, 12, code("0000 0000 0011 011")},
    {1, 13, code("0000 0000 0011 010")},
    {1, 14, code("0000 0000 0011 001")},
    {1, 15, code("0000 0000 0001 0011")},
    {1, 16, code("0000 0000 0001 0010")},
    {1, 17, code("0000 0000 0001 0001")},
    {1, 18, code("0000 0000 0001 0000")},
    {6, 3, code("0000 0000 0001 0100")},
    {11, 2, code("0000 0000 0001 1010")},
    {12, 2, code("0000 0000 0001 1001")},
    {13, 2, code("0000 0000 0001 1000")},
    {14, 2, code("0000 0000 0001 0111")},
    {15, 2, code("0000 0000 0001 0110")},
    {16, 2, code("0000 0000 0001 0101")},
    {27, 1, code("0000 0000 0001 1111")},
    {28, 1, code("0000 0000 0001 1110")},
    {29, 1, code("0000 0000 0001 1101")},
    {30, 1, code("0000 0000 0001 1100")},
    {31, 1, code("0000 0000 0001 1011")},
};

}  // namespace

VlcCode address_increment_code(int increment) {
  return kAddressIncrement.at(size_t(increment));
}

VlcCode macroblock_escape_code() {
  return code("0000 0001 000");
}

VlcCode macroblock_type_code(int picture_coding_type, MacroblockKind kind) {
  if (kind.intra) return picture_coding_type == 1 ? code("1") : code("0001 1");
  if (picture_coding_type == 2) return kind.pattern ? code("1") : code("001");
  if (kind.forward && kind.backward) return kind.pattern ? code("11") : code("10");
  if (kind.backward) return kind.pattern ? code("011") : code("010");
  return kind.pattern ? code("0011") : code("0010");
}

VlcCode coded_block_pattern_code(int cbp) {
  return kCodedBlockPattern.at(size_t(cbp));
}

VlcCode motion_code_code(int motion_code) {
  const VlcCode base = kMotionCode.at(size_t(std::abs(motion_code)));
  return motion_code == 0 ? base : with_sign(base, motion_code < 0);
}

VlcCode dc_size_code(bool luminance, int size) {
  return luminance ? kDcSizeLuminance.at(size_t(size)) : kDcSizeChrominance.at(size_t(size));
}

VlcCode dct_coefficient_code(int run, int level, bool first_of_non_intra) {
  const int magnitude = std::abs(level);
  if (first_of_non_intra && run == 0 && magnitude == 1) return with_sign(code("1"), level < 0);
  for (const RunLevel& entry : kCoefficients) {
    if (entry.run == run && entry.level == magnitude) return with_sign(entry.base, level < 0);
  }
  // Escape: 6-bit run, 12-bit two's complement level.
  return {(0b000001U << 18) | (uint32_t(run) << 12) | (uint32_t(level) & 0xFFFU), 24};
}

VlcCode end_of_block_code() {
  return code("10");
}

}  // namespace tavik::test::field_writer
