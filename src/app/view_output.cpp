#include "app/view_output.h"

#include <QDateTime>
#include <QFileInfo>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPrinter>

#include "playback/playback_controller.h"
#include "render/scene_painter.h"
#include "views/dialog_service.h"
#include "views/printing.h"
#include "views/view_actions.h"

namespace tavik::gui {

ViewOutput::ViewOutput(QMdiArea& area, DialogService& dialogs, const PlaybackController& controller,
                       QWidget& parent)
    : area_(area), dialogs_(dialogs), controller_(controller), parent_(parent) {}

ExportableView* ViewOutput::active_exportable() const {
  QMdiSubWindow* active = area_.activeSubWindow();
  return active != nullptr ? dynamic_cast<ExportableView*>(active->widget()) : nullptr;
}

bool ViewOutput::can_export() const {
  return active_exportable() != nullptr;
}

void ViewOutput::export_active(bool svg) {
  if (ExportableView* view = active_exportable()) view->export_picture(svg);
}

void ViewOutput::export_scene(const ChartScene& scene, QSize size, QPoint scroll, bool svg) {
  const QString folder = QFileInfo(QString::fromStdString(controller_.input_path())).absolutePath();
  const QString name = dialogs_.save_file_name(
      &parent_, {svg ? QStringLiteral("SVG Images (*.svg)") : QStringLiteral("PNG Images (*.png)")},
      svg ? QStringLiteral("svg") : QStringLiteral("png"), folder);
  if (name.isEmpty()) return;
  if (!save_scene(scene, size, name, parent_.font(), scroll)) {
    dialogs_.show_message(&parent_, MessageIcon::kStop,
                          QStringLiteral("Cannot write %1").arg(name));
  }
}

void ViewOutput::print_active() {
  QMdiSubWindow* active = area_.activeSubWindow();
  auto* view = active != nullptr ? dynamic_cast<PrintableView*>(active->widget()) : nullptr;
  if (view == nullptr) return;
  const PrintedView printed = view->printed();
  const QString heading = QFileInfo(QString::fromStdString(controller_.input_path())).fileName();
  const QString date = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm"));
  const QFont font = active->widget()->font();
  dialogs_.print_preview(&parent_, [printed, heading, date, font](QPrinter& printer) {
    print_view(printer, printed, heading, date, font);
  });
}

}  // namespace tavik::gui
