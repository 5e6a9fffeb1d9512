#include "display/palette.h"

#include <gtest/gtest.h>

#include <array>
#include <tuple>

namespace tavik {
namespace {

// Entries worked out by hand from Y' = 1220944 L - 610472, u = 32 Cb level - 48,
// v = 32 Cr level - 48 and the 16.16 factors of each matrix.
TEST(PaletteEntries, MatchHandComputedColours) {
  struct Case {
    int matrix;
    int index;
    PaletteEntry colour;
  };
  const Case cases[] = {
      // L 1, both chroma levels 0: red and blue fall below 0.
      {1, 16, {0, 45, 0, 0}},
      {5, 16, {0, 67, 0, 0}},
      // L 9, Cb 1, Cr 1: e.g. matrix 5 red = (10378024 - 1673552 + 32768) >> 16 = 133.
      {1, 149, {130, 170, 125, 0}},
      {5, 149, {133, 178, 126, 0}},
      // L 7, Cb 2, Cr 2.
      {1, 122, {150, 109, 155, 0}},
      {5, 122, {147, 102, 153, 0}},
      // L 14, Cb 3, Cr 3: red and blue rise above 255.
      {1, 239, {255, 216, 255, 0}},
      {5, 239, {255, 194, 255, 0}}};
  for (const Case& c : cases) {
    const PaletteEntry e = make_palette_entries(c.matrix)[c.index];
    EXPECT_EQ(e, c.colour) << "matrix " << c.matrix << " index " << c.index << ": " << int{e.red}
                           << "," << int{e.green} << "," << int{e.blue} << "," << int{e.flags};
  }
}

TEST(PaletteEntries, UnreferencedEntriesAreZeroAndFlagsAlwaysZero) {
  const auto entries = make_palette_entries(5);
  for (int i = 0; i < kFirstImageColour; ++i) EXPECT_EQ(entries[i], (PaletteEntry{0, 0, 0, 0}));
  for (const PaletteEntry& e : entries) EXPECT_EQ(e.flags, 0);
  // Luma rises with the level for a fixed chroma pair.
  for (int level = 2; level <= 14; ++level) {
    EXPECT_GT(entries[level << 4 | 5].green, entries[(level - 1) << 4 | 5].green);
  }
}

TEST(ColourCoefficients, EachMatrixValueSelectsItsRow) {
  const auto row = [](int m) {
    const ColourCoefficients c = colour_coefficients(m);
    return std::array<int32_t, 4>{c.crv, c.cbu, c.cgu, c.cgv};
  };
  const std::array<int32_t, 4> bt709{117504, 138453, 13954, 34903};
  const std::array<int32_t, 4> bt601{104597, 132201, 25675, 53279};
  EXPECT_EQ(row(0), bt709);
  EXPECT_EQ(row(1), bt709);
  EXPECT_EQ(row(4), (std::array<int32_t, 4>{104448, 132798, 24759, 53109}));
  EXPECT_EQ(row(7), (std::array<int32_t, 4>{117579, 136230, 16907, 35559}));
  // 2 (unspecified), 3 (reserved) and 8..255 fall back to the row of 5.
  for (int m : {2, 3, 5, 6}) EXPECT_EQ(row(m), bt601) << m;
  for (int m = 8; m <= 255; ++m) EXPECT_EQ(row(m), bt601) << m;
  EXPECT_EQ(make_palette_entries(200), make_palette_entries(5));
  EXPECT_NE(make_palette_entries(4), make_palette_entries(5));
  EXPECT_NE(make_palette_entries(7), make_palette_entries(1));
}

TEST(BitmapHeader, DescribesABottomUpEightBitImageOfPaletteIndices) {
  const BitmapHeader h = make_bitmap_header(352, 288);
  EXPECT_EQ(std::tie(h.header_size, h.width, h.height, h.planes, h.bit_count, h.compression),
            std::make_tuple(40u, 352, 288, uint16_t{1}, uint16_t{8}, 0u));
  EXPECT_EQ(
      std::tie(h.image_size, h.x_resolution, h.y_resolution, h.colours_used, h.colours_important),
      std::make_tuple(0u, 0, 0, 240u, 240u));
  for (int i = 0; i < kPaletteSize; ++i) {
    EXPECT_EQ(h.colour_table[i], i < kFirstImageColour ? 0 : i) << i;
  }
}

}  // namespace
}  // namespace tavik
