#include <QApplication>
#include <QCommandLineParser>

#include "analysis/analysis_store.h"
#include "app/app_settings.h"
#include "app/application_identity.h"
#include "app/main_window.h"
#include "views/dialog_service.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  tavik::gui::describe_application();

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
