#pragma once

#include <QObject>
#include <functional>

#include "playback/playback_controller.h"
#include "views/dialog_service.h"
#include "views/structure_link.h"
#include "views/view_actions.h"

namespace tavik::gui {

// The Structure and Bytes windows and what links them to the charts and the video window: a
// frame bar's "Show in structure" and "Show this picture", a tree node's "Show this picture",
// "Go to frame...", and the bar of the picture selected in the tree marked. What needs the
// structure of the whole file first runs "Measure whole file" and goes on when it is done.
class StructureWindows final : public QObject {
  Q_OBJECT

 public:
  struct Hooks {
    std::function<void(WindowKind)> open_if_closed;
    std::function<void(WindowKind)> repaint;
    std::function<void()> measure_whole_file;
  };

  StructureWindows(PlaybackController& controller, ViewState& state, DialogService& dialogs,
                   QWidget& parent, Hooks hooks);

  [[nodiscard]] QWidget* make_view(WindowKind kind);
  [[nodiscard]] StructureLink& link() { return link_; }

  // The measure has ended: its structure is shown, and what waited for it runs.
  void measure_done(bool completed);
  // The file is closed.
  void clear();

  void show_in_structure(int64_t picture);
  void show_picture(int64_t picture);
  void go_to_frame();

 private:
  // True when the structure is there (of the whole file when `whole`); otherwise starts the
  // measure and keeps `then` for its end.
  bool ensure_structure(bool whole, std::function<void()> then);
  void mark_selected_picture();

  PlaybackController& controller_;
  ViewState& state_;
  DialogService& dialogs_;
  QWidget& parent_;
  Hooks hooks_;
  StructureLink link_;
  std::function<void()> pending_;
};

}  // namespace tavik::gui
