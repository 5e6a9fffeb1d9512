#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "charts/bar_chart.h"
#include "charts/scene.h"
#include "timing/bitrate.h"
#include "timing/vbv_model.h"

namespace tavik {

// What the Bitrate and VBV buffer charts are configured with.
struct TimingChartSettings {
  MovingWindow moving{false, 5};   // the moving average's window
  bool per_gop = false;            // Bitrate: a bar per GOP instead of per second
  int32_t pixels_per_second = 20;  // the time scale
  bool auto_scale = true;          // the Y axis follows the figures (VBV: the buffer size)
  int32_t y_limit = 10000;         // the top of the Y axis otherwise: kbit/s, or kbit (VBV)
};

inline constexpr int kTimingChartLeft = 60;  // x of time 0

// Seconds as hh:mm:ss, with `decimals` (0 to 3) digits of the second after a point.
[[nodiscard]] std::string clock_text(double seconds, int decimals = 0);

// One paint of the Bitrate chart: per-second (or per-GOP) bars with their click regions, the
// moving average as a line and the nominal rate (bits per second; 0 or less: none) as a dashed
// line, over a time axis; the timeline's `problem` instead when there is one. Only what lies in
// window.visible is made.
[[nodiscard]] ChartScene build_bitrate_chart(const BitrateReport& report, int64_t nominal,
                                             const std::string& problem,
                                             const TimingChartSettings& settings,
                                             const ChartWindow& window, const TextMetrics& metrics);

// One paint of the VBV buffer chart: the occupancy as a saw-tooth line over time, the buffer
// size as a line and each underflow or overflow as a red mark; the report's problem instead
// when it has one.
[[nodiscard]] ChartScene build_vbv_chart(const VbvReport& report,
                                         const TimingChartSettings& settings,
                                         const ChartWindow& window, const TextMetrics& metrics);

// The picture whose decoding time lies nearest to chart column x, if any.
[[nodiscard]] std::optional<VbvPicture> vbv_picture_at(const VbvReport& report,
                                                       const TimingChartSettings& settings, int x);

// The message box texts for a click on a picture of the VBV chart and on a Bitrate bar.
[[nodiscard]] std::string vbv_message(const VbvPicture& picture);
[[nodiscard]] std::string bitrate_message(const BitrateReport& report,
                                          const TimingChartSettings& settings, int64_t bar);

}  // namespace tavik
