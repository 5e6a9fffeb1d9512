#include "charts/macroblock_overlay.h"

#include <algorithm>
#include <cmath>

namespace tavik {

Rgb heat_colour(double t) {
  t = std::clamp(t, 0.0, 1.0);
  const auto channel = [](double v) { return uint8_t(std::lround(255 * std::clamp(v, 0.0, 1.0))); };
  // Four stretches: blue to cyan, cyan to green, green to yellow, yellow to red.
  const double u = 4 * t;
  if (u < 1) return {0, channel(u), 255};
  if (u < 2) return {0, 255, channel(2 - u)};
  if (u < 3) return {channel(u - 2), 255, 0};
  return {255, channel(4 - u), 0};
}

namespace {

// One-sample-wide fills rather than lines: a painter fills a rectangle much faster than it
// strokes a line down a tall frame.
void add_grid(ChartScene& scene, int width, int height) {
  for (int x = 16; x < width; x += 16)
    scene.items.push_back(Fill{x, 0, x, height - 1, kGridColour});
  for (int y = 16; y < height; y += 16)
    scene.items.push_back(Fill{0, y, width - 1, y, kGridColour});
}

// An arrow from (x, y) along (dx, dy) with a head of two strokes at its tip.
void add_arrow(ChartScene& scene, int x, int y, int dx, int dy, Rgb colour) {
  const Pen pen{colour, 1};
  const int tip_x = x + dx;
  const int tip_y = y + dy;
  scene.items.push_back(Line{x, y, tip_x, tip_y, pen});
  const double length = std::hypot(dx, dy);
  if (length < 3) return;
  const double ux = dx / length;
  const double uy = dy / length;
  const double head = std::min(4.0, length / 2);
  for (const int side : {-1, 1}) {
    const double hx = -ux * head + side * -uy * head * 0.6;
    const double hy = -uy * head + side * ux * head * 0.6;
    scene.items.push_back(
        Line{tip_x, tip_y, tip_x + int(std::lround(hx)), tip_y + int(std::lround(hy)), pen});
  }
}

void add_vectors(ChartScene& scene, const PictureMacroblocks& picture,
                 const MacroblockRecord& record, MacroblockBox box) {
  if (!record.decoded() || record.has(kMbRecordIntra)) return;
  const bool directions[2] = {record.forward(picture.picture_coding_type),
                              record.has(kMbRecordBackward)};
  const Rgb colours[2] = {kForwardVectorColour, kBackwardVectorColour};
  // Two vectors (field or 16x8 motion) each take half of the block.
  const bool two = (record.motion_type == 1 && picture.picture_structure == 3) ||
                   (record.motion_type == 2 && picture.picture_structure != 3);
  for (int s = 0; s < 2; ++s) {
    if (!directions[s]) continue;
    for (int v = 0; v < (two ? 2 : 1); ++v) {
      const int dx = record.vectors[v][s][0];
      const int dy = frame_vertical(picture, record, record.vectors[v][s][1]);
      if (dx == 0 && dy == 0) continue;
      const int cy = two ? box.y + 4 + 8 * v : box.y + 8;
      // Half samples to whole ones, rounded away from zero so that no vector vanishes.
      const auto whole = [](int half) { return half >= 0 ? (half + 1) / 2 : -((1 - half) / 2); };
      add_arrow(scene, box.x + 8, cy, whole(dx), whole(dy), colours[s]);
    }
  }
}

}  // namespace

ChartScene macroblock_overlay(std::span<const PictureMacroblocks> pictures, int width, int height,
                              unsigned layers) {
  ChartScene scene;
  scene.scroll_width = width;
  scene.scroll_height = height;
  const auto fill = [&](MacroblockBox box, Rgb colour, uint8_t alpha) {
    scene.items.push_back(Fill{box.x, box.y, std::min(box.x + 15, width - 1),
                               std::min(box.y + 15, height - 1), colour, alpha});
  };
  for (size_t f = 0; f < pictures.size(); ++f) {
    const PictureMacroblocks& picture = pictures[f];
    uint32_t fewest_bits = UINT32_MAX;
    uint32_t most_bits = 0;
    for (const MacroblockRecord& record : picture.records) {
      if (!record.decoded()) continue;
      fewest_bits = std::min(fewest_bits, record.bits);
      most_bits = std::max(most_bits, record.bits);
    }
    for (size_t a = 0; a < picture.records.size(); ++a) {
      const MacroblockRecord& record = picture.records[a];
      const MacroblockBox box = macroblock_box(picture, int(a), int(f));
      const MacroblockCategory category = macroblock_category(record, picture.picture_coding_type);
      if (layers & kOverlayTypes) {
        fill(box, kCategoryColours[int(category)], kTypeAlpha);
      }
      if (!record.decoded()) continue;
      if ((layers & kOverlayQuantiser) && category != MacroblockCategory::kSkipped) {
        fill(box, heat_colour(double(record.quantiser_scale - 1) / (kHottestQuantiser - 1)),
             kHeatAlpha);
      }
      if (layers & kOverlayBits) {
        const double span = most_bits > fewest_bits ? double(most_bits - fewest_bits) : 1.0;
        fill(box, heat_colour((record.bits - fewest_bits) / span), kHeatAlpha);
      }
    }
  }
  if (layers & kOverlayGrid) add_grid(scene, width, height);
  if (layers & kOverlayVectors) {
    for (size_t f = 0; f < pictures.size(); ++f) {
      for (size_t a = 0; a < pictures[f].records.size(); ++a) {
        add_vectors(scene, pictures[f], pictures[f].records[a],
                    macroblock_box(pictures[f], int(a), int(f)));
      }
    }
  }
  return scene;
}

void add_type_legend(ChartScene& scene, const TextMetrics& metrics) {
  const int pitch = metrics.line_height() + 2;
  for (size_t i = 0; i < std::size(kCategoryNames); ++i) {
    const int top = 4 + pitch * int(i);
    scene.items.push_back(
        Rectangle{4, top, 4 + pitch - 3, top + pitch - 3, Pen{kBlack, 1}, kCategoryColours[i]});
    scene.items.push_back(Text{4 + pitch + 2, top, std::string(kCategoryNames[i])});
  }
}

}  // namespace tavik
