#pragma once

#include <QAbstractScrollArea>
#include <optional>

class QKeyEvent;
class QWheelEvent;

namespace tavik::gui {

// Sets up a chart or list view: white, scrolling one way only, its viewport tracking the
// pointer for the hand cursor.
void set_up_chart_area(QAbstractScrollArea& area, Qt::Orientation scrolling);

// The factor by which a chart's horizontal zoom changes for Ctrl with the wheel, +, - or 0
// (back to 1 from `zoom`), or nothing for any other event.
[[nodiscard]] std::optional<double> zoom_step(const QWheelEvent& event);
[[nodiscard]] std::optional<double> zoom_step(const QKeyEvent& event, double zoom);

}  // namespace tavik::gui
