#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <QPainter>
#include <QPixmap>

#include "analysis/analysis_store.h"
#include "app/app_settings.h"
#include "app/main_window.h"
#include "views/dialog_service.h"

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

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Tavik"));
  QApplication::setOrganizationName(QStringLiteral("Tavik"));
  QApplication::setApplicationVersion(QStringLiteral("1.0"));
  QApplication::setWindowIcon(program_icon());

  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral("Analyser of MPEG-1 and MPEG-2 video"));
  parser.addHelpOption();
  parser.addVersionOption();
  const QCommandLineOption play(QStringLiteral("play"), QStringLiteral("Start playing the file."));
  parser.addOption(play);
  parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("An MPEG file to open."));
  parser.process(app);

  tavik::AnalysisStore store;
  tavik::gui::AppSettings settings;
  tavik::gui::ModalDialogs dialogs;
  tavik::gui::MainWindow window(store, settings, dialogs);
  window.show();
  if (!parser.positionalArguments().isEmpty()) {
    window.open_path(parser.positionalArguments().constFirst());
    if (parser.isSet(play)) window.play_once_shown();
  }
  return QApplication::exec();
}
