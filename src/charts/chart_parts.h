#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "charts/scene.h"

namespace tavik {

// Floor of a / b for b > 0 (rounds down for negative a too).
[[nodiscard]] int64_t floor_div(int64_t a, int64_t b);

// A raised light-grey box with its caption, as the charts' buttons look; adds its click region.
void add_button_box(ChartScene& scene, const HitBox& box, std::string_view caption,
                    const ViewRegion& region, const TextMetrics& metrics);

// Ticks on the X axis from `origin` every `pitch` pixels up to `last_x`; those at a multiple of
// `long_every` from the origin are 6 pixels long, the others 3.
void add_x_ticks(ChartScene& scene, int64_t origin, int64_t pitch, int64_t long_every,
                 int64_t last_x, int baseline, const ViewRegion& region,
                 const TextMetrics& metrics);

// Label j at x = first_x + j * pitch (from j = first_j) and y, while x <= last_x and
// label(j) gives a text; returns the x of the last label drawn, or first_x when none was.
int64_t add_x_labels(ChartScene& scene, int64_t first_x, int64_t pitch, int64_t last_x, int y,
                     int64_t first_j,
                     const std::function<std::optional<std::string>(int64_t)>& label,
                     const ViewRegion& region, const TextMetrics& metrics);

// The widest text a decimal number up to `largest` can take in this font.
[[nodiscard]] int widest_number(int64_t largest, const TextMetrics& metrics);

}  // namespace tavik
