#include "charts/timing_chart.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "support/fixed_metrics.h"

namespace tavik {
namespace {

const test::FixedMetrics kMetrics;

// A window 600 x 400: baseline 340, plot 320 pixels high.
const ChartWindow kWindow{600, 400, 0, {0, 0, 600, 400}};

template <typename Item>
bool has(const ChartScene& scene, const Item& wanted) {
  return std::any_of(scene.items.begin(), scene.items.end(), [&](const Primitive& item) {
    const auto* found = std::get_if<Item>(&item);
    return found != nullptr && *found == wanted;
  });
}

TEST(TimingChart, BitrateBarsMovingAverageNominalAndClick) {
  BitrateReport report;
  report.per_second = {{0, 0, 1, 2000000, 2000}, {1, 1, 0.5, 500000, 1000}};
  report.moving = {{0, 0, 1, 2000000, 2000}, {1, 0, 1.5, 2500000, 2500000 / 1.5 / 1000}};
  const TimingChartSettings settings;  // 20 pixels a second, Automatic
  const ChartScene scene = build_bitrate_chart(report, 2000000, "", settings, kWindow, kMetrics);
  // Largest 2000 kbit/s, 5% above it: labels every 500 up to 2500; 2000 is 256 pixels up.
  EXPECT_TRUE(has(scene, Text{5, 84 - 8, "2000"}));
  EXPECT_TRUE(has(scene, Text{5, 20 - 8, "2500"}));
  EXPECT_TRUE(has(scene, Fill{60, 84, 79, 339, {100, 149, 237}}));
  // The short last second is half as wide.
  EXPECT_TRUE(has(scene, Fill{80, 212, 89, 339, {70, 110, 180}}));
  EXPECT_TRUE(has(scene, Polyline{{{80, 84}, {90, 127}}, Pen{kRed, 2}}));
  EXPECT_TRUE(has(scene, Line{60, 84, 65, 84, Pen{{0, 128, 0}, 2}}));
  // Time labels every 5 s (100 pixels), centred under their tick.
  EXPECT_TRUE(has(scene, Text{160 - 32, 348, "00:00:05"}));
  const ChartHit hit = hit_test(scene, 85, 300);
  ASSERT_EQ(hit.kind, HitKind::kBar);
  EXPECT_EQ(bitrate_message(report, settings, hit.index),
            "Second:  1\nTime:  00:00:01.000\nBits:  500000\nBitrate:  1000.000 kbit/s");
  EXPECT_EQ(hit_test(scene, 85, 200).kind, HitKind::kNone);
}

TEST(TimingChart, VbvSawToothBufferViolationsAndClick) {
  VbvReport report;
  report.buffer_size_bits = 1000000;
  report.bit_rate = 1000000;
  report.pictures = {{0, kIPicture, 0.5, 400000, 500000, 100000, 0, 0},
                     {1, kPPicture, 0.54, 20000, 140000, 120000, 0, 0}};
  report.violations = {{VbvKind::kOverflow, 1, 0.54, 5}, {VbvKind::kVbvDelay, 0, 0.5, 3}};
  TimingChartSettings settings;
  settings.pixels_per_second = 100;
  const ChartScene scene = build_vbv_chart(report, settings, kWindow, kMetrics);
  // Up to 1000 kbit: 0.32 pixels a kbit, from the empty buffer at time 0.
  EXPECT_TRUE(has(
      scene, Polyline{{{60, 340}, {110, 180}, {110, 308}, {114, 295}, {114, 302}}, Pen{kBlue, 1}}));
  EXPECT_TRUE(has(scene, Line{60, 20, scene.scroll_width, 20, Pen{kBlack, 1}}));
  // The overflow is marked, the vbv_delay warning is not.
  EXPECT_TRUE(has(scene, Line{114, 20, 114, 340, Pen{kRed, 2}}));
  EXPECT_FALSE(has(scene, Line{110, 20, 110, 340, Pen{kRed, 2}}));
  EXPECT_EQ(vbv_picture_at(report, settings, 111)->index, 0);
  const auto picture = vbv_picture_at(report, settings, 113);
  ASSERT_TRUE(picture);
  EXPECT_EQ(vbv_message(*picture),
            "Picture:  1 (P)\nTime:  00:00:00.540\nBits:  20000\nOccupancy before:  140000 "
            "bits\nOccupancy after:  120000 bits");
}

TEST(TimingChart, ProblemClockAndEmptyReports) {
  VbvReport unmodelled;
  unmodelled.problem = "bit_rate is 0";
  const ChartScene scene = build_vbv_chart(unmodelled, {}, kWindow, kMetrics);
  EXPECT_TRUE(has(scene, Text{60, 20, "VBV not modelled: bit_rate is 0"}));
  EXPECT_FALSE(vbv_picture_at(unmodelled, {}, 100));
  EXPECT_EQ(clock_text(3725.46, 1), "01:02:05.5");
  EXPECT_EQ(clock_text(59.9996, 3), "00:01:00.000");
  EXPECT_TRUE(build_bitrate_chart({}, 0, "", {}, kWindow, kMetrics).hits.empty());
  EXPECT_TRUE(
      has(build_bitrate_chart({}, 0, "frame_rate_code 9 is forbidden", {}, kWindow, kMetrics),
          Text{60, 20, "Bitrate not measured: frame_rate_code 9 is forbidden"}));
}

}  // namespace
}  // namespace tavik
