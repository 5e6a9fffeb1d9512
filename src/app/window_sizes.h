#pragma once

#include <QSize>

class QMdiArea;
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

// Cascades the area's windows (minimised ones stay where they are), each at its usable size within
// the area, a title bar lower and to the right of the one before; a window that would pass the
// area's edge starts again at the top-left corner. The video is fitted into the area when
// `fit_video` holds.
void cascade_windows(QMdiArea& area, bool fit_video);

}  // namespace tavik::gui
