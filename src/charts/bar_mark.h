#pragma once

#include <cstdint>

#include "charts/scene.h"

namespace tavik {

inline constexpr int kBarMarkHeight = 6;

// Marks bar `index` of a chart's scene, if it is in view: a magenta block just above the bar
// and a translucent magenta cover over it.
void mark_bar(ChartScene& scene, int64_t index);

}  // namespace tavik
