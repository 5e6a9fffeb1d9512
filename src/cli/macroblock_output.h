#pragma once

#include <nlohmann/json.hpp>
#include <span>
#include <string>

#include "decoder/picture/macroblock_statistics.h"
#include "session/frame_macroblocks.h"

namespace tavik::cli {

// One picture's coding figures as an object of the analyze JSON's "macroblock_stats".
[[nodiscard]] nlohmann::ordered_json statistics_json(const PictureStatistics& stats);

// The pictures of one frame shown (display order `frame`), their macroblocks as the
// macroblocks command writes them.
struct ShownFrame {
  int64_t frame = 0;
  std::span<const KeptPicture> pictures;
};

// The CSV header line, and one row per macroblock decoded.
[[nodiscard]] std::string macroblocks_csv_header();
void append_macroblocks_csv(std::string& out, const ShownFrame& shown);

// One object per macroblock decoded, appended to `rows`.
void append_macroblocks_json(nlohmann::ordered_json& rows, const ShownFrame& shown);

// The statistics file's header lines (YUView's text format) for a picture of this size, and the
// lines of one frame. A frame coded as two field pictures shows each field's macroblock
// (c, r) as the 16x16 block at (16c, 32r) for the first field, (16c, 32r + 16) for the second;
// vectors are in frame half samples.
[[nodiscard]] std::string yuview_header(const std::string& input, int width, int height,
                                        double frame_rate);
void append_yuview(std::string& out, const ShownFrame& shown);

}  // namespace tavik::cli
