#include "charts/scene.h"

#include <algorithm>

namespace tavik {

namespace {

struct Bounds {
  int64_t left, top, right, bottom;  // inclusive
};

Bounds widened(int64_t left, int64_t top, int64_t right, int64_t bottom, int margin) {
  return {left - margin, top - margin, right + margin, bottom + margin};
}

Bounds bounds_of(const Primitive& item, const TextMetrics& metrics) {
  if (const auto* line = std::get_if<Line>(&item)) {
    return widened(std::min(line->x0, line->x1), std::min(line->y0, line->y1),
                   std::max(line->x0, line->x1), std::max(line->y0, line->y1), line->pen.width);
  }
  if (const auto* rect = std::get_if<Rectangle>(&item)) {
    return widened(rect->left, rect->top, rect->right, rect->bottom, rect->pen.width);
  }
  if (const auto* text = std::get_if<Text>(&item)) {
    return {text->x, text->y, int64_t(text->x) + metrics.width(text->text) - 1,
            int64_t(text->y) + metrics.line_height() - 1};
  }
  if (const auto* fill = std::get_if<Fill>(&item)) {
    return {fill->left, fill->top, fill->right, fill->bottom};
  }
  const auto& polyline = std::get<Polyline>(item);
  if (polyline.points.empty()) return {1, 1, 0, 0};
  Bounds box{polyline.points[0].x, polyline.points[0].y, polyline.points[0].x,
             polyline.points[0].y};
  for (const Point& point : polyline.points) {
    box = {std::min<int64_t>(box.left, point.x), std::min<int64_t>(box.top, point.y),
           std::max<int64_t>(box.right, point.x), std::max<int64_t>(box.bottom, point.y)};
  }
  return widened(box.left, box.top, box.right, box.bottom, polyline.pen.width);
}

bool meets(const Bounds& box, const ViewRegion& region) {
  return box.left <= box.right && box.right >= region.left &&
         box.left < int64_t(region.left) + region.width && box.bottom >= region.top &&
         box.top < int64_t(region.top) + region.height;
}

}  // namespace

bool overlaps(const Primitive& item, const ViewRegion& region, const TextMetrics& metrics) {
  return meets(bounds_of(item, metrics), region);
}

bool overlaps(const HitBox& box, const ViewRegion& region) {
  return meets({box.left, box.top, box.right, box.bottom}, region);
}

void add_visible(ChartScene& scene, Primitive item, const ViewRegion& region,
                 const TextMetrics& metrics) {
  if (overlaps(item, region, metrics)) scene.items.push_back(std::move(item));
}

ChartHit hit_test(const ChartScene& scene, int x, int y) {
  for (const HitBox& box : scene.hits) {
    if (x >= box.left && x <= box.right && y >= box.top && y <= box.bottom) {
      return {box.kind, box.index};
    }
  }
  return {};
}

int text_extent(const ChartScene& scene, const TextMetrics& metrics) {
  int right = 0;
  for (const Primitive& item : scene.items) {
    if (const auto* text = std::get_if<Text>(&item)) {
      right = std::max(right, text->x + metrics.width(text->text));
    }
  }
  return right;
}

}  // namespace tavik
