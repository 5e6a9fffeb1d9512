#pragma once

class QProgressDialog;
class QWidget;

namespace tavik {
class PlaybackController;
}

namespace tavik::gui {

// The progress window of "Measure whole file". It blocks neither the window thread nor the
// other windows: the walk runs on a thread of
// its own and reports here through the window thread; Cancel stops the walk.
class MeasureProgress {
 public:
  MeasureProgress(PlaybackController& controller, QWidget& parent);

  // Opens the window and starts the walk, unless a walk is running.
  void start();
  void show_progress(int percent);
  // The walk has ended: the window goes.
  void finish();

 private:
  PlaybackController& controller_;
  QWidget& parent_;
  QProgressDialog* dialog_ = nullptr;
};

}  // namespace tavik::gui
