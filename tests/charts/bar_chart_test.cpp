#include "charts/bar_chart.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "support/fixed_metrics.h"

namespace tavik {
namespace {

const test::FixedMetrics kMetrics;

// A window 600 x 500 (baseline 430, 20 rows), showing its first 600 columns.
ChartWindow window(int x_extent = 1600, ViewRegion visible = {0, 0, 600, 500}) {
  return {600, 500, x_extent, visible};
}

// Frames of the given sizes and types, `slices` entries per frame (of 100 + s bytes each).
StoreData store_with_frames(const std::vector<uint32_t>& bytes, uint32_t slices = 2) {
  StoreData data;
  for (size_t f = 0; f < bytes.size(); ++f) {
    store_at(data.frame_bytes, int64_t(f), bytes[f]);
    store_at(data.frame_types, int64_t(f), uint32_t(f % 5));
    store_at(data.frame_first_slice, int64_t(f) + 1, uint32_t(f + 1) * slices);
  }
  for (uint32_t s = 0; s < bytes.size() * slices; ++s) store_at(data.slice_bytes, s, 100 + s);
  data.last_frame = int32_t(bytes.size()) - 1;
  data.slice_count = int32_t(bytes.size() * slices);
  return data;
}

std::vector<Text> texts_at_y(const ChartScene& scene, int y) {
  std::vector<Text> found;
  for (const Primitive& item : scene.items) {
    if (const auto* text = std::get_if<Text>(&item); text && text->y == y) found.push_back(*text);
  }
  return found;
}

std::vector<Text> texts_at_x(const ChartScene& scene, int x) {
  std::vector<Text> found;
  for (const Primitive& item : scene.items) {
    if (const auto* text = std::get_if<Text>(&item); text && text->x == x) found.push_back(*text);
  }
  return found;
}

TEST(BarChart, AutomaticLimitsAndTheirWriteBack) {
  StoreData data = store_with_frames({500, 600});
  struct Case {
    ChartKind kind;
    int32_t max_frame, max_gop;
    ChosenFrame chosen;
    int64_t limit;
  };
  const ChosenFrame no_slices{1, 4, 3};
  const Case cases[] = {{ChartKind::kFrame, 12345, 0, {}, 13000},
                        {ChartKind::kFrame, 13000, 0, {}, 14000},
                        {ChartKind::kGop, 0, 1000, {}, 5000},
                        {ChartKind::kSlice, 0, 0, {}, 1100},
                        {ChartKind::kSlice, 0, 0, no_slices, 100},
                        {ChartKind::kSlice, 0, 0, choose_frame(data, 1), 200}};
  data.open_gop = 1;
  for (const Case& c : cases) {
    data.max_frame_bytes = c.max_frame;
    data.max_gop_bytes = c.max_gop;
    const BarChart chart = build_bar_chart(c.kind, data, c.chosen, window(), kMetrics);
    EXPECT_EQ(chart.y_limit, c.limit) << int(c.kind);
    apply_chart_limits(c.kind, chart, data);
  }
  EXPECT_EQ(data.frame_chart.y_limit, 14000);
  EXPECT_EQ(data.gop_chart.y_limit, 5000);
  EXPECT_EQ(data.slice_chart.y_limit, 200);
  EXPECT_EQ(data.max_slice_bytes, 103);  // the largest of entries 2 and 3
}

TEST(BarChart, YScaleDivisorAndLabels) {
  StoreData data = store_with_frames({1000});
  data.frame_chart = {5, 0, 3000};
  // Limit 3000 over 20 rows: step 100, labels every 13.67 pixels, truncated at each step.
  ChartScene scene = build_bar_chart(ChartKind::kFrame, data, {}, window(), kMetrics).scene;
  std::vector<Text> labels = texts_at_x(scene, 5);
  ASSERT_GE(labels.size(), 3u);
  EXPECT_EQ(labels[0], (Text{5, 422, "0"}));
  EXPECT_EQ(labels[1], (Text{5, 408, "1"}));
  EXPECT_EQ(labels[2], (Text{5, 394, "2"}));
  EXPECT_EQ(texts_at_y(scene, 0)[0].text, "Bytes (x100)");
  // A raw step of 250000: divisor 100000, step 200000, labels 0, 2, 4, ...
  data.frame_chart = {5, 0, 5000000};
  scene = build_bar_chart(ChartKind::kFrame, data, {}, window(), kMetrics).scene;
  labels = texts_at_x(scene, 5);
  ASSERT_GE(labels.size(), 3u);
  EXPECT_EQ(labels[1].text, "2");
  EXPECT_EQ(labels[2].text, "4");
  EXPECT_EQ(texts_at_y(scene, 0)[0].text, "Bytes (x100000)");
}

TEST(BarChart, XLabelSpacingByBarWidth) {
  StoreData data = store_with_frames(std::vector<uint32_t>(400, 700));
  struct Case {
    int32_t bar_width;
    int pitch;
    const char* second;
  };
  for (const Case& c : {Case{1, 50, "50"}, Case{2, 40, "20"}, Case{5, 50, "10"}}) {
    data.frame_chart.bar_width = c.bar_width;
    const ChartScene scene = build_bar_chart(ChartKind::kFrame, data, {}, window(), kMetrics).scene;
    const std::vector<Text> labels = texts_at_y(scene, 440);
    ASSERT_GE(labels.size(), 3u);
    EXPECT_EQ(labels[0], (Text{25, 440, "0"}));
    EXPECT_EQ(labels[1], (Text{25 + c.pitch, 440, c.second}));
  }
}

// The legend's texts are written in white on the dark colours and black on the light ones.
TEST(BarChart, LegendTextsReadOnTheirColours) {
  const ChartScene scene =
      build_bar_chart(ChartKind::kFrame, store_with_frames({700}), {}, window(), kMetrics).scene;
  std::map<std::string, Rgb> written;
  for (const Text& text : texts_at_y(scene, 460)) {
    written[text.text] = text_colour_on(text.background);
  }
  EXPECT_EQ(
      written,
      (std::map<std::string, Rgb>{
          {"I type", kWhite}, {"P type", kWhite}, {"B type", kBlack}, {"Non detected", kWhite}}));
  EXPECT_EQ(text_colour_on(kLightGrey), kBlack);
  EXPECT_EQ(text_colour_on(kWhite), kBlack);
}

TEST(BarChart, ClicksOnBarsAndBoxes) {
  StoreData data = store_with_frames({0, 2000, 1500, 800});
  // Frame 3 has no slice entries of its own.
  store_at(data.frame_first_slice, 4, 6);
  const BarChart chart = build_bar_chart(ChartKind::kFrame, data, {}, window(), kMetrics);
  // Bar 1 at x = 35 covers 33 .. 37; bar 0 (0 bytes) only the baseline row.
  EXPECT_EQ(hit_test(chart.scene, 35, 430).index, 1);
  EXPECT_EQ(hit_test(chart.scene, 35, 431).kind, HitKind::kNone);
  EXPECT_EQ(hit_test(chart.scene, 24, 430).index, 0);
  EXPECT_EQ(hit_test(chart.scene, 24, 429).kind, HitKind::kNone);
  EXPECT_EQ(hit_test(chart.scene, 10, 460).kind, HitKind::kInformation);
  EXPECT_EQ(hit_test(chart.scene, 190, 485).kind, HitKind::kStatistics);
  EXPECT_EQ(bar_message(ChartKind::kFrame, data, 1),
            "Frame:  1.\nFirst Slice:  2.\nLast Slice:  3.\nBytes:  2000.");
  EXPECT_EQ(bar_message(ChartKind::kFrame, data, 3),
            "Frame:  3.\nFirst Slice:  6.\nLast Slice:  5.\nBytes:  800.");
  EXPECT_EQ(bar_message(ChartKind::kFrame, data, 4), "");

  // The frame without slices: no bars, limit 100, its number above the chart.
  const ChosenFrame chosen = choose_frame(data, 3);
  const BarChart slices = build_bar_chart(ChartKind::kSlice, data, chosen, window(), kMetrics);
  EXPECT_EQ(slices.y_limit, 100);
  EXPECT_EQ(texts_at_y(slices.scene, 0)[1].text, "Slices of Frame: 3");
  EXPECT_EQ(hit_test(slices.scene, 30, 430).kind, HitKind::kNone);

  data.open_gop = 1;
  store_at(data.gop_bytes, 0, 4300);
  store_at(data.gop_first_frame, 1, 3);
  EXPECT_EQ(bar_message(ChartKind::kGop, data, 0),
            "Gop:  0\nFirst Frame:  0\nLast Frame:  2\nBytes:  4300");
  EXPECT_EQ(bar_message(ChartKind::kSlice, data, 5), "\nSlice:  5.\nBytes:  105.");
}

TEST(BarChart, VisibleWindowEqualsTheFullChartThere) {
  std::vector<uint32_t> bytes(3000);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint32_t(i * 7919 % 3000);
  StoreData data = store_with_frames(bytes);
  data.frame_chart.bar_width = 1;
  const ViewRegion full;
  const ViewRegion region{1234, 0, 300, 500};
  const ChartScene whole =
      build_bar_chart(ChartKind::kFrame, data, {}, window(3200, full), kMetrics).scene;
  ChartScene expected;
  for (const Primitive& item : whole.items) add_visible(expected, item, region, kMetrics);
  for (const HitBox& box : whole.hits) {
    if (overlaps(box, region)) expected.hits.push_back(box);
  }
  const ChartScene part =
      build_bar_chart(ChartKind::kFrame, data, {}, window(3200, region), kMetrics).scene;
  EXPECT_GT(part.items.size(), 300u);
  EXPECT_EQ(part.items, expected.items);
  EXPECT_EQ(part.hits, expected.hits);
  EXPECT_EQ(part.scroll_width, 30 + 2999 + 150);
}

TEST(BarChart, EmptyAndGrowingStores) {
  StoreData data;
  EXPECT_TRUE(build_bar_chart(ChartKind::kFrame, data, {}, window(), kMetrics).scene.items.empty());
  // The first GOP still open: axes and boxes, no bars.
  data.open_gop = 0;
  const ChartScene gops = build_bar_chart(ChartKind::kGop, data, {}, window(), kMetrics).scene;
  EXPECT_FALSE(gops.items.empty());
  EXPECT_EQ(gops.hits.size(), 2u);
  // Counters ahead of arrays that were never grown: only the readable entries are drawn.
  data = store_with_frames({100, 200, 300});
  data.last_frame = 100000;
  data.slice_count = 100000;
  data.frame_bytes.resize(3);
  data.slice_bytes.resize(4);
  const ChosenFrame chosen{2, 2, 900};
  EXPECT_EQ(build_bar_chart(ChartKind::kFrame, data, {}, window(), kMetrics).scene.hits.size(), 5u);
  EXPECT_EQ(build_bar_chart(ChartKind::kSlice, data, chosen, window(), kMetrics).scene.hits.size(),
            4u);
  EXPECT_EQ(bar_message(ChartKind::kSlice, data, 4), "");
  // A window too low for one row draws nothing; a limit below the row count is raised to it.
  EXPECT_TRUE(build_bar_chart(ChartKind::kSlice, data, {}, {600, 100, 800, {}}, kMetrics)
                  .scene.items.empty());
  data.frame_chart = {0, 0, 0};
  EXPECT_EQ(build_bar_chart(ChartKind::kFrame, data, {}, window(), kMetrics).y_limit, 20);
  data.frame_chart.bar_width = 1 << 30;  // drawn kMaxBarWidth wide
  EXPECT_EQ(build_bar_chart(ChartKind::kFrame, data, {}, window(), kMetrics).scene.scroll_width,
            30 + 2 * kMaxBarWidth + 150);
}

}  // namespace
}  // namespace tavik
