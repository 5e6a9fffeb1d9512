// The macroblock overlays, the inspect hit-test and the Picture window's lines against
// macroblocks worked out by hand.
#include "charts/macroblock_overlay.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "charts/macroblock_lookup.h"
#include "charts/picture_info.h"

namespace tavik {
namespace {

// A P frame of 2x2 macroblocks: intra (quantiser 1, 100 bits), forward with the vector (5, -3)
// (quantiser 62, 300 bits), skipped, and one a damaged slice lost.
struct FrameOfFour {
  std::vector<MacroblockRecord> records = std::vector<MacroblockRecord>(4);
  PictureMacroblocks picture;
  FrameOfFour() {
    records[0].flags = kMbRecordIntra | kMbRecordDecoded;
    records[0].quantiser_scale = 1;
    records[0].bits = 100;
    records[1].flags = kMbRecordForward | kMbRecordPattern | kMbRecordDecoded;
    records[1].motion_type = 2;
    records[1].vectors[0][0][0] = 5;
    records[1].vectors[0][0][1] = -3;
    records[1].quantiser_scale = 62;
    records[1].bits = 300;
    records[2].flags = kMbRecordSkipped | kMbRecordDecoded;
    records[2].quantiser_scale = 62;
    picture.records = records;
    picture.picture = 7;
    picture.picture_coding_type = 2;
    picture.mb_columns = 2;
    picture.mb_rows = 2;
  }
};

template <typename T>
std::vector<T> items_of(const ChartScene& scene) {
  std::vector<T> found;
  for (const Primitive& item : scene.items) {
    if (const T* t = std::get_if<T>(&item)) found.push_back(*t);
  }
  return found;
}

TEST(MacroblockOverlay, LayersOfAFramePicture) {
  const FrameOfFour frame;
  const PictureMacroblocks pictures[] = {frame.picture};
  const Rgb blue{0, 0, 255};
  const Rgb red{255, 0, 0};
  const struct {
    unsigned layer;
    std::vector<Fill> fills;
  } kCases[] = {
      {kOverlayTypes,
       {{0, 0, 15, 15, kCategoryColours[0], kTypeAlpha},
        {16, 0, 31, 15, kCategoryColours[1], kTypeAlpha},
        {0, 16, 15, 31, kCategoryColours[4], kTypeAlpha},
        {16, 16, 31, 31, kCategoryColours[5], kTypeAlpha}}},
      // Skipped and lost macroblocks have no quantiser of their own.
      {kOverlayQuantiser, {{0, 0, 15, 15, blue, kHeatAlpha}, {16, 0, 31, 15, red, kHeatAlpha}}},
      // 0 (the skipped one) to 300 bits: 100 bits is a third of the way, between cyan and green.
      {kOverlayBits,
       {{0, 0, 15, 15, Rgb{0, 255, 170}, kHeatAlpha},
        {16, 0, 31, 15, red, kHeatAlpha},
        {0, 16, 15, 31, blue, kHeatAlpha}}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.layer);
    EXPECT_EQ(items_of<Fill>(macroblock_overlay(pictures, 32, 32, c.layer)), c.fills);
  }
  const ChartScene grid = macroblock_overlay(pictures, 32, 32, kOverlayGrid);
  EXPECT_EQ(items_of<Fill>(grid),
            (std::vector<Fill>{{16, 0, 16, 31, kGridColour}, {0, 16, 31, 16, kGridColour}}));
  // The forward vector from the centre (24, 8), in whole samples rounded away from zero, then
  // two strokes of its head; the skipped macroblock's zero vector draws nothing.
  const std::vector<Line> vectors =
      items_of<Line>(macroblock_overlay(pictures, 32, 32, kOverlayVectors));
  ASSERT_EQ(vectors.size(), 3U);
  EXPECT_EQ(vectors[0], (Line{24, 8, 27, 6, Pen{kForwardVectorColour, 1}}));
}

TEST(MacroblockOverlay, FieldPicturesShareTheRowsOfTheFrame) {
  // A B frame of two field pictures, one macroblock each: the second field's, backward with
  // the field vector (0, 3), shows in the lower half of the 32-line band.
  std::vector<MacroblockRecord> first(1);
  std::vector<MacroblockRecord> second(1);
  first[0].flags = kMbRecordIntra | kMbRecordDecoded;
  second[0].flags = kMbRecordBackward | kMbRecordDecoded;
  second[0].motion_type = 1;
  second[0].vectors[0][1][1] = 3;
  second[0].field_select[0][1] = 1;
  PictureMacroblocks pictures[2];
  for (int f = 0; f < 2; ++f) {
    pictures[f].records = f == 0 ? first : second;
    pictures[f].picture = 20 + f;
    pictures[f].picture_coding_type = 3;
    pictures[f].picture_structure = 1 + f;
    pictures[f].mb_columns = 1;
    pictures[f].mb_rows = 1;
  }
  const ChartScene scene = macroblock_overlay(pictures, 16, 32, kOverlayTypes | kOverlayVectors);
  EXPECT_EQ(items_of<Fill>(scene),
            (std::vector<Fill>{{0, 0, 15, 15, kCategoryColours[0], kTypeAlpha},
                               {0, 16, 15, 31, kCategoryColours[2], kTypeAlpha}}));
  // Three field lines in half samples are three frame lines.
  EXPECT_EQ(items_of<Line>(scene).at(0), (Line{8, 24, 8, 27, Pen{kBackwardVectorColour, 1}}));

  const struct {
    int x, y;
    MacroblockHit hit;
  } kHits[] = {{3, 5, {0, 0}}, {15, 16, {1, 0}}, {15, 31, {1, 0}}, {16, 0, {}}, {0, 32, {}}};
  for (const auto& h : kHits) {
    const MacroblockHit hit = macroblock_at(pictures, h.x, h.y);
    EXPECT_EQ(hit.picture, h.hit.picture) << h.x << "," << h.y;
    EXPECT_EQ(hit.address, h.hit.address) << h.x << "," << h.y;
  }
  EXPECT_EQ(macroblock_text(pictures, {1, 0}),
            "Macroblock 0 (column 0, row 0) of picture 21, bottom field\nbackward\n"
            "quantiser_scale 0, coded_block_pattern 0, dct_type 0, 0 bits\nmotion field\n"
            "backward vector 0: (0, 3) half samples, field select 1");
}

TEST(MacroblockOverlay, InspectAndThePictureWindowOfAFrame) {
  const FrameOfFour frame;
  const PictureMacroblocks pictures[] = {frame.picture};
  const MacroblockHit hit = macroblock_at(pictures, 20, 5);
  EXPECT_EQ(hit.address, 1);
  EXPECT_EQ(macroblock_at(pictures, 5, 20).address, 2);
  EXPECT_EQ(macroblock_at(pictures, 32, 0).picture, -1);
  EXPECT_EQ(macroblock_text(pictures, hit),
            "Macroblock 1 (column 1, row 0) of picture 7, frame\nforward, pattern\n"
            "quantiser_scale 62, coded_block_pattern 0, dct_type 0, 300 bits\nmotion frame\n"
            "forward vector 0: (5, -3) half samples, field select 0");
  EXPECT_EQ(macroblock_text(pictures, {0, 3}),
            "Macroblock 3 (column 1, row 1) of picture 7, frame\nnot decoded");

  StoreData data;
  for (int f = 0; f < 8; ++f) {
    store_at(data.frame_bytes, f, uint32_t(4000 + f));
    store_at(data.frame_types, f, 2U);
  }
  data.last_frame = 7;
  const std::vector<std::string> lines =
      picture_lines(data, {.frame = 7}, picture_statistics(frame.picture), "/a/b.m2v");
  ASSERT_GE(lines.size(), 5U);
  EXPECT_EQ(lines[0], "Analisys (Picture) of: /a/b.m2v");
  EXPECT_EQ(lines[1], "----------------------  Frame: 7  ----------------------");
  EXPECT_EQ(lines[2], "Type: P - Bytes: 4007");
  EXPECT_EQ(lines[3],
            "Macroblocks: 4 - Intra: 1 - Forward: 1 - Backward: 0 - Bidirectional: 0 - "
            "Skipped: 1 - Not decoded: 1");
  EXPECT_EQ(lines[4], "Quantiser: average 31.50 - minimum 1 - maximum 62");
  EXPECT_EQ(lines.back(), "Bits: 400 in macroblocks - 0 in headers");
  EXPECT_EQ(picture_lines(data, {.frame = 6}, std::nullopt, "x").back(),
            "Macroblocks not recorded: decode the frame with this window open.");
  EXPECT_EQ(picture_lines(data, {}, std::nullopt, "x").size(), 1U);
}

}  // namespace
}  // namespace tavik
