#pragma once

#include <QAbstractScrollArea>

#include "charts/scene.h"

namespace tavik::gui {

// Sets up a chart or list view: white, scrolling one way only, its viewport tracking the
// pointer for the hand cursor.
void set_up_chart_area(QAbstractScrollArea& area, Qt::Orientation scrolling);

// The drawing a chart is laid out in to find the size it asks for: the texts that begin in it
// are shown whole (the axis labels beyond it scroll).
inline constexpr int kChartHintWidth = 400;
inline constexpr int kChartHintHeight = 300;
inline constexpr ViewRegion kChartHintRegion{0, 0, kChartHintWidth, kChartHintHeight};

// The size a chart view asks for: `width` columns of drawing (and a margin) by
// kChartHintHeight rows, with its frame and scroll bar around them.
[[nodiscard]] QSize chart_hint(const QAbstractScrollArea& area, int width);

}  // namespace tavik::gui
