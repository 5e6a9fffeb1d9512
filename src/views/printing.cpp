#include "views/printing.h"

#include <QFontInfo>
#include <QPagedPaintDevice>
#include <QPainter>
#include <algorithm>

#include "render/scene_painter.h"

namespace tavik::gui {

namespace {

// The header line at the top of the page; returns the height it takes, its gap included.
int print_header(QPainter& painter, const QString& heading, const QString& date) {
  const QFontMetrics metrics = painter.fontMetrics();
  const QRect page = painter.viewport();
  painter.setPen(Qt::black);
  painter.drawText(0, metrics.ascent(), heading);
  painter.drawText(page.width() - metrics.horizontalAdvance(date), metrics.ascent(), date);
  painter.drawLine(0, metrics.height() + 2, page.width(), metrics.height() + 2);
  return metrics.height() * 2;
}

int print_lines(QPagedPaintDevice& device, QPainter& painter, const QStringList& lines,
                const QString& heading, const QString& date) {
  const QFontMetrics metrics = painter.fontMetrics();
  int pages = 1;
  int y = print_header(painter, heading, date);
  for (const QString& line : lines) {
    if (y + metrics.height() > painter.viewport().height()) {
      device.newPage();
      ++pages;
      y = print_header(painter, heading, date);
    }
    painter.drawText(0, y + metrics.ascent(), line);
    y += metrics.height();
  }
  return pages;
}

}  // namespace

int print_view(QPagedPaintDevice& device, const PrintedView& view, const QString& heading,
               const QString& date, const QFont& font) {
  QPainter painter;
  if (!painter.begin(&device)) return 0;
  painter.setFont(font);
  if (!view.lines.isEmpty()) return print_lines(device, painter, view.lines, heading, date);

  const int top = print_header(painter, heading, date);
  const QRect room(0, top, painter.viewport().width(), painter.viewport().height() - top);
  if (!view.image.isNull()) {
    const QSize size = view.image.size().scaled(room.size(), Qt::KeepAspectRatio);
    painter.drawImage(QRect(room.topLeft(), size), view.image);
    return 1;
  }
  if (view.size.isEmpty()) return 1;
  // The drawing is laid out in the screen font's pixels, then scaled whole to the page: lines
  // and texts stay vectors at the printer's resolution.
  const double scale = std::min(double(room.width()) / view.size.width(),
                                double(room.height()) / view.size.height());
  QFont screen_font = font;
  screen_font.setPixelSize(QFontInfo(font).pixelSize());
  painter.translate(room.topLeft());
  painter.scale(scale, scale);
  painter.setClipRect(QRect(QPoint(0, 0), view.size));
  painter.setFont(screen_font);
  paint_scene(painter, view.scene, view.scroll);
  return 1;
}

}  // namespace tavik::gui
