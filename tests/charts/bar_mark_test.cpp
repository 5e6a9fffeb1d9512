#include "charts/bar_mark.h"

#include <gtest/gtest.h>

namespace tavik {
namespace {

// A block above the bar and a cover over it; nothing for a bar out of view or none.
TEST(BarMark, MarksTheBarInView) {
  ChartScene scene;
  scene.hits = {{10, 50, 14, 200, HitKind::kInformation, -1}, {20, 80, 24, 200, HitKind::kBar, 7}};
  for (const int64_t absent : {-1, 6, 8}) {
    ChartScene unmarked = scene;
    mark_bar(unmarked, absent);
    EXPECT_TRUE(unmarked.items.empty()) << absent;
  }
  mark_bar(scene, 7);
  ASSERT_EQ(scene.items.size(), 2u);
  EXPECT_EQ(std::get<Fill>(scene.items[0]), (Fill{20, 80 - kBarMarkHeight - 1, 24, 78, kMagenta}));
  EXPECT_EQ(std::get<Fill>(scene.items[1]), (Fill{20, 80, 24, 200, kMagenta, 96}));
}

}  // namespace
}  // namespace tavik
