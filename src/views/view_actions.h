#pragma once

#include <QList>
#include <QPoint>
#include <QSize>
#include <QString>
#include <functional>
#include <utility>

class QWidget;

#include "charts/bar_chart.h"
#include "charts/scene.h"
#include "charts/statistics.h"
#include "playback/window_kind.h"

namespace tavik::gui {

// What the analysis views share and what they ask of the main window.
struct ViewState {
  ChosenFrame chosen;         // the frame whose slices the Bytes/slice chart and list show
  int64_t marked_frame = -1;  // the frame of the picture selected in the Structure window
  StatSettings statistics;    // the Statistics dialog's choices
  bool statistics_histogram = true;
};

// A view whose picture can be written to a PNG or SVG file.
class ExportableView {
 public:
  virtual ~ExportableView() = default;
  virtual void export_picture(bool svg) = 0;
};

// The context menu of an exportable view, after the view's own entries.
using MenuEntries = QList<std::pair<QString, std::function<void()>>>;
void show_export_menu(ExportableView& view, QWidget* parent, QPoint global_position,
                      const MenuEntries& entries = {});

class ViewActions {
 public:
  virtual ~ViewActions() = default;
  virtual void show_information(const QString& text) = 0;
  virtual void open_if_closed(WindowKind kind) = 0;
  // The Statistics command; its dialog opens on the source in ViewState::statistics, which a
  // chart's Statistics box sets to its own before asking.
  virtual void run_statistics() = 0;
  // Another frame was chosen: the Bytes/slice chart opens or repaints, the Slices list repaints.
  virtual void chosen_frame_changed() = 0;
  [[nodiscard]] virtual bool playing() const = 0;
  // Asks for a PNG or SVG file name and writes the picture the view shows there.
  virtual void export_picture(const ChartScene& scene, QSize size, QPoint scroll, bool svg) = 0;
  [[nodiscard]] virtual QString input_path() const = 0;
  // A frame bar's context menu: the frame's picture selected in the Structure and Bytes
  // windows, or shown in the video window.
  virtual void show_in_structure(int64_t /*frame*/) {}
  virtual void show_picture(int64_t /*frame*/) {}
};

}  // namespace tavik::gui
