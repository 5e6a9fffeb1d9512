#include "display/true_colour.h"

#include <algorithm>

#include "display/palette.h"

namespace tavik {

namespace {

// 255 / 219 in 16.16 fixed point: studio-range luma to full range.
constexpr int32_t kLumaGain = 76309;

[[nodiscard]] uint32_t clip(int32_t value) {
  return static_cast<uint32_t>(std::clamp(value >> 16, 0, 255));
}

}  // namespace

void convert_to_rgb(const FramePlanes& frame, const FrameGeometry& geometry,
                    const DecodingVariables& vars, RgbImage& out) {
  const int width = std::min(vars.horizontal_size, geometry.coded_width);
  const int height = std::min(vars.vertical_size, geometry.coded_height);
  out.width = width;
  out.height = height;
  out.pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
  if (width <= 0 || height <= 0) return;

  const ColourCoefficients k = colour_coefficients(vars.matrix_coefficients);
  const int x_shift = geometry.chroma_width < geometry.coded_width ? 1 : 0;
  const int y_shift = geometry.chroma_height < geometry.coded_height ? 1 : 0;
  for (int y = 0; y < height; ++y) {
    const uint8_t* luma = frame.plane[0] + static_cast<size_t>(y) * geometry.coded_width;
    const size_t chroma_row = static_cast<size_t>(y >> y_shift) * geometry.chroma_width;
    const uint8_t* cb = frame.plane[1] + chroma_row;
    const uint8_t* cr = frame.plane[2] + chroma_row;
    uint32_t* row = out.pixels.data() + static_cast<size_t>(y) * width;
    for (int x = 0; x < width; ++x) {
      const int32_t l = kLumaGain * (luma[x] - 16) + 32768;
      const int32_t u = cb[x >> x_shift] - 128;
      const int32_t v = cr[x >> x_shift] - 128;
      row[x] = 0xFF000000u | clip(l + k.crv * v) << 16 | clip(l - k.cgu * u - k.cgv * v) << 8 |
               clip(l + k.cbu * u);
    }
  }
}

}  // namespace tavik
