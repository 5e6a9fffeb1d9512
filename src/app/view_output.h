#pragma once

#include <QPoint>
#include <QSize>

#include "charts/scene.h"

class QMdiArea;
class QWidget;

namespace tavik {
class PlaybackController;
}

namespace tavik::gui {

class DialogService;
class ExportableView;

// What the active child window shows, written out: a chart's or the statistics' picture to a
// PNG or SVG file, any view to the printer through the print preview.
class ViewOutput {
 public:
  ViewOutput(QMdiArea& area, DialogService& dialogs, const PlaybackController& controller,
             QWidget& parent);

  // Whether the active window has a picture to export (a chart or the statistics).
  [[nodiscard]] bool can_export() const;
  void export_active(bool svg);
  // Asks for a file name, in the input's folder, and writes the scene there.
  void export_scene(const ChartScene& scene, QSize size, QPoint scroll, bool svg);
  void print_active();

 private:
  [[nodiscard]] ExportableView* active_exportable() const;

  QMdiArea& area_;
  DialogService& dialogs_;
  const PlaybackController& controller_;
  QWidget& parent_;
};

}  // namespace tavik::gui
