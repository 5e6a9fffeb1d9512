#include "cli/png_writer.h"

#include <png.h>

#include <cstdint>
#include <vector>

namespace tavik::cli {

std::string write_palette_png(std::FILE* file, const PaletteImage& image,
                              std::span<const PaletteEntry> palette) {
  std::vector<uint8_t> colours;
  colours.reserve(palette.size() * 3);
  for (const PaletteEntry& entry : palette) {
    colours.insert(colours.end(), {entry.red, entry.green, entry.blue});
  }
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  png.width = static_cast<png_uint_32>(image.width);
  png.height = static_cast<png_uint_32>(image.height);
  png.format = PNG_FORMAT_RGB_COLORMAP;
  png.colormap_entries = static_cast<png_uint_32>(palette.size());
  // A negative stride tells libpng that the bottom row comes first in the buffer.
  const auto row_stride = -static_cast<png_int_32>(image.width);
  if (png_image_write_to_stdio(&png, file, 0, image.pixels.data(), row_stride, colours.data()) ==
      0) {
    std::string message = png.message;
    png_image_free(&png);
    return message;
  }
  return {};
}

}  // namespace tavik::cli
