#pragma once

#include <cstdint>
#include <vector>

#include "decoder/syntax/decoder_state.h"

namespace tavik {

// A decoded frame in RGB at its picture size: 0xFFRRGGBB per pixel, rows top-down.
struct RgbImage {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;
};

// Converts the horizontal_size x vertical_size picture of a decoded frame to RGB with the
// stream's matrix_coefficients; each chroma sample covers the luma samples it was taken from.
// Reuses `out`'s storage when the size is unchanged.
void convert_to_rgb(const FramePlanes& frame, const FrameGeometry& geometry,
                    const DecodingVariables& vars, RgbImage& out);

}  // namespace tavik
