#include "cli/png_writer.h"

#include <png.h>

#include <cstdint>
#include <vector>

namespace tavik::cli {

namespace {

std::string write_png(std::FILE* file, png_image& png, int width, int height, const void* pixels,
                      png_int_32 row_stride, const void* colour_map) {
  png.version = PNG_IMAGE_VERSION;
  png.width = static_cast<png_uint_32>(width);
  png.height = static_cast<png_uint_32>(height);
  if (png_image_write_to_stdio(&png, file, 0, pixels, row_stride, colour_map) == 0) {
    std::string message = png.message;
    png_image_free(&png);
    return message;
  }
  return {};
}

}  // namespace

std::string write_palette_png(std::FILE* file, const PaletteImage& image,
                              std::span<const PaletteEntry> palette) {
  std::vector<uint8_t> colours;
  colours.reserve(palette.size() * 3);
  for (const PaletteEntry& entry : palette) {
    colours.insert(colours.end(), {entry.red, entry.green, entry.blue});
  }
  png_image png{};
  png.format = PNG_FORMAT_RGB_COLORMAP;
  png.colormap_entries = static_cast<png_uint_32>(palette.size());
  // A negative stride tells libpng that the bottom row comes first in the buffer.
  return write_png(file, png, image.width, image.height, image.pixels.data(),
                   -static_cast<png_int_32>(image.width), colours.data());
}

std::string write_rgb_png(std::FILE* file, const RgbImage& image) {
  std::vector<uint8_t> bytes;
  bytes.reserve(image.pixels.size() * 3);
  for (const uint32_t pixel : image.pixels) {
    bytes.insert(bytes.end(), {static_cast<uint8_t>(pixel >> 16), static_cast<uint8_t>(pixel >> 8),
                               static_cast<uint8_t>(pixel)});
  }
  png_image png{};
  png.format = PNG_FORMAT_RGB;
  return write_png(file, png, image.width, image.height, bytes.data(),
                   static_cast<png_int_32>(image.width) * 3, nullptr);
}

}  // namespace tavik::cli
