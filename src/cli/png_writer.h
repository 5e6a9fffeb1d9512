#pragma once

#include <cstdio>
#include <span>
#include <string>

#include "display/dither.h"
#include "display/palette.h"
#include "display/true_colour.h"

namespace tavik::cli {

// Writes a dithered image as an 8-bit palette PNG whose palette holds `palette` (at most 256
// entries), turning the image's bottom-up rows into the file's top-down order. Returns an empty
// string, or what went wrong.
[[nodiscard]] std::string write_palette_png(std::FILE* file, const PaletteImage& image,
                                            std::span<const PaletteEntry> palette);

// Writes an RGB image as a 24-bit PNG. Returns an empty string, or what went wrong.
[[nodiscard]] std::string write_rgb_png(std::FILE* file, const RgbImage& image);

}  // namespace tavik::cli
