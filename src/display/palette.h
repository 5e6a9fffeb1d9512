#pragma once

#include <array>
#include <cstdint>

namespace tavik {

// The only display depth the dithered images support: one palette index per pixel.
inline constexpr int kDisplayDepth = 8;
// Logical palette size; images use the 224 indices from kFirstImageColour on.
inline constexpr int kPaletteSize = 240;
inline constexpr int kFirstImageColour = 16;

struct PaletteEntry {
  uint8_t red, green, blue, flags;
  friend bool operator==(const PaletteEntry&, const PaletteEntry&) = default;
};

// YCbCr to RGB factors in 16.16 fixed point (ISO/IEC 13818-2 6.3.6 matrix_coefficients).
struct ColourCoefficients {
  int32_t crv, cbu, cgu, cgv;
};

// The factors for a matrix_coefficients value; values without a row of their own (reserved,
// unspecified, 8..255) use those of 5, the value assumed when the stream gives none.
[[nodiscard]] ColourCoefficients colour_coefficients(int matrix_coefficients);

// The logical palette: entry i (16..239) is the colour of luma level i >> 4, Cb level
// (i >> 2) & 3 and Cr level i & 3; entries 0..15 are never referenced and stay zero.
[[nodiscard]] std::array<PaletteEntry, kPaletteSize> make_palette_entries(int matrix_coefficients);

// The device-independent bitmap header of a dithered image: bottom-up rows (positive height),
// one plane, 8 bits, no compression, followed by a colour table of palette indices.
struct BitmapHeader {
  uint32_t header_size = 40;
  int32_t width = 0;
  int32_t height = 0;
  uint16_t planes = 1;
  uint16_t bit_count = kDisplayDepth;
  uint32_t compression = 0;
  uint32_t image_size = 0;
  int32_t x_resolution = 0;
  int32_t y_resolution = 0;
  uint32_t colours_used = kPaletteSize;
  uint32_t colours_important = kPaletteSize;
  // Palette indices, not RGB values: entry i holds i for 16..239, 0 below.
  std::array<uint16_t, kPaletteSize> colour_table{};
};

[[nodiscard]] BitmapHeader make_bitmap_header(int width, int height);

}  // namespace tavik
