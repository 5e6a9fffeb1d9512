#include "app/application_identity.h"

#include <QApplication>
#include <QIcon>
#include <QPainter>
#include <QPixmap>

namespace tavik::gui {

namespace {

// The program's icon: three bars of the picture types' colours.
QIcon program_icon() {
  QPixmap pixmap(32, 32);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.fillRect(3, 14, 7, 16, QColor(200, 30, 30));
  painter.fillRect(12, 4, 7, 26, QColor(60, 90, 170));
  painter.fillRect(21, 20, 7, 10, QColor(30, 150, 50));
  return QIcon(pixmap);
}

}  // namespace

void describe_application() {
  QApplication::setApplicationName(QStringLiteral("Tavik"));
  QApplication::setOrganizationName(QStringLiteral("Tavik"));
  QApplication::setApplicationVersion(QStringLiteral(TAVIK_VERSION));
  QApplication::setWindowIcon(program_icon());
}

}  // namespace tavik::gui
