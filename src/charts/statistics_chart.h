#pragma once

#include "charts/bar_chart.h"
#include "charts/scene.h"
#include "charts/statistics.h"

namespace tavik {

inline constexpr int kStatisticsInitialExtent = 1600;

// One paint of the Statistics window for `result`: the curve (or the result's problem text),
// axes, labels, titles and the toggle box within window.visible, and the x extent for the
// next paint. Ticks, labels and curve share one plot height: baseline - 30.
struct StatisticsChart {
  ChartScene scene;
  int next_x_extent = 0;
};
[[nodiscard]] StatisticsChart build_statistics_chart(const StatResult& result,
                                                     const ChartWindow& window,
                                                     const TextMetrics& metrics);

}  // namespace tavik
