#include "charts/info_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/fixed_metrics.h"

namespace tavik {
namespace {

const test::FixedMetrics kMetrics;

StoreData store_with_frames(int frames) {
  StoreData data;
  for (int f = 0; f < frames; ++f) {
    store_at(data.frame_bytes, f, uint32_t(4000 + f));
    store_at(data.frame_types, f, uint32_t(f % 4));
  }
  data.last_frame = frames - 1;
  return data;
}

std::vector<Text> texts_of(const ChartScene& scene) {
  std::vector<Text> texts;
  for (const Primitive& item : scene.items) texts.push_back(std::get<Text>(item));
  return texts;
}

TEST(InfoList, LineTexts) {
  const StoreData data = store_with_frames(5);
  EXPECT_EQ(list_line(ListKind::kFrames, data, {}, 3), "Frame: 3 - Type: B - Bytes: 4003");
  EXPECT_EQ(list_line(ListKind::kFrames, data, {}, 4),
            "Frame: 4 - Type: Non detected - Bytes: 4004");
  EXPECT_EQ(list_header(ListKind::kGops, "/a/b.m2v"), "Analisys (GOP) of: /a/b.m2v");
  StoreData gops;
  gops.open_gop = 2;
  store_at(gops.gop_bytes, 1, 90000);
  EXPECT_EQ(list_line_count(ListKind::kGops, gops, {}), 2);
  EXPECT_EQ(list_line(ListKind::kGops, gops, {}, 1), "GOP: 1 - Bytes: 90000");

  EXPECT_EQ(list_csv(ListKind::kFrames, store_with_frames(2), {}),
            "frame,type,bytes\n0,non detected,4000\n1,I,4001\n");
  EXPECT_EQ(list_csv(ListKind::kGops, gops, {}), "gop,bytes\n0,0\n1,90000\n");
}

TEST(InfoList, ChosenFrameSlices) {
  StoreData data;
  for (uint32_t s = 0; s < 90; ++s) store_at(data.slice_bytes, s, 1000 + s);
  data.slice_count = 90;
  const ChosenFrame chosen{7, 80, 84};
  const ChartScene scene =
      build_list_scene(ListKind::kSlices, data, chosen, "in.mpg", 400, {0, 0, 300, 400}, kMetrics);
  const std::vector<Text> texts = texts_of(scene);
  ASSERT_EQ(texts.size(), 7u);
  EXPECT_EQ(texts[0].text, "Analisys (Slices) of: in.mpg");
  EXPECT_EQ(texts[1], (Text{0, 30, "----------------------  Frame: 7  ----------------------"}));
  EXPECT_EQ(texts[2], (Text{0, 45, "Slice: 80 - Bytes: 1080"}));
  EXPECT_EQ(texts[6], (Text{0, 105, "Slice: 84 - Bytes: 1084"}));
  EXPECT_EQ(scene.title, "Slices Information");
  // No chosen frame: the header only; a frame without slices: its line only (y below: 45).
  EXPECT_EQ(list_line_count(ListKind::kSlices, data, {}), 0);
  EXPECT_EQ(list_line_count(ListKind::kSlices, data, {3, 40, 39}), 1);
  EXPECT_EQ(list_csv(ListKind::kSlices, data, {7, 83, 84}), "slice,bytes\n83,1083\n84,1084\n");
  EXPECT_EQ(list_csv(ListKind::kSlices, data, {}), "slice,bytes\n");
}

TEST(InfoList, ScrollRangeAndFollowPosition) {
  struct Case {
    int64_t lines;
    int y_extent, follow_y;
  };
  for (const Case& c : {Case{30, 490, 480}, Case{20, 380, 0}, Case{0, 380, 0}, Case{1, 380, 0}}) {
    const ListScroll scroll = list_scroll(c.lines, 400);
    EXPECT_EQ(scroll.y_extent, c.y_extent) << c.lines;
    EXPECT_EQ(scroll.follow_y, c.follow_y) << c.lines;
  }
}

TEST(InfoList, OnlyTheVisibleLinesOfALongList) {
  const StoreData data = store_with_frames(200000);
  // Rows 1000 .. 1199: line 64 (y 990 .. 1005) is the first touched, line 77 (y 1185) the last.
  EXPECT_EQ(visible_lines(200000, 1000, 200, 16).first, 64);
  EXPECT_EQ(visible_lines(200000, 1000, 200, 16).end, 78);
  const ChartScene scene =
      build_list_scene(ListKind::kFrames, data, {}, "x.m2v", 300, {0, 1000, 400, 200}, kMetrics);
  const std::vector<Text> texts = texts_of(scene);
  ASSERT_EQ(texts.size(), 14u);
  EXPECT_EQ(texts.front().text, "Frame: 64 - Type: Non detected - Bytes: 4064");
  EXPECT_EQ(scene.scroll_height, 30 + 15 * 200000 + 10);
  // A store whose counter ran ahead of its arrays lists what it holds.
  StoreData short_arrays = store_with_frames(3);
  short_arrays.last_frame = 1000;
  short_arrays.frame_types.resize(2);
  EXPECT_EQ(list_line_count(ListKind::kFrames, short_arrays, {}), 2);
}

}  // namespace
}  // namespace tavik
