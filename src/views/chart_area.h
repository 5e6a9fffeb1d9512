#pragma once

#include <QAbstractScrollArea>
#include <optional>

class QKeyEvent;
class QWheelEvent;

#include "charts/scene.h"

namespace tavik::gui {

// Sets up a chart or list view: white, scrolling one way only, its viewport tracking the
// pointer for the hand cursor.
void set_up_chart_area(QAbstractScrollArea& area, Qt::Orientation scrolling);

// The factor by which a chart's horizontal zoom changes for Ctrl with the wheel, +, - or 0
// (back to 1 from `zoom`), or nothing for any other event.
[[nodiscard]] std::optional<double> zoom_step(const QWheelEvent& event);
[[nodiscard]] std::optional<double> zoom_step(const QKeyEvent& event, double zoom);

// The drawing a chart is laid out in to find the size it asks for: the texts that begin in it
// are shown whole (the axis labels beyond it scroll).
inline constexpr int kChartHintWidth = 400;
inline constexpr int kChartHintHeight = 300;
inline constexpr ViewRegion kChartHintRegion{0, 0, kChartHintWidth, kChartHintHeight};

// The size a chart view asks for: `width` columns of drawing (and a margin) by
// kChartHintHeight rows, with its frame and scroll bar around them.
[[nodiscard]] QSize chart_hint(const QAbstractScrollArea& area, int width);

}  // namespace tavik::gui
