#include "display/palette.h"

#include <algorithm>

namespace tavik {

namespace {

// Luma level L stands for Y = 16 * L + 8; 76309 is 255 / 219 in 16.16 fixed point.
constexpr int32_t kLumaGain = 76309;

[[nodiscard]] uint8_t clip(int32_t value) {
  return static_cast<uint8_t>(std::clamp(value, 0, 255));
}

// Chroma level 0..3 stands for a difference of -48, -16, 16 or 48 from the neutral 128.
[[nodiscard]] int32_t chroma_difference(int level) {
  return 32 * level - 48;
}

}  // namespace

ColourCoefficients colour_coefficients(int matrix_coefficients) {
  switch (matrix_coefficients) {
    case 0:
    case 1:
      return {117504, 138453, 13954, 34903};
    case 4:
      return {104448, 132798, 24759, 53109};
    case 7:
      return {117579, 136230, 16907, 35559};
    default:  // 2, 3, 5, 6 and every value without a row of its own
      return {104597, 132201, 25675, 53279};
  }
}

std::array<PaletteEntry, kPaletteSize> make_palette_entries(int matrix_coefficients) {
  const ColourCoefficients k = colour_coefficients(matrix_coefficients);
  std::array<PaletteEntry, kPaletteSize> entries{};
  for (int i = kFirstImageColour; i < kPaletteSize; ++i) {
    const int32_t luma_level = (i >> 4) & 15;
    const int32_t y = kLumaGain * (16 * luma_level + 8 - 16);
    const int32_t u = chroma_difference((i >> 2) & 3);
    const int32_t v = chroma_difference(i & 3);
    entries[i] = {clip((y + k.crv * v + 32768) >> 16),
                  clip((y - k.cgu * u - k.cgv * v + 32768) >> 16),
                  clip((y + k.cbu * u + 32768) >> 16), 0};
  }
  return entries;
}

BitmapHeader make_bitmap_header(int width, int height) {
  BitmapHeader header;
  header.width = width;
  header.height = height;
  for (int i = kFirstImageColour; i < kPaletteSize; ++i) {
    header.colour_table[i] = static_cast<uint16_t>(i);
  }
  return header;
}

}  // namespace tavik
