#include "views/chart_area.h"

#include <QScrollBar>

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

QSize chart_hint(const QAbstractScrollArea& area, int width) {
  const int frame = 2 * area.frameWidth();
  return {width + 10 + frame,
          kChartHintHeight + frame + area.horizontalScrollBar()->sizeHint().height()};
}

}  // namespace tavik::gui
