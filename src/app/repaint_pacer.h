#pragma once

#include <QObject>
#include <QTimer>
#include <bitset>
#include <functional>

#include "playback/window_kind.h"

namespace tavik::gui {

// The repaints playback asks for, gathered and issued at the display's rate: pictures decoded
// faster than the screen can show them cost no paint of their own, and the window thread keeps
// time for the user.
class RepaintPacer final : public QObject {
  Q_OBJECT

 public:
  RepaintPacer(std::function<void(WindowKind)> repaint, QObject* parent);

  // On the window thread: the window repaints at the next tick.
  void request(WindowKind kind);

 private:
  void issue();

  const std::function<void(WindowKind)> repaint_;
  QTimer timer_;
  std::bitset<kWindowKinds> pending_;
};

}  // namespace tavik::gui
