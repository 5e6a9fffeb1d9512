#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/analysis_store.h"
#include "charts/bar_chart.h"
#include "charts/scene.h"
#include "decoder/picture/macroblock_statistics.h"

namespace tavik {

// The lines of the Picture window: the header with the input's path; with a chosen frame the
// store has, its line, its type and bytes, and its coding figures when its macroblocks were
// recorded.
[[nodiscard]] std::vector<std::string> picture_lines(const StoreData& data,
                                                     const ChosenFrame& chosen,
                                                     const std::optional<PictureStatistics>& stats,
                                                     std::string_view input_path);

// The lines as texts one kLinePitch apart (the second at kFirstLineY), titled "Picture".
[[nodiscard]] ChartScene build_picture_scene(const std::vector<std::string>& lines,
                                             const TextMetrics& metrics);

}  // namespace tavik
