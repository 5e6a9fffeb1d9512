#pragma once

#include <string_view>

#include "charts/scene.h"

namespace tavik::test {

// A fixed-pitch font: 8 pixels a character, 16-pixel lines.
class FixedMetrics : public TextMetrics {
 public:
  [[nodiscard]] int width(std::string_view text) const override { return 8 * int(text.size()); }
  [[nodiscard]] int line_height() const override { return 16; }
};

}  // namespace tavik::test
