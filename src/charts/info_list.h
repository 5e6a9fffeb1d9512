#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "analysis/analysis_store.h"
#include "charts/bar_chart.h"
#include "charts/scene.h"

namespace tavik {

enum class ListKind { kFrames, kGops, kSlices };

inline constexpr int kLinePitch = 15;

// Line i of a list (after the header) has its top at y = kFirstLineY + kLinePitch * i.
inline constexpr int kFirstLineY = 30;

// The window title: "Frames Information", "Gops Information" or "Slices Information".
[[nodiscard]] std::string_view list_title(ListKind kind);

// The header line drawn at (0, 0): the caption followed by the input's full path.
[[nodiscard]] std::string list_header(ListKind kind, std::string_view input_path);

// Lines below the header: one per frame or GOP; for the Slices list, with a chosen frame, the
// frame's line and one line per slice entry of it.
[[nodiscard]] int64_t list_line_count(ListKind kind, const StoreData& data,
                                      const ChosenFrame& chosen);

// The text of line `line` (0 .. list_line_count - 1).
[[nodiscard]] std::string list_line(ListKind kind, const StoreData& data, const ChosenFrame& chosen,
                                    int64_t line);

// The list as comma-separated values with a header row, for the clipboard: frame,type,bytes;
// gop,bytes; or (the chosen frame's entries) slice,bytes.
[[nodiscard]] std::string list_csv(ListKind kind, const StoreData& data, const ChosenFrame& chosen);

// Scroll range of the list in a window of that outer height, and the position the view keeps
// in sight while playing (Frames and Gops lists).
struct ListScroll {
  int y_extent = 0;
  int follow_y = 0;
};
[[nodiscard]] ListScroll list_scroll(int64_t line_count, int window_height);

// The lines [first, end) whose text meets the rows [top, top + height).
struct LineRange {
  int64_t first = 0;
  int64_t end = 0;
};
[[nodiscard]] LineRange visible_lines(int64_t line_count, int top, int height, int line_height);

// One paint of a list: the header and the visible lines as texts, the title and scroll size.
[[nodiscard]] ChartScene build_list_scene(ListKind kind, const StoreData& data,
                                          const ChosenFrame& chosen, std::string_view input_path,
                                          int window_height, const ViewRegion& visible,
                                          const TextMetrics& metrics);

}  // namespace tavik
