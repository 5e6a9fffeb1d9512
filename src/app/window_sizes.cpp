#include "app/window_sizes.h"

#include <QScreen>
#include <QWidget>

namespace tavik::gui {

QSize main_window_start_size(QSize last, const QScreen* screen) {
  if (last.isValid() && !last.isEmpty()) return last;
  if (screen == nullptr) return {1024, 768};
  return screen->availableSize() * 0.9;
}

QSize opening_view_size(const QWidget& view, QSize room) {
  return view.sizeHint().expandedTo(QSize(400, 300)).boundedTo(room);
}

QSize video_view_size(QSize picture, QSize room, bool fit) {
  if (!fit || (picture.width() <= room.width() && picture.height() <= room.height())) {
    return picture;
  }
  return picture.scaled(room, Qt::KeepAspectRatio);
}

}  // namespace tavik::gui
