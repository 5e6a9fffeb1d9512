#include "charts/bar_mark.h"

#include <algorithm>

namespace tavik {

void mark_bar(ChartScene& scene, int64_t index) {
  const auto bar = std::find_if(scene.hits.begin(), scene.hits.end(), [index](const HitBox& box) {
    return box.kind == HitKind::kBar && box.index == index;
  });
  if (index < 0 || bar == scene.hits.end()) return;
  scene.items.emplace_back(
      Fill{bar->left, bar->top - kBarMarkHeight - 1, bar->right, bar->top - 2, kMagenta});
  scene.items.emplace_back(Fill{bar->left, bar->top, bar->right, bar->bottom, kMagenta, 96});
}

}  // namespace tavik
