#pragma once

#include <QFontMetrics>
#include <QPoint>

#include "charts/scene.h"

class QPainter;

namespace tavik {

// The layout's text measurements in a Qt font.
class QtTextMetrics final : public TextMetrics {
 public:
  explicit QtTextMetrics(const QFont& font) : metrics_(font) {}
  [[nodiscard]] int width(std::string_view text) const override;
  [[nodiscard]] int line_height() const override;

 private:
  QFontMetrics metrics_;
};

// Paints the scene in the painter's font, chart coordinates shifted by -scroll (the view's
// scroll position), without antialiasing.
void paint_scene(QPainter& painter, const ChartScene& scene, QPoint scroll = {});

}  // namespace tavik
