#include "charts/statistics_chart.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "charts/chart_parts.h"
#include "results/summary.h"

namespace tavik {

namespace {

constexpr int kOrigin = 140;

struct Spacing {
  int64_t ticks, labels;
};

Spacing spacing_for(int64_t bar_width) {
  if (bar_width == 1) return {2, 50};
  if (bar_width == 2) return {1, 20};
  if (bar_width < 10) return {1, 10};
  if (bar_width < 20) return {1, 5};
  return {1, 1};
}

// A y coordinate that stays well inside int for any value.
int clamped_y(double y) {
  return int(std::clamp(std::trunc(y), -16777216.0, 16777216.0));
}

// Scale geometry shared by the Y axis and the curve.
struct Plot {
  int baseline;
  int64_t height;  // plot height H
  int64_t bar_width;
  double span;  // S: the value range from the bottom of the plot to its top
};

// The power of ten of the X labels: that of the minimum.
int64_t x_label_divisor(const StatResult& result) {
  int64_t divisor = 1;
  if (result.histogram) {
    while (result.minimum / divisor >= 10) divisor *= 10;
  }
  return divisor;
}

std::optional<std::string> x_label(const StatResult& result, int64_t label_every, int64_t divisor,
                                   int64_t j) {
  if (!result.histogram) return std::to_string(j * label_every);
  const auto intervals = int64_t(result.values.size());
  const int64_t a =
      intervals * result.minimum + int64_t(result.maximum - result.minimum) * label_every * j;
  if (result.maximum < a / intervals) return std::nullopt;
  return FormatRatio(a, intervals * divisor);
}

std::string y_label(const StatResult& result, double step, int64_t divisor, int64_t k) {
  if (result.histogram) return " " + std::to_string(int64_t(step) * k / divisor);
  const double v = double(k) * step - double(result.negative_max);
  if (v >= 0) return " " + FormatRatio(int64_t(v), result.values[0]);
  return "-" + FormatRatio(int64_t(-v), result.values[0]);
}

// Y ticks and labels; returns the divisor shown in the Y-axis title.
int64_t add_y_scale(ChartScene& scene, const StatResult& result, const Plot& plot,
                    const ViewRegion& region, const TextMetrics& metrics) {
  const double raw = plot.span / double(plot.height / 20);
  int64_t divisor = 1;
  double step = 1;
  if (raw >= 1) {
    divisor = 10;
    while (std::trunc(raw / double(divisor)) <= 0) divisor /= 10;
    step = std::trunc(raw / double(divisor)) * double(divisor);
  }
  if (!result.histogram) divisor = 1;
  const double drop = double(plot.height) * step / plot.span;
  for (int y = plot.baseline; y >= 15 && y <= plot.baseline; y = int(y - drop)) {
    add_visible(scene, Line{135, y, kOrigin, y}, region, metrics);
  }
  int64_t k = 0;
  for (int y = plot.baseline; y >= 5 && y <= plot.baseline; ++k, y = int(y - drop)) {
    add_visible(scene, Text{105, y - 8, y_label(result, step, divisor, k)}, region, metrics);
  }
  return divisor;
}

// The curve; returns the x of its last point.
int64_t add_curve(ChartScene& scene, const StatResult& result, const Plot& plot, int64_t axis_end,
                  const ViewRegion& region, const TextMetrics& metrics) {
  Polyline curve{{}, Pen{kBlue, 3}};
  const double b = plot.baseline;
  const double h = double(plot.height);
  if (result.histogram) {
    for (size_t k = 0; k < result.values.size(); ++k) {
      const int64_t x = kOrigin + int64_t(k) * plot.bar_width + plot.bar_width / 2;
      curve.points.push_back({int(x), clamped_y(b - double(result.values[k]) / plot.span * h)});
    }
  } else {
    curve.points.push_back({kOrigin, int(plot.baseline - plot.height)});
    for (int64_t k = 1; k <= result.points; ++k) {
      const auto magnitude = double(result.values[size_t(k)]);
      const double value = result.negative[size_t(k)] != 0 ? -magnitude : magnitude;
      curve.points.push_back(
          {int(kOrigin + k * plot.bar_width),
           clamped_y(b - (value + double(result.negative_max)) * h / plot.span)});
    }
  }
  const int64_t last_x = curve.points.back().x;
  add_visible(scene, std::move(curve), region, metrics);
  if (!result.histogram) {
    const int zero = clamped_y(b - double(result.negative_max) * h / plot.span);
    add_visible(scene, Line{kOrigin, zero, int(axis_end + 30), zero}, region, metrics);
  }
  return last_x;
}

void add_titles(ChartScene& scene, const StatResult& result, int baseline, int64_t x_divisor,
                int64_t y_divisor, const ViewRegion& region, const TextMetrics& metrics) {
  static constexpr std::array<const char*, 3> kHeadings = {" of gops", " of frames", " of Slices"};
  static constexpr std::array<const char*, 3> kYTitles = {"Number of Gops(x", "Number of frames(x",
                                                          "Number of Slices(x"};
  const auto source = size_t(result.source);
  const std::string x_title =
      result.histogram ? "Bytes (x" + std::to_string(x_divisor) + ")" : "Delay";
  add_visible(scene, Text{142, baseline + 30, x_title, kLightGrey}, region, metrics);
  add_visible(
      scene,
      Text{340, 0,
           (result.histogram ? "Histogram" : "Correlation") + std::string(kHeadings[source]),
           kLightGrey},
      region, metrics);
  add_visible(scene, Text{142, 0, kYTitles[source] + std::to_string(y_divisor) + ")", kLightGrey},
              region, metrics);
}

}  // namespace

StatisticsChart build_statistics_chart(const StatResult& result, const ChartWindow& window,
                                       const TextMetrics& metrics) {
  StatisticsChart chart;
  ChartScene& scene = chart.scene;
  scene.title = "Statistics";
  chart.next_x_extent = window.x_extent;
  const int baseline = window.height - 60;
  const Plot base{baseline, baseline - 30, 1, 0};
  if (base.height / 20 < 1) return chart;
  const ViewRegion& region = window.visible;
  const HitBox toggle{5, baseline, 95, baseline + 25, HitKind::kToggle};
  const char* toggle_caption = result.histogram ? "Correlation" : "Histogram";
  int64_t last_x = kOrigin;

  if (!result.problem.empty()) {
    add_button_box(scene, toggle, toggle_caption, region, metrics);
    add_visible(scene, Text{kOrigin + 10, 30, result.problem}, region, metrics);
  } else {
    const int64_t units = result.histogram ? int64_t(result.values.size()) : result.points;
    Plot plot = base;
    plot.bar_width = std::max<int64_t>(1, (window.width - 150) / units);
    plot.span = result.histogram ? result.top : double(result.negative_max) + result.top;
    const Spacing spacing = spacing_for(plot.bar_width);
    const int64_t x_divisor = x_label_divisor(result);
    const int64_t label_x = add_x_labels(
        scene, 135, plot.bar_width * spacing.labels, int64_t(window.x_extent) + 40, baseline + 10,
        0, [&](int64_t j) { return x_label(result, spacing.labels, x_divisor, j); }, region,
        metrics);
    const int64_t axis_end = label_x + 5;
    if (window.x_extent > 0) {
      add_x_ticks(scene, kOrigin, plot.bar_width * spacing.ticks, 5 * plot.bar_width,
                  std::min<int64_t>(int64_t(window.x_extent) + 40, axis_end), baseline, region,
                  metrics);
    }
    add_visible(scene, Line{kOrigin, 10, kOrigin, baseline + 3}, region, metrics);
    add_visible(scene, Line{137, baseline, int(axis_end + 30), baseline}, region, metrics);
    const int64_t y_divisor = add_y_scale(scene, result, plot, region, metrics);
    add_button_box(scene, toggle, toggle_caption, region, metrics);
    add_titles(scene, result, baseline, x_divisor, y_divisor, region, metrics);
    last_x = add_curve(scene, result, plot, axis_end, region, metrics);
  }
  const int64_t extent = last_x > window.width - 5 ? last_x + 150 : window.width - 20;
  scene.scroll_width = int(extent);
  chart.next_x_extent = int(extent + 20);
  return chart;
}

}  // namespace tavik
