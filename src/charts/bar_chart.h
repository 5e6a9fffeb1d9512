#pragma once

#include <cstdint>
#include <string>

#include "analysis/analysis_store.h"
#include "charts/scene.h"

namespace tavik {

enum class ChartKind { kFrame, kGop, kSlice };

// The frame chosen in the Bytes/frame chart and its slice entries (inclusive); frame -1: none.
struct ChosenFrame {
  int64_t frame = -1;
  int64_t first_slice = 0;
  int64_t last_slice = 0;
};

// The chosen frame's slice entries that the store holds: [first, end).
struct EntryRange {
  int64_t first = 0;
  int64_t end = 0;
};
[[nodiscard]] EntryRange chosen_entries(const StoreData& data, const ChosenFrame& chosen);

// The view's outer size, the x extent its previous paint left (initial_x_extent at first) and
// the part of the chart in view (its left edge is the horizontal scroll position).
struct ChartWindow {
  int width = 0;
  int height = 0;
  int x_extent = 0;
  ViewRegion visible;
};

[[nodiscard]] int initial_x_extent(ChartKind kind);

// Rows of the Y scale in a chart window of that outer height; a Y limit below it is raised to
// it (the configuration dialogs refuse such limits).
[[nodiscard]] int64_t chart_rows(int window_height);

// Wider bars are drawn this wide, so that chart coordinates stay within int.
inline constexpr int32_t kMaxBarWidth = 1000;

// One paint of a bar chart: the primitives and click regions within the visible region, the
// Y limit it used, the largest slice of the chosen frame (Bytes/slice) and the x extent to
// pass to the next paint.
struct BarChart {
  ChartScene scene;
  int64_t y_limit = 0;
  int64_t largest_slice = 0;
  int next_x_extent = 0;
};

// Builds the Bytes/frame, Bytes/gop or Bytes/slice chart from the store; `chosen` is read by
// the Bytes/slice chart only. Only what lies in window.visible is made.
[[nodiscard]] BarChart build_bar_chart(ChartKind kind, const StoreData& data,
                                       const ChosenFrame& chosen, const ChartWindow& window,
                                       const TextMetrics& metrics);

// The window title: "Bytes/frame. Frame: %u", "Bytes/gop. Gop: %u" (without the number while
// nothing is measured) or "Bytes/Slices".
[[nodiscard]] std::string chart_title(ChartKind kind, const StoreData& data);

// In Automatic mode, keeps the limit the chart used (and the chosen frame's largest slice).
void apply_chart_limits(ChartKind kind, const BarChart& chart, StoreData& data);

// The message box text for a click on bar `index` (frame, GOP or slice entry).
[[nodiscard]] std::string bar_message(ChartKind kind, const StoreData& data, int64_t index);

// The selection made by clicking frame bar `frame`.
[[nodiscard]] ChosenFrame choose_frame(const StoreData& data, int64_t frame);

}  // namespace tavik
