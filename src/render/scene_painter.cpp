#include "render/scene_painter.h"

#include <QImage>
#include <QPainter>
#include <QPolygon>
#include <QSvgGenerator>
#include <algorithm>
#include <optional>

namespace tavik {

namespace {

QString to_qstring(std::string_view text) {
  return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

QColor to_qcolor(Rgb rgb) {
  return {rgb.red, rgb.green, rgb.blue};
}

QPen to_qpen(const Pen& pen) {
  return QPen(to_qcolor(pen.color), pen.width, Qt::SolidLine,
              pen.round_cap ? Qt::RoundCap : Qt::FlatCap, Qt::MiterJoin);
}

struct ItemPainter {
  QPainter& painter;
  // The pen last set: a scene's lines mostly share theirs, and setting one is not free.
  mutable std::optional<Pen> pen;

  void use(const Pen& wanted) const {
    if (pen == wanted) return;
    painter.setPen(to_qpen(wanted));
    pen = wanted;
  }

  void operator()(const Line& line) const {
    use(line.pen);
    painter.drawLine(line.x0, line.y0, line.x1, line.y1);
  }
  void operator()(const Rectangle& rect) const {
    use(rect.pen);
    painter.setBrush(to_qcolor(rect.fill));
    painter.drawRect(QRect(QPoint(rect.left, rect.top), QPoint(rect.right, rect.bottom)));
    painter.setBrush(Qt::NoBrush);
  }
  void operator()(const Text& text) const {
    const QString string = to_qstring(text.text);
    const QFontMetrics metrics = painter.fontMetrics();
    painter.fillRect(text.x, text.y, metrics.horizontalAdvance(string), metrics.height(),
                     to_qcolor(text.background));
    use(Pen{text_colour_on(text.background), 1});
    painter.drawText(text.x, text.y + metrics.ascent(), string);
  }
  void operator()(const Polyline& polyline) const {
    // A wide pen's stroke of a long line costs far more than its length: stroked in pieces
    // that share their end points, thousands of points paint in a few milliseconds.
    constexpr size_t kPiece = 64;
    use(polyline.pen);
    const std::vector<Point>& points = polyline.points;
    for (size_t first = 0; first == 0 || first + 1 < points.size(); first += kPiece) {
      const size_t end = std::min(points.size(), first + kPiece + 1);
      QPolygon polygon;
      polygon.reserve(int(end - first));
      for (size_t i = first; i < end; ++i) polygon << QPoint(points[i].x, points[i].y);
      painter.drawPolyline(polygon);
    }
  }
  void operator()(const Fill& fill) const {
    QColor color = to_qcolor(fill.color);
    color.setAlpha(fill.alpha);
    painter.fillRect(QRect(QPoint(fill.left, fill.top), QPoint(fill.right, fill.bottom)), color);
  }
};

}  // namespace

int QtTextMetrics::width(std::string_view text) const {
  return metrics_.horizontalAdvance(to_qstring(text));
}

int QtTextMetrics::line_height() const {
  return metrics_.height();
}

void paint_scene(QPainter& painter, const ChartScene& scene, QPoint scroll) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.translate(-scroll);
  const ItemPainter item_painter{painter, std::nullopt};
  for (const Primitive& item : scene.items) std::visit(item_painter, item);
  painter.restore();
}

bool save_scene(const ChartScene& scene, QSize size, const QString& path, const QFont& font,
                QPoint scroll) {
  if (path.endsWith(QStringLiteral(".svg"), Qt::CaseInsensitive)) {
    QSvgGenerator generator;
    generator.setFileName(path);
    generator.setSize(size);
    generator.setViewBox(QRect(QPoint(0, 0), size));
    QPainter painter;
    if (!painter.begin(&generator)) return false;
    painter.setFont(font);
    painter.fillRect(QRect(QPoint(0, 0), size), Qt::white);
    paint_scene(painter, scene, scroll);
    return painter.end();
  }
  QImage image(size, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  painter.setFont(font);
  paint_scene(painter, scene, scroll);
  painter.end();
  return image.save(path, "PNG");
}

}  // namespace tavik
