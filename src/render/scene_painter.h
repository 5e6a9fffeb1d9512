#pragma once

#include <QFontMetrics>
#include <QPoint>
#include <QSize>
#include <QString>

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

// Draws the scene on white into a picture of `size` and writes it: SVG when the path ends in
// ".svg", PNG otherwise. False when it cannot be written.
[[nodiscard]] bool save_scene(const ChartScene& scene, QSize size, const QString& path,
                              const QFont& font, QPoint scroll = {});

}  // namespace tavik
