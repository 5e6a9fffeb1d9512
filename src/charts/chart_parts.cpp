#include "charts/chart_parts.h"

#include <algorithm>

namespace tavik {

int64_t floor_div(int64_t a, int64_t b) {
  const int64_t q = a / b;
  return (a % b != 0 && a < 0) ? q - 1 : q;
}

void add_button_box(ChartScene& scene, const HitBox& box, std::string_view caption,
                    const ViewRegion& region, const TextMetrics& metrics) {
  const Pen border{kBlack, 2};
  const Pen highlight{kWhite, 1};
  add_visible(scene, Rectangle{box.left, box.top, box.right, box.bottom, border, kLightGrey},
              region, metrics);
  add_visible(scene, Line{box.left + 1, box.top, box.right - 2, box.top, highlight}, region,
              metrics);
  add_visible(scene, Line{box.left, box.top, box.left, box.bottom - 2, highlight}, region, metrics);
  add_visible(scene, Text{box.left + 8, box.top + 2, std::string(caption), kLightGrey}, region,
              metrics);
  if (overlaps(box, region)) scene.hits.push_back(box);
}

void add_x_ticks(ChartScene& scene, int64_t origin, int64_t pitch, int64_t long_every,
                 int64_t last_x, int baseline, const ViewRegion& region,
                 const TextMetrics& metrics) {
  // Only ticks whose pen can reach the region are made; a tick's pen spans x - 1 .. x + 1.
  const int64_t first = std::max<int64_t>(0, floor_div(region.left - 2 - origin, pitch));
  const int64_t end = std::min<int64_t>(last_x, int64_t(region.left) + region.width + 1);
  for (int64_t x = origin + first * pitch; x <= end; x += pitch) {
    const int length = (x - origin) % long_every == 0 ? 6 : 3;
    add_visible(scene, Line{int(x), baseline + length, int(x), baseline}, region, metrics);
  }
}

int64_t add_x_labels(ChartScene& scene, int64_t first_x, int64_t pitch, int64_t last_x, int y,
                     int64_t first_j,
                     const std::function<std::optional<std::string>(int64_t)>& label,
                     const ViewRegion& region, const TextMetrics& metrics) {
  int64_t drawn = first_x;
  for (int64_t j = first_j, x = first_x + first_j * pitch; x >= 0 && x <= last_x; ++j, x += pitch) {
    std::optional<std::string> text = label(j);
    if (!text) break;
    add_visible(scene, Text{int(x), y, std::move(*text)}, region, metrics);
    drawn = x;
  }
  return drawn;
}

int widest_number(int64_t largest, const TextMetrics& metrics) {
  int digit = 0;
  for (char c = '0'; c <= '9'; ++c) digit = std::max(digit, metrics.width(std::string(1, c)));
  // One digit more than the number has, for kerning and the like.
  return digit * int(std::to_string(std::max<int64_t>(largest, 0)).size() + 1);
}

}  // namespace tavik
