#include "charts/bar_chart.h"

#include <algorithm>
#include <cmath>
#include <span>

#include "charts/chart_parts.h"
#include "results/store_entries.h"

namespace tavik {

namespace {

constexpr int kOrigin = 30;

// The bars of one chart: their values, the frame types (Bytes/frame only) and the number of
// the first bar's unit, which is also the first X label.
struct Bars {
  std::span<const uint32_t> values;
  std::span<const uint32_t> types;
  int64_t first_unit = 0;
};

// The array element, or 0 when the array does not reach it.
uint32_t entry(const std::vector<uint32_t>& array, int64_t index) {
  return index >= 0 && index < int64_t(array.size()) ? array[size_t(index)] : 0;
}

std::span<const uint32_t> chosen_slices(const StoreData& data, const ChosenFrame& chosen) {
  if (chosen.frame < 0) return {};
  const EntryRange range = chosen_entries(data, chosen);
  return std::span<const uint32_t>(data.slice_bytes)
      .subspan(size_t(range.first), size_t(range.end - range.first));
}

Bars bars_of(ChartKind kind, const StoreData& data, const ChosenFrame& chosen) {
  switch (kind) {
    case ChartKind::kFrame: {
      const int64_t frames = readable_frames(data);
      return {valid_entries(data.frame_bytes, frames), valid_entries(data.frame_types, frames)};
    }
    case ChartKind::kGop:
      return {valid_entries(data.gop_bytes, data.gop_count()), {}};
    case ChartKind::kSlice:
      break;
  }
  return {chosen_slices(data, chosen), {}, chosen.first_slice};
}

const ChartSettings& settings_of(ChartKind kind, const StoreData& data) {
  switch (kind) {
    case ChartKind::kFrame:
      return data.frame_chart;
    case ChartKind::kGop:
      return data.gop_chart;
    case ChartKind::kSlice:
      break;
  }
  return data.slice_chart;
}

bool drawn(ChartKind kind, const StoreData& data) {
  switch (kind) {
    case ChartKind::kFrame:
      return data.last_frame >= 0;
    case ChartKind::kGop:
      return data.open_gop >= 0;
    case ChartKind::kSlice:
      break;
  }
  return true;
}

// The largest slice of the chosen frame: 1000 with no frame chosen, 0 for an empty range.
int64_t largest_slice(const Bars& bars, const ChosenFrame& chosen) {
  if (chosen.frame < 0) return 1000;
  return bars.values.empty() ? 0 : *std::max_element(bars.values.begin(), bars.values.end());
}

int64_t automatic_limit(ChartKind kind, const StoreData& data, int64_t largest) {
  switch (kind) {
    case ChartKind::kFrame:
      return (int64_t(data.max_frame_bytes) / 1000 + 1) * 1000;
    case ChartKind::kGop:
      return (int64_t(data.max_gop_bytes) / 5000 + 1) * 5000;
    case ChartKind::kSlice:
      break;
  }
  return (largest / 100 + 1) * 100;
}

Rgb bar_color(ChartKind kind, const Bars& bars, int64_t i) {
  switch (kind) {
    case ChartKind::kFrame:
      switch (bars.types[size_t(i)]) {
        case kIPicture:
          return kBlue;
        case kPPicture:
          return kRed;
        case kBPicture:
          return kGreen;
        default:
          return kMagenta;
      }
    case ChartKind::kGop:
      return i % 2 == 0 ? kBlue : kRed;
    case ChartKind::kSlice:
      break;
  }
  return i % 2 == 0 ? kRed : kGreen;
}

// Ticks every `ticks` bars, long ticks and labels every `labels` bars.
struct Spacing {
  int64_t ticks, labels;
};

Spacing spacing_for(int64_t bar_width) {
  if (bar_width == 1) return {2, 50};
  if (bar_width == 2) return {1, 20};
  return {1, 10};
}

// Y ticks and labels 0, d, 2d, ... of the first digit d of the step, and the unit label.
void add_y_scale(ChartScene& scene, int baseline, int64_t limit, const ViewRegion& region,
                 const TextMetrics& metrics) {
  const int64_t plot = baseline - 20;
  const int64_t raw = limit / (plot / 20);
  int64_t divisor = 100000;
  while (raw / divisor <= 0) divisor /= 10;
  const int64_t step = raw / divisor * divisor;
  const double drop = double(plot) * double(step) / double(limit);
  for (int y = baseline; y >= 15 && y <= baseline; y = int(y - drop)) {
    add_visible(scene, Line{25, y, kOrigin, y}, region, metrics);
  }
  int64_t k = 0;
  for (int y = baseline; y >= 5 && y <= baseline; ++k, y = int(y - drop)) {
    add_visible(scene, Text{5, y - 8, std::to_string(step * k / divisor)}, region, metrics);
  }
  add_visible(scene, Text{32, 0, "Bytes (x" + std::to_string(divisor) + ")"}, region, metrics);
}

void add_legend(ChartScene& scene, int baseline, const ViewRegion& region,
                const TextMetrics& metrics) {
  const int y = baseline + 30;
  add_visible(scene, Text{205, y, "I type", kBlue}, region, metrics);
  add_visible(scene, Text{255, y, "P type", kRed}, region, metrics);
  add_visible(scene, Text{305, y, "B type", kGreen}, region, metrics);
  add_visible(scene, Text{355, y, "Non detected", kMagenta}, region, metrics);
}

void add_x_axis_marks(ChartScene& scene, const Bars& bars, int64_t bar_width, int64_t axes_end,
                      int baseline, const ViewRegion& region, const TextMetrics& metrics) {
  const Spacing spacing = spacing_for(bar_width);
  if (axes_end > 40) {
    add_x_ticks(scene, kOrigin, bar_width * spacing.ticks, bar_width * spacing.labels, axes_end,
                baseline, region, metrics);
  }
  const int64_t pitch = bar_width * spacing.labels;
  const int64_t last_j = std::max<int64_t>(0, (axes_end - 25) / pitch);
  const int widest = widest_number(bars.first_unit + last_j * spacing.labels, metrics);
  const int64_t first_j = std::max<int64_t>(0, floor_div(region.left - widest - 25, pitch));
  const int64_t last_x = std::min<int64_t>(axes_end, int64_t(region.left) + region.width);
  add_x_labels(
      scene, 25, pitch, last_x, baseline + 10, first_j,
      [&](int64_t j) { return std::to_string(bars.first_unit + j * spacing.labels); }, region,
      metrics);
}

// The bars in view with their click regions; bar 0's region also takes the columns left of
// it that the click arithmetic (truncating towards zero) maps to it.
void add_bars(ChartScene& scene, ChartKind kind, const Bars& bars, int64_t bar_width, int64_t limit,
              int baseline, const ViewRegion& region, const TextMetrics& metrics) {
  const auto count = int64_t(bars.values.size());
  const int64_t half = bar_width / 2;
  const auto plot = uint64_t(baseline - 20);
  const int64_t first = std::max<int64_t>(0, floor_div(region.left - kOrigin, bar_width) - 2);
  const int64_t end = std::min<int64_t>(
      count, floor_div(int64_t(region.left) + region.width - kOrigin, bar_width) + 3);
  for (int64_t i = first; i < end; ++i) {
    const int64_t x = kOrigin + i * bar_width;
    const auto height = int64_t(uint64_t(bars.values[size_t(i)]) * plot / uint64_t(limit));
    // A bar far above the window ends just above it.
    const int top = int(std::max<int64_t>(baseline - height, -bar_width - 100));
    const Pen pen{bar_color(kind, bars, i), int(bar_width), true};
    add_visible(scene, Line{int(x), int(baseline - half), int(x), top, pen}, region, metrics);
    const HitBox box{int(i == 0 ? x - half - bar_width + 1 : x - half),
                     top,
                     int(x - half + bar_width - 1),
                     baseline,
                     HitKind::kBar,
                     bars.first_unit + i};
    if (overlaps(box, region)) scene.hits.push_back(box);
  }
}

}  // namespace

std::string chart_title(ChartKind kind, const StoreData& data) {
  switch (kind) {
    case ChartKind::kFrame:
      return data.last_frame < 0 ? "Bytes/frame"
                                 : "Bytes/frame. Frame: " + std::to_string(data.last_frame);
    case ChartKind::kGop:
      return data.open_gop < 0 ? "Bytes/gop" : "Bytes/gop. Gop: " + std::to_string(data.open_gop);
    case ChartKind::kSlice:
      break;
  }
  return "Bytes/Slices";
}

EntryRange chosen_entries(const StoreData& data, const ChosenFrame& chosen) {
  const auto entries = int64_t(valid_entries(data.slice_bytes, data.slice_count).size());
  const int64_t first = std::clamp<int64_t>(chosen.first_slice, 0, entries);
  return {first, std::clamp<int64_t>(chosen.last_slice + 1, first, entries)};
}

int64_t chart_rows(int window_height) {
  return (int64_t(window_height) - 70 - 20) / 20;
}

int initial_x_extent(ChartKind kind) {
  return kind == ChartKind::kSlice ? 800 : 1600;
}

BarChart build_bar_chart(ChartKind kind, const StoreData& data, const ChosenFrame& chosen,
                         const ChartWindow& window, const TextMetrics& metrics) {
  BarChart chart;
  ChartScene& scene = chart.scene;
  scene.title = chart_title(kind, data);
  chart.next_x_extent = window.x_extent;
  const int baseline = window.height - 70;
  const int64_t rows = chart_rows(window.height);
  if (!drawn(kind, data) || rows < 1) return chart;

  const Bars bars = bars_of(kind, data, chosen);
  const ChartSettings& settings = settings_of(kind, data);
  const int64_t bar_width = std::clamp(settings.bar_width, 1, kMaxBarWidth);
  if (kind == ChartKind::kSlice) chart.largest_slice = largest_slice(bars, chosen);
  // A limit below the row count would make the Y step 0.
  chart.y_limit =
      std::max(rows, settings.auto_scale ? automatic_limit(kind, data, chart.largest_slice)
                                         : int64_t(settings.y_limit));
  const ViewRegion& region = window.visible;
  const int64_t axes_end =
      (kind == ChartKind::kGop ? int64_t(window.width) + region.left : window.x_extent) + 40;

  add_visible(scene, Line{kOrigin, 10, kOrigin, baseline + 3}, region, metrics);
  add_visible(scene, Line{27, baseline, int(axes_end), baseline}, region, metrics);
  add_x_axis_marks(scene, bars, bar_width, axes_end, baseline, region, metrics);
  add_y_scale(scene, baseline, chart.y_limit, region, metrics);
  if (kind == ChartKind::kFrame) add_legend(scene, baseline, region, metrics);
  if (kind == ChartKind::kSlice) {
    add_visible(scene,
                Text{150, 0,
                     chosen.frame < 0 ? "Choose a frame"
                                      : "Slices of Frame: " + std::to_string(chosen.frame)},
                region, metrics);
  }
  add_button_box(scene, {10, baseline + 30, 100, baseline + 55, HitKind::kInformation},
                 "Information", region, metrics);
  add_button_box(scene, {110, baseline + 30, 190, baseline + 55, HitKind::kStatistics},
                 "Statistics", region, metrics);
  add_bars(scene, kind, bars, bar_width, chart.y_limit, baseline, region, metrics);

  const auto count = int64_t(bars.values.size());
  const int64_t last_x = count > 0 ? kOrigin + (count - 1) * bar_width : kOrigin;
  const int64_t margin = kind == ChartKind::kSlice ? 300 : 150;
  const int64_t extent = last_x > window.width - 5 ? last_x + margin : window.width - 20;
  scene.scroll_width = int(extent);
  chart.next_x_extent = int(extent + 20);
  return chart;
}

void apply_chart_limits(ChartKind kind, const BarChart& chart, StoreData& data) {
  ChartSettings& settings = kind == ChartKind::kFrame ? data.frame_chart
                            : kind == ChartKind::kGop ? data.gop_chart
                                                      : data.slice_chart;
  if (!settings.auto_scale || chart.y_limit <= 0) return;
  settings.y_limit = int32_t(std::min<int64_t>(chart.y_limit, INT32_MAX));
  if (kind == ChartKind::kSlice) data.max_slice_bytes = int32_t(chart.largest_slice);
}

std::string bar_message(ChartKind kind, const StoreData& data, int64_t index) {
  const auto number = [](int64_t value) { return std::to_string(value); };
  switch (kind) {
    case ChartKind::kFrame:
      if (index < 0 || index >= readable_frames(data)) return {};
      return "Frame:  " + number(index) +
             ".\nFirst Slice:  " + number(entry(data.frame_first_slice, index)) +
             ".\nLast Slice:  " + number(int64_t(entry(data.frame_first_slice, index + 1)) - 1) +
             ".\nBytes:  " + number(data.frame_bytes[size_t(index)]) + ".";
    case ChartKind::kGop:
      if (index < 0 || index >= int64_t(valid_entries(data.gop_bytes, data.gop_count()).size())) {
        return {};
      }
      return "Gop:  " + number(index) +
             "\nFirst Frame:  " + number(entry(data.gop_first_frame, index)) +
             "\nLast Frame:  " + number(int64_t(entry(data.gop_first_frame, index + 1)) - 1) +
             "\nBytes:  " + number(data.gop_bytes[size_t(index)]);
    case ChartKind::kSlice:
      break;
  }
  if (index < 0 || index >= int64_t(valid_entries(data.slice_bytes, data.slice_count).size())) {
    return {};
  }
  return "\nSlice:  " + number(index) + ".\nBytes:  " + number(data.slice_bytes[size_t(index)]) +
         ".";
}

ChosenFrame choose_frame(const StoreData& data, int64_t frame) {
  if (frame < 0 || frame > data.last_frame) return {};
  return {frame, entry(data.frame_first_slice, frame),
          int64_t(entry(data.frame_first_slice, frame + 1)) - 1};
}

}  // namespace tavik
