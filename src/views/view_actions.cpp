#include "views/view_actions.h"

#include <QMenu>

namespace tavik::gui {

void show_export_menu(ExportableView& view, QWidget* parent, QPoint global_position) {
  QMenu menu(parent);
  menu.addAction(QStringLiteral("Export as PNG..."), [&view] { view.export_picture(false); });
  menu.addAction(QStringLiteral("Export as SVG..."), [&view] { view.export_picture(true); });
  menu.exec(global_position);
}

}  // namespace tavik::gui
