#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tavik::test {

// Decoded frames of a stream, planar and cropped to the picture size, in display order.
struct DecodedVideo {
  int width = 0;
  int height = 0;
  int chroma_format = 1;  // 1 = 4:2:0, 2 = 4:2:2, 3 = 4:4:4
  std::vector<std::vector<uint8_t>> frames;
  std::string errors;   // what the decoder wrote to the standard error stream
  std::string notices;  // what it wrote to the standard output
  [[nodiscard]] int chroma_width() const { return chroma_format == 3 ? width : (width + 1) / 2; }
  [[nodiscard]] int chroma_height() const { return chroma_format == 1 ? (height + 1) / 2 : height; }
};

// Decodes with Tavik's own decoding session, the slices of each picture on `threads` threads.
DecodedVideo decode_with_tavik(const std::filesystem::path& stream, int threads = 1);

// Decodes with ffmpeg into raw planar frames of the given geometry.
DecodedVideo decode_with_ffmpeg(const std::filesystem::path& stream, int width, int height,
                                int chroma_format);

// PSNR in dB of one plane of two frames of the same geometry (99 when identical).
double plane_psnr(const DecodedVideo& video, const std::vector<uint8_t>& a,
                  const std::vector<uint8_t>& b, int plane);

}  // namespace tavik::test
