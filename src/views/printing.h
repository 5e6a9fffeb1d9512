#pragma once

#include <QFont>
#include <QImage>
#include <QPoint>
#include <QSize>
#include <QString>
#include <QStringList>

#include "charts/scene.h"

class QPagedPaintDevice;

namespace tavik::gui {

// What a window prints: its chart's drawing (the part in view: `size` from `scroll`), its
// picture, or every line of its list.
struct PrintedView {
  ChartScene scene;
  QSize size;
  QPoint scroll;
  QImage image;
  QStringList lines;
};

// A window that can be printed.
class PrintableView {
 public:
  virtual ~PrintableView() = default;
  [[nodiscard]] virtual PrintedView printed() = 0;
};

// Prints the view on the device at its resolution, each page under a header of `heading` (the
// input's file name) and `date`: a chart as vector drawing through the scene painter, laid out
// in `font` as on screen and scaled to the page; a picture scaled to the page; the lines of a
// list over as many pages as they need. Returns the number of pages.
int print_view(QPagedPaintDevice& device, const PrintedView& view, const QString& heading,
               const QString& date, const QFont& font);

}  // namespace tavik::gui
