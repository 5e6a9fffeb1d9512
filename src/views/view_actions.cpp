#include "views/view_actions.h"

#include <QMenu>

namespace tavik::gui {

void show_export_menu(ExportableView& view, QWidget* parent, QPoint global_position,
                      const MenuEntries& entries) {
  QMenu menu(parent);
  for (const auto& [text, run] : entries) menu.addAction(text, run);
  if (!entries.isEmpty()) menu.addSeparator();
  menu.addAction(QStringLiteral("Export as PNG..."), [&view] { view.export_picture(false); });
  menu.addAction(QStringLiteral("Export as SVG..."), [&view] { view.export_picture(true); });
  menu.exec(global_position);
}

}  // namespace tavik::gui
