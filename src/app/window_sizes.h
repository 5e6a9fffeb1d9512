#pragma once

#include <QSize>

class QScreen;
class QWidget;

namespace tavik::gui {

// The main window's first size: its last one, else most of the screen's free area.
[[nodiscard]] QSize main_window_start_size(QSize last, const QScreen* screen);

// The size of an analysis view as it opens: what it asks for, at least a usable chart's, at
// most the room the workspace has.
[[nodiscard]] QSize opening_view_size(const QWidget& view, QSize room);

// The video view's size: the picture at 1:1 when `fit` is off or it fits the room, else scaled
// down into the room with its proportions.
[[nodiscard]] QSize video_view_size(QSize picture, QSize room, bool fit);

}  // namespace tavik::gui
