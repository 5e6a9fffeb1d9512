#include "app/window_sizes.h"

#include <QMdiArea>
#include <QScreen>
#include <QStyle>
#include <QWidget>

#include "app/document_window.h"

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

void cascade_windows(QMdiArea& area, bool fit_video) {
  const QSize area_size = area.viewport()->size();
  QPoint at;
  for (QMdiSubWindow* sub : area.subWindowList(QMdiArea::StackingOrder)) {
    auto* window = qobject_cast<DocumentWindow*>(sub);
    if (window == nullptr || window->isMinimized() || window->isHidden()) continue;
    if (window->isMaximized()) window->showNormal();
    const QSize frame = window->size() - window->widget()->size();
    const QSize room = area_size - frame;
    const QSize view = window->kind() == WindowKind::kVideo
                           ? video_view_size(window->widget()->sizeHint(), room, fit_video)
                           : opening_view_size(*window->widget(), room);
    const QSize size = frame + view.boundedTo(room);
    if (at.x() + size.width() > area_size.width() || at.y() + size.height() > area_size.height()) {
      at = {};
    }
    window->setGeometry(QRect(at, size));
    window->raise();
    const int step = window->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, window);
    at += QPoint(step, step);
  }
}

}  // namespace tavik::gui
