#pragma once

#include <QMdiSubWindow>

#include "playback/playback_controller.h"
#include "playback/window_kind.h"

namespace tavik::gui {

// The child window of one document: one view of one kind. Closing it ends the document's life
// in step with playback: the video window takes every analysis window with it, a chart clears
// its show preference, a list waits for the repaint being issued to it.
class DocumentWindow final : public QMdiSubWindow {
  Q_OBJECT

 public:
  DocumentWindow(WindowKind kind, PlaybackController& controller, QWidget* view);

  [[nodiscard]] WindowKind kind() const { return kind_; }

 signals:
  // The video window is closing: every other window must close now.
  void video_closing();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  const WindowKind kind_;
  PlaybackController& controller_;
  bool closed_ = false;
};

}  // namespace tavik::gui
