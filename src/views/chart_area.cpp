#include "views/chart_area.h"

#include <QKeyEvent>
#include <QScrollBar>
#include <QWheelEvent>

namespace tavik::gui {

void set_up_chart_area(QAbstractScrollArea& area, Qt::Orientation scrolling) {
  const bool horizontal = scrolling == Qt::Horizontal;
  area.setHorizontalScrollBarPolicy(horizontal ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
  area.setVerticalScrollBarPolicy(horizontal ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAlwaysOn);
  QWidget* viewport = area.viewport();
  viewport->setMouseTracking(true);
  viewport->setAutoFillBackground(true);
  QPalette colours = viewport->palette();
  colours.setColor(QPalette::Window, Qt::white);
  viewport->setPalette(colours);
}

std::optional<double> zoom_step(const QWheelEvent& event) {
  if (!(event.modifiers() & Qt::ControlModifier) || event.angleDelta().y() == 0) return {};
  return event.angleDelta().y() > 0 ? 1.25 : 0.8;
}

std::optional<double> zoom_step(const QKeyEvent& event, double zoom) {
  if (!(event.modifiers() & Qt::ControlModifier)) return {};
  switch (event.key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
      return 1.25;
    case Qt::Key_Minus:
      return 0.8;
    case Qt::Key_0:
      return 1.0 / zoom;
    default:
      return {};
  }
}

QSize chart_hint(const QAbstractScrollArea& area, int width) {
  const int frame = 2 * area.frameWidth();
  return {width + 10 + frame,
          kChartHintHeight + frame + area.horizontalScrollBar()->sizeHint().height()};
}

}  // namespace tavik::gui
