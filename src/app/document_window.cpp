#include "app/document_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QMenu>

namespace tavik::gui {

DocumentWindow::DocumentWindow(WindowKind kind, PlaybackController& controller, QWidget* view)
    : kind_(kind), controller_(controller) {
  setAttribute(Qt::WA_DeleteOnClose);
  // Child windows cannot be maximised.
  setWindowFlags(Qt::SubWindow | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  for (QAction* action : systemMenu()->actions()) {
    // The main window's Close command is the one binding of its keys.
    action->setShortcuts({});
    if (action->text().contains(QStringLiteral("Ma&ximize")) ||
        action->text().contains(QStringLiteral("Maximize"))) {
      systemMenu()->removeAction(action);
    }
  }
  setWidget(view);
}

void DocumentWindow::closeEvent(QCloseEvent* event) {
  if (!closed_) {
    closed_ = true;
    if (kind_ == WindowKind::kVideo) {
      controller_.close_video();
      emit video_closing();
    } else {
      controller_.window_closed(kind_);
    }
  }
  QMdiSubWindow::closeEvent(event);
}

}  // namespace tavik::gui
