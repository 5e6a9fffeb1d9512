#pragma once

#include <QAbstractScrollArea>

namespace tavik::gui {

// Sets up a chart or list view: white, scrolling one way only, its viewport tracking the
// pointer for the hand cursor.
void set_up_chart_area(QAbstractScrollArea& area, Qt::Orientation scrolling);

}  // namespace tavik::gui
