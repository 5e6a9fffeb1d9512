#include "charts/picture_info.h"

#include <algorithm>
#include <cstdio>

#include "charts/info_list.h"
#include "results/report_files.h"
#include "results/store_entries.h"

namespace tavik {

namespace {

template <typename... Values>
std::string format(const char* pattern, Values... values) {
  char text[200];
  const int n = std::snprintf(text, sizeof text, pattern, values...);
  return {text, size_t(std::clamp(n, 0, int(sizeof text) - 1))};
}

std::string range_text(const VectorRange& range) {
  std::string text = range.used ? format("%d..%d", range.used_min, range.used_max) : "none";
  if (range.allowed)
    text += format(" (f_code allows %d..%d)", range.allowed_min, range.allowed_max);
  return text;
}

void add_figures(std::vector<std::string>& lines, const PictureStatistics& s) {
  lines.push_back(format(
      "Macroblocks: %d - Intra: %d - Forward: %d - Backward: %d - Bidirectional: %d - "
      "Skipped: %d - Not decoded: %d",
      s.macroblocks, s.count(MacroblockCategory::kIntra), s.count(MacroblockCategory::kForward),
      s.count(MacroblockCategory::kBackward), s.count(MacroblockCategory::kBidirectional),
      s.count(MacroblockCategory::kSkipped), s.count(MacroblockCategory::kLost)));
  if (s.quantiser_max > 0) {
    lines.push_back(format("Quantiser: average %.2f - minimum %d - maximum %d", s.quantiser_average,
                           s.quantiser_min, s.quantiser_max));
  }
  const char* const directions[2] = {"Forward", "Backward"};
  for (int d = 0; d < 2; ++d) {
    if (!s.vectors[d][0].used && !s.vectors[d][0].allowed) continue;
    lines.push_back(std::string(directions[d]) + " vectors (half samples): horizontal " +
                    range_text(s.vectors[d][0]) + " - vertical " + range_text(s.vectors[d][1]));
  }
  lines.push_back(format("Bits: %llu in macroblocks - %llu in headers",
                         static_cast<unsigned long long>(s.macroblock_bits),
                         static_cast<unsigned long long>(s.header_bits)));
}

}  // namespace

std::vector<std::string> picture_lines(const StoreData& data, const ChosenFrame& chosen,
                                       const std::optional<PictureStatistics>& stats,
                                       std::string_view input_path) {
  std::vector<std::string> lines = {"Analisys (Picture) of: " + std::string(input_path)};
  if (chosen.frame < 0 || chosen.frame >= readable_frames(data)) return lines;
  const auto f = size_t(chosen.frame);
  lines.push_back("----------------------  Frame: " + std::to_string(chosen.frame) +
                  "  ----------------------");
  lines.push_back("Type: " + std::string(type_letter(data.frame_types[f], "Non detected")) +
                  " - Bytes: " + std::to_string(data.frame_bytes[f]));
  if (stats && stats->picture == chosen.frame) {
    add_figures(lines, *stats);
  } else {
    lines.push_back("Macroblocks not recorded: decode the frame with this window open.");
  }
  return lines;
}

ChartScene build_picture_scene(const std::vector<std::string>& lines, const TextMetrics& metrics) {
  ChartScene scene;
  scene.title = "Picture";
  for (size_t i = 0; i < lines.size(); ++i) {
    const int y = i == 0 ? 0 : kFirstLineY + kLinePitch * int(i - 1);
    scene.items.push_back(Text{0, y, lines[i]});
    scene.scroll_width = std::max(scene.scroll_width, metrics.width(lines[i]));
    scene.scroll_height = y + metrics.line_height();
  }
  return scene;
}

}  // namespace tavik
