// The program on a real X server: a sample is played to its end, and the pixels the server
// shows in the video window are those of the command line's snapshot of the last frame.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMdiArea>
#include <QRadioButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QWindow>

#include "app/document_window.h"
#include "app/main_window.h"
#include "gui_support/scripted_dialogs.h"
#include "support/cli_run.h"
#include "support/stream_tools.h"

namespace tavik::gui {
namespace {

void process_for(int milliseconds) {
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < milliseconds) QApplication::processEvents(QEventLoop::AllEvents, 10);
}

TEST(RealDisplayTest, VideoWindowShowsTheLastFrameAsTheSnapshotHasIt) {
  ASSERT_EQ(QGuiApplication::platformName(), "xcb");
  QTemporaryDir temp;
  AnalysisStore store;
  AppSettings settings(temp.filePath(QStringLiteral("settings.ini")));
  test::ScriptedDialogs dialogs;
  MainWindow window(store, settings, dialogs);
  window.show();
  const auto sample = test::sample_path("testsrc-mpeg2.m2v");
  window.open_path(QString::fromStdString(sample.string()));
  QElapsedTimer timer;
  timer.start();
  while (!window.controller().video_shown() && timer.elapsed() < 60000) {
    QApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  window.controller().play();
  while (dialogs.messages.empty() && timer.elapsed() < 60000) {
    QApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  ASSERT_EQ(dialogs.messages.size(), 1u);
  ASSERT_TRUE(dialogs.messages[0].text.contains("100 frames"));

  // In front of the charts, which may overlap it.
  DocumentWindow* video = window.windows_of(WindowKind::kVideo).constFirst();
  window.mdi_area()->setActiveSubWindow(video);
  video->raise();
  QWidget* view = video->widget();
  view->repaint();
  process_for(500);
  const QPoint origin = view->mapToGlobal(QPoint(0, 0));
  const QImage shown = view->screen()
                           ->grabWindow(0, origin.x(), origin.y(), view->width(), view->height())
                           .toImage()
                           .convertToFormat(QImage::Format_RGB32);

  const QString png = temp.filePath(QStringLiteral("last.png"));
  const auto result = test::run_cli("snapshot " + test::quoted(sample) + " --frame 99 -o " +
                                    test::quoted(png.toStdString()));
  ASSERT_EQ(result.status, 0) << result.err;
  const QImage expected = QImage(png).convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(shown.size(), QSize(352, 288));
  int differing = 0;
  for (int y = 0; y < shown.height(); ++y) {
    for (int x = 0; x < shown.width(); ++x) differing += shown.pixel(x, y) != expected.pixel(x, y);
  }
  EXPECT_EQ(differing, 0);

  // Every kind of window open, kept as a picture of the whole program (not compared).
  dialogs.dialog_script = [](QDialog& dialog) {
    dialog.findChildren<QRadioButton*>()[1]->setChecked(true);  // frames
    dialog.accept();
  };
  for (WindowKind kind : {WindowKind::kFrameList, WindowKind::kGopList, WindowKind::kSliceList}) {
    window.open_window(kind);
  }
  window.run_statistics();
  window.mdi_area()->tileSubWindows();
  process_for(500);
  QDir().mkpath(QStringLiteral("artifacts"));
  const QImage whole = window.screen()
                           ->grabWindow(0, window.geometry().x(), window.geometry().y(),
                                        window.width(), window.height())
                           .toImage();
  EXPECT_TRUE(whole.save(QStringLiteral("artifacts/main-window.png")));
}

}  // namespace
}  // namespace tavik::gui
