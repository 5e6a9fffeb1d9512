// The main window on the offscreen platform: command states, file opening and closing, the
// video window, the message boxes (answered by a script) and the program's version.
#include "app/main_window.h"

#include <gtest/gtest.h>

#include <QAbstractScrollArea>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPointer>
#include <QPrinter>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSpinBox>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QThread>
#include <QToolBar>
#include <QTreeWidget>
#include <functional>
#include <map>
#include <set>

#include "app/application_identity.h"
#include "app/decoding_options_dialog.h"
#include "app/document_window.h"
#include "charts/macroblock_overlay.h"
#include "gui_support/scripted_dialogs.h"
#include "results/report_files.h"
#include "support/cli_run.h"
#include "support/stream_tools.h"
#include "views/bar_chart_view.h"
#include "views/chart_settings_dialog.h"
#include "views/picture_view.h"
#include "views/timing_chart_view.h"
#include "views/video_view.h"

namespace tavik::gui {
namespace {

using test::ScriptedDialogs;

// Runs the event loop until `done` holds (a hang guard, not a timing check).
bool process_until(const std::function<bool()>& done) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > 30000) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

QString sample() {
  return QString::fromStdString(test::sample_path("testsrc-mpeg2.m2v").string());
}

class MainWindowTest : public ::testing::Test {
 protected:
  MainWindowTest() : settings(temp.filePath(QStringLiteral("settings.ini"))) {}
  void SetUp() override {
    window = std::make_unique<MainWindow>(store, settings, dialogs);
    window->show();
  }

  QAction* action(Command command) const { return window->commands()[command]; }
  bool enabled(Command command) const {
    window->update_actions();
    return action(command)->isEnabled();
  }
  QStringList menu_titles() const {
    QStringList titles;
    for (QAction* menu : window->menuBar()->actions()) titles << menu->text();
    return titles;
  }
  std::multiset<int> open_kinds() const {
    std::multiset<int> kinds;
    for (QMdiSubWindow* sub : window->mdi_area()->subWindowList()) {
      kinds.insert(index_of(static_cast<DocumentWindow*>(sub)->kind()));
    }
    return kinds;
  }
  void open_sample() {
    dialogs.open_answers = {sample()};
    action(Command::kOpen)->trigger();
    ASSERT_TRUE(process_until([this] { return window->controller().video_shown(); }));
  }
  int last_frame() const {
    return store.read([](const StoreData& d) { return d.last_frame; });
  }

  QTemporaryDir temp;
  AnalysisStore store;
  AppSettings settings;
  ScriptedDialogs dialogs;
  std::unique_ptr<MainWindow> window;
};

TEST_F(MainWindowTest, StartsWithTheNoDocumentMenusAndAHiddenStatusBar) {
  EXPECT_EQ(window->windowTitle(), "Tavik");
  EXPECT_TRUE(window->statusBar()->isHidden());
  EXPECT_EQ(menu_titles(), (QStringList{"File", "View", "Help"}));
  EXPECT_EQ(action(Command::kOpen)->text(), "Open...");
  EXPECT_EQ(action(Command::kExit)->text(), "Exit");
  EXPECT_EQ(action(Command::kAbout)->text(), "About Vemora...");
  EXPECT_TRUE(enabled(Command::kOpen));
  for (Command command :
       {Command::kPlay, Command::kPlayFrame, Command::kPause, Command::kGoToBeginning,
        Command::kSaveInformation, Command::kSummary, Command::kStatistics}) {
    EXPECT_FALSE(enabled(command)) << static_cast<int>(command);
  }

  // The toolbar: the buttons in order, separators between the groups, distinct icons.
  QToolBar* toolbar = window->findChild<QToolBar*>();
  ASSERT_NE(toolbar, nullptr);
  QList<Command> shown;
  std::set<QByteArray> icons;
  for (QAction* button : toolbar->actions()) {
    if (button->isSeparator()) {
      shown << kSeparator;
      continue;
    }
    shown << static_cast<Command>(button->data().toInt());
    const QImage image = button->icon().pixmap(16, 16).toImage();
    icons.insert(QByteArray(reinterpret_cast<const char*>(image.constBits()), image.sizeInBytes()));
  }
  EXPECT_EQ(shown, CommandTable::toolbar_layout());
  EXPECT_EQ(icons.size(), 21u);
  EXPECT_EQ(action(Command::kPlay)->toolTip(), "Play");
  EXPECT_EQ(action(Command::kGoToBeginning)->toolTip(), "Go to the begining");

  action(Command::kAbout)->trigger();
  EXPECT_EQ(dialogs.about_shown, 1);
}

TEST_F(MainWindowTest, OpeningAFileShowsTheVideoAndTheChartsAndFollowsThePlaybackRules) {
  open_sample();
  EXPECT_EQ(dialogs.open_filters,
            (QStringList{"MPEG Files (*.mpg)", "MPEG2 Video Files (*.M2V)",
                         "MPEG1 Video Files (*.M1V)", "All Files (*.*)",
                         "All MPEG streams (*.mpg *.mpeg *.m1v *.m2v *.mpv *.m2p *.vob *.ts "
                         "*.m2ts *.mts)"}));
  EXPECT_EQ(open_kinds(), (std::multiset<int>{0, 1, 3, 5}));
  EXPECT_EQ(menu_titles(), (QStringList{"File", "View", "Control", "Filter",
                                        "Graphic configuration", "Show", "Window", "Help"}));
  EXPECT_EQ(action(Command::kOpen)->text(), "Open");
  EXPECT_EQ(action(Command::kExit)->text(), "Close");
  EXPECT_EQ(last_frame(), 0);  // the first paint decoded two pictures

  // The video window shows exactly the picture.
  DocumentWindow* video = window->windows_of(WindowKind::kVideo).constFirst();
  ASSERT_TRUE(process_until([&] { return video->widget()->size() == QSize(352, 288); }));
  EXPECT_FALSE(video->windowFlags() & Qt::WindowMaximizeButtonHint);

  EXPECT_FALSE(enabled(Command::kOpen));
  EXPECT_TRUE(enabled(Command::kPlay));
  EXPECT_TRUE(enabled(Command::kPlayFrame));
  EXPECT_FALSE(enabled(Command::kPause));
  EXPECT_TRUE(enabled(Command::kSummary));
  EXPECT_TRUE(action(Command::kShowFrame)->isChecked());

  // Space plays, and pauses while playing: one enabled command holds it at a time.
  const auto space_command = [this] {
    window->update_actions();
    QList<QAction*> bound;
    for (QAction* item : window->findChildren<QAction*>()) {
      if (item->isEnabled() && item->shortcuts().contains(QKeySequence(Qt::Key_Space)))
        bound << item;
    }
    return bound;
  };
  EXPECT_EQ(space_command(), QList<QAction*>{action(Command::kPlay)});
  action(Command::kPlay)->trigger();
  EXPECT_FALSE(enabled(Command::kPlay));
  EXPECT_FALSE(enabled(Command::kPlayFrame));
  EXPECT_TRUE(enabled(Command::kPause));
  EXPECT_EQ(space_command(), QList<QAction*>{action(Command::kPause)});
  action(Command::kPause)->trigger();
  EXPECT_TRUE(enabled(Command::kPlay));

  action(Command::kFilterB)->trigger();
  EXPECT_TRUE(action(Command::kFilterB)->isChecked());

  // Closing a chart clears its Show check; the Show command opens it again.
  window->windows_of(WindowKind::kGopChart).constFirst()->close();
  EXPECT_FALSE(enabled(Command::kShowGop) && action(Command::kShowGop)->isChecked());
  action(Command::kShowGop)->trigger();
  EXPECT_EQ(window->windows_of(WindowKind::kGopChart).size(), 1);
  EXPECT_TRUE(action(Command::kShowGop)->isChecked());
}

// The Window menu lists the open windows; choosing one activates it.
TEST_F(MainWindowTest, TheWindowMenuListsTheOpenWindows) {
  open_sample();
  QMenu* menu = window->menuBar()->actions()[6]->menu();
  ASSERT_EQ(menu->title(), "Window");
  const auto listed = [menu] {
    emit menu->aboutToShow();
    QList<QAction*> items;
    for (QAction* item : menu->actions()) {
      if (item->isCheckable()) items << item;
    }
    return items;
  };
  const QList<QMdiSubWindow*> windows = window->mdi_area()->subWindowList();
  ASSERT_EQ(listed().size(), windows.size());
  EXPECT_EQ(listed()[1]->text(), "&2 " + windows[1]->windowTitle());
  listed()[1]->trigger();
  EXPECT_EQ(window->mdi_area()->activeSubWindow(), windows[1]);
  EXPECT_TRUE(listed()[1]->isChecked());
}

// Ctrl+W has one binding, the Close command, which closes the active window.
TEST_F(MainWindowTest, CtrlWClosesTheActiveWindow) {
  open_sample();
  const QKeySequence close(Qt::CTRL | Qt::Key_W);
  QList<QAction*> bound;
  for (QAction* item : window->findChildren<QAction*>()) {
    if (item->shortcuts().contains(close)) bound << item;
  }
  ASSERT_EQ(bound, QList<QAction*>{action(Command::kCloseDocument)});
  window->mdi_area()->setActiveSubWindow(window->windows_of(WindowKind::kGopChart).constFirst());
  bound[0]->trigger();
  EXPECT_TRUE(window->windows_of(WindowKind::kGopChart).isEmpty());
}

// The main caption follows the active chart's title as the chart counts on.
TEST_F(MainWindowTest, TheCaptionFollowsTheActiveWindowsTitle) {
  open_sample();
  DocumentWindow* chart = window->windows_of(WindowKind::kFrameChart).constFirst();
  window->mdi_area()->setActiveSubWindow(chart);
  for (int i = 0; i < 3; ++i) action(Command::kPlayFrame)->trigger();
  static_cast<QAbstractScrollArea*>(chart->widget())->viewport()->repaint();
  EXPECT_TRUE(chart->windowTitle().endsWith("Frame: 3"));
  EXPECT_EQ(window->windowTitle(), "Tavik - " + chart->windowTitle());
}

TEST_F(MainWindowTest, PlaysToTheEndAndShowsTheSummaryOnce) {
  open_sample();
  action(Command::kPlay)->trigger();
  ASSERT_TRUE(process_until([this] { return !dialogs.messages.empty(); }));
  process_until([this] { return enabled(Command::kPlay); });
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].icon, MessageIcon::kInformation);
  EXPECT_TRUE(dialogs.messages[0].text.startsWith("SUMMARY:"));
  EXPECT_TRUE(dialogs.messages[0].text.contains("100 frames"));
  EXPECT_EQ(last_frame(), 99);

  action(Command::kSummary)->trigger();
  ASSERT_EQ(dialogs.messages.size(), 2u);
  EXPECT_EQ(dialogs.messages[1].text, dialogs.messages[0].text);

  // A click on the bar of frame 10 tells its numbers and opens the Bytes/slice chart on it.
  window->windows_of(WindowKind::kSliceChart).constFirst()->close();
  auto* chart = static_cast<QAbstractScrollArea*>(
      window->windows_of(WindowKind::kFrameChart).constFirst()->widget());
  chart->viewport()->repaint();
  const QPointF bar(30 + 10 * 5, chart->height() - 70);
  QMouseEvent click(QEvent::MouseButtonPress, bar, chart->viewport()->mapToGlobal(bar),
                    Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(chart->viewport(), &click);
  ASSERT_EQ(dialogs.messages.size(), 3u);
  EXPECT_TRUE(dialogs.messages[2].text.startsWith("Frame:  10.\nFirst Slice:  "));

  // Zoomed twice as wide about the pointer, the same place still shows frame 10.
  static_cast<BarChartView*>(chart)->zoom_at(2.0, int(bar.x()));
  chart->viewport()->repaint();
  chart->viewport()->repaint();
  QApplication::sendEvent(chart->viewport(), &click);
  ASSERT_EQ(dialogs.messages.size(), 4u);
  EXPECT_TRUE(dialogs.messages[3].text.startsWith("Frame:  10.\nFirst Slice:  "));
  ASSERT_EQ(window->windows_of(WindowKind::kSliceChart).size(), 1);
  QWidget* slices = window->windows_of(WindowKind::kSliceChart).constFirst();
  static_cast<QAbstractScrollArea*>(slices->findChild<QAbstractScrollArea*>())
      ->viewport()
      ->repaint();
  EXPECT_EQ(slices->windowTitle(), "Bytes/Slices");

  // The Statistics dialog refuses leaving every frame type out, and numbers below 1.
  int scripted = 0;
  dialogs.dialog_script = [&scripted](QDialog& dialog) {
    const auto boxes = dialog.findChildren<QCheckBox*>();
    for (QCheckBox* box : boxes) box->setChecked(true);
    dialog.findChildren<QRadioButton*>()[1]->setChecked(true);  // frames
    dialog.accept();
    if (scripted++ == 0) boxes[0]->setChecked(false);
    dialog.findChildren<QLineEdit*>()[0]->setText("0");
    dialog.accept();
    dialog.findChildren<QLineEdit*>()[0]->setText("20");
    dialog.accept();
  };
  const size_t before = dialogs.messages.size();
  action(Command::kStatistics)->trigger();
  ASSERT_EQ(dialogs.messages.size(), before + 2);
  EXPECT_EQ(dialogs.messages[before].text, "You must not filter all the frames types");
  EXPECT_EQ(dialogs.messages[before + 1].text, "Please enter an integer between 1 and 1000000.");
  EXPECT_EQ(window->windows_of(WindowKind::kStatistics).size(), 1);

  // View > Export picture writes what the active window shows.
  window->mdi_area()->setActiveSubWindow(window->windows_of(WindowKind::kStatistics).constFirst());
  const QString png = temp.filePath(QStringLiteral("statistics.png"));
  dialogs.save_answers = {png};
  action(Command::kExportPng)->trigger();
  EXPECT_FALSE(QImage(png).isNull());
}

// Export is offered while a chart or the statistics is the active window, and only then.
TEST_F(MainWindowTest, ExportIsEnabledOnlyWhileAChartOrTheStatisticsIsActive) {
  open_sample();
  const std::pair<WindowKind, bool> cases[] = {
      {WindowKind::kVideo, false},     {WindowKind::kFrameChart, true},
      {WindowKind::kFrameList, false}, {WindowKind::kGopChart, true},
      {WindowKind::kStatistics, true}, {WindowKind::kSliceList, false},
  };
  for (const auto& [kind, exportable] : cases) {
    if (window->windows_of(kind).isEmpty()) window->open_window(kind);
    window->mdi_area()->setActiveSubWindow(window->windows_of(kind).constFirst());
    EXPECT_EQ(action(Command::kExportPng)->isEnabled(), exportable) << index_of(kind);
    EXPECT_EQ(action(Command::kExportSvg)->isEnabled(), exportable) << index_of(kind);
  }
  window->mdi_area()->setActiveSubWindow(nullptr);
  EXPECT_FALSE(enabled(Command::kExportPng));
}

// The Statistics box of the Bytes/frame chart chooses frames for good: the Statistics command
// opens on frames again after the box's dialog was cancelled.
TEST_F(MainWindowTest, AChartsStatisticsBoxKeepsItsSourceWhenTheDialogIsCancelled) {
  open_sample();
  auto* chart = static_cast<QAbstractScrollArea*>(
      window->windows_of(WindowKind::kFrameChart).constFirst()->widget());
  chart->viewport()->repaint();
  QList<int> sources;
  dialogs.dialog_script = [&sources](QDialog& dialog) {
    const auto radios = dialog.findChildren<QRadioButton*>();
    for (int i = 0; i < radios.size(); ++i) {
      if (radios[i]->isChecked()) sources << i;
    }
  };
  const QPointF box(150, chart->height() - 70 + 40);
  QMouseEvent click(QEvent::MouseButtonPress, box, chart->viewport()->mapToGlobal(box),
                    Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(chart->viewport(), &click);
  action(Command::kStatistics)->trigger();
  EXPECT_EQ(sources, (QList<int>{1, 1}));
  EXPECT_TRUE(window->windows_of(WindowKind::kStatistics).isEmpty());
}

// A new chart's title has no number while nothing is measured, before its first paint too.
TEST_F(MainWindowTest, ANewChartTitleShowsNoNumberBeforeAnythingIsMeasured) {
  for (const auto& [kind, title] : {std::pair{WindowKind::kFrameChart, "Bytes/frame"},
                                    std::pair{WindowKind::kGopChart, "Bytes/gop"}}) {
    window->open_window(kind);
    EXPECT_EQ(window->windows_of(kind).constFirst()->windowTitle().toStdString(), title);
  }
}

// Real-time play keeps to the sample's 25 frames per second: within its first second it has
// read far fewer than its 100 frames.
TEST_F(MainWindowTest, RealTimePlayKeepsToTheFrameRate) {
  open_sample();
  EXPECT_FALSE(action(Command::kRealTime)->isChecked());
  action(Command::kRealTime)->trigger();
  action(Command::kPlay)->trigger();
  QElapsedTimer clock;
  clock.start();
  process_until([&clock] { return clock.elapsed() > 1000; });
  EXPECT_LT(last_frame(), 50);
  action(Command::kPause)->trigger();
}

TEST_F(MainWindowTest, ClosingTheVideoClosesEverythingAndCancelledOpenLeavesNoFile) {
  open_sample();
  action(Command::kPlay)->trigger();
  window->windows_of(WindowKind::kVideo).constFirst()->close();
  EXPECT_TRUE(window->mdi_area()->subWindowList().isEmpty());
  EXPECT_EQ(last_frame(), -1);
  EXPECT_TRUE(enabled(Command::kOpen));
  EXPECT_FALSE(enabled(Command::kPlay));
  EXPECT_EQ(menu_titles(), (QStringList{"File", "View", "Help"}));

  open_sample();
  action(Command::kFilterI)->trigger();
  window->windows_of(WindowKind::kVideo).constFirst()->close();
  dialogs.open_answers = {QString()};
  action(Command::kOpen)->trigger();
  EXPECT_FALSE(window->controller().state().file_loaded);

  // The next file starts without the last file's filters.
  open_sample();
  EXPECT_FALSE(action(Command::kFilterI)->isChecked());
  EXPECT_EQ(settings.recent_files(), QStringList{sample()});
}

TEST_F(MainWindowTest, BadInputShowsTheEngineTextAndLeavesTheProgramUsable) {
  const QString not_mpeg = temp.filePath(QStringLiteral("not-mpeg.mpg"));
  const QString empty = temp.filePath(QStringLiteral("empty.mpg"));
  test::write_file(not_mpeg.toStdString(), std::vector<uint8_t>(1000, 0x55));
  test::write_file(empty.toStdString(), {});
  for (const QString& path : {not_mpeg, empty}) {
    dialogs.messages.clear();
    window->open_path(path);
    ASSERT_TRUE(process_until([this] { return !dialogs.messages.empty(); }));
    EXPECT_EQ(dialogs.messages[0].icon, MessageIcon::kStop);
    EXPECT_TRUE(
        dialogs.messages[0].text.startsWith("This not a valid MPEG system or video stream"));
    EXPECT_TRUE(enabled(Command::kPlay));  // the file stays loaded
    action(Command::kPlay)->trigger();
    ASSERT_TRUE(process_until([this] { return dialogs.messages.size() == 2; }));
    EXPECT_TRUE(enabled(Command::kPlay));
  }
  window->open_path(sample());
  ASSERT_TRUE(process_until([this] { return window->controller().video_shown(); }));
  EXPECT_EQ(last_frame(), 0);
}

// A file that cannot start a session leaves nothing of the file measured before it.
TEST_F(MainWindowTest, AFailedOpenLeavesTheStoreEmpty) {
  open_sample();
  action(Command::kMeasureWholeFile)->trigger();
  ASSERT_TRUE(process_until([this] { return enabled(Command::kPlay); }));
  ASSERT_GT(store.read([](const StoreData& d) { return d.slice_count; }), 0);
  window->windows_of(WindowKind::kVideo).constFirst()->close();
  const QString not_mpeg = temp.filePath(QStringLiteral("not-mpeg.mpg"));
  test::write_file(not_mpeg.toStdString(), std::vector<uint8_t>(1000, 0x55));
  window->open_path(not_mpeg);
  ASSERT_TRUE(process_until([this] { return !dialogs.messages.empty(); }));
  const StoreData fresh;
  store.read([&fresh](const StoreData& d) {
    EXPECT_EQ(d.open_gop, fresh.open_gop);
    EXPECT_EQ(d.slice_count, 0);
    EXPECT_EQ(d.last_frame, -1);
    EXPECT_EQ(d.max_gop_bytes, fresh.max_gop_bytes);
    EXPECT_EQ(d.max_frames_per_gop, 0);
    EXPECT_EQ(d.gop_bytes[0], 0u);
  });
}

// Playing a file that does not exist says so once, in one box.
TEST_F(MainWindowTest, PlayingAMissingFileShowsOneBox) {
  window->open_path(temp.filePath(QStringLiteral("missing.mpg")));
  window->play_once_shown();
  ASSERT_TRUE(process_until([this] { return window->controller().video_shown(); }));
  QElapsedTimer settle;
  settle.start();
  process_until([&settle] { return settle.elapsed() > 200; });
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].text, "Error al abrir fichero");
  EXPECT_TRUE(dialogs.messages[0].informative.startsWith("Input file "));
  EXPECT_TRUE(dialogs.messages[0].informative.endsWith("missing.mpg not found"));
}

// After a measure a step asks before measuring afresh; a cancelled measure says it is partial;
// the progress window leaves the other windows usable.
TEST_F(MainWindowTest, AMeasureIsKeptUntilTheUserLetsItGoAndAPartialOneSaysSo) {
  open_sample();
  action(Command::kMeasureWholeFile)->trigger();
  QPointer<QProgressDialog> progress = window->findChild<QProgressDialog*>();
  ASSERT_NE(progress, nullptr);
  EXPECT_EQ(progress->windowModality(), Qt::NonModal);
  // The window goes when the walk's end has been handled.
  ASSERT_TRUE(process_until([&progress] {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return progress.isNull();
  }));
  ASSERT_EQ(last_frame(), 99);
  dialogs.confirm_answers = {false, true};
  action(Command::kPlayFrame)->trigger();
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].icon, MessageIcon::kWarning);
  EXPECT_EQ(last_frame(), 99);
  action(Command::kPlayFrame)->trigger();
  EXPECT_EQ(dialogs.messages.size(), 2u);
  EXPECT_EQ(last_frame(), 0);

  window->post_measure_done(false);  // as the walk reports a cancel
  ASSERT_TRUE(
      process_until([this] { return window->windowTitle().endsWith("(partial measure)"); }));
  action(Command::kSummary)->trigger();
  EXPECT_TRUE(dialogs.messages.back().informative.startsWith("Partial measure: cancelled"));
}

std::string file_text(const QString& path) {
  const std::vector<uint8_t> bytes = test::read_file(path.toStdString());
  return {bytes.begin(), bytes.end()};
}

// Fills a dialog's edits and tick boxes by name, then presses OK.
std::function<void(QDialog&)> fill_and_ok(std::map<QString, QString> texts,
                                          std::map<QString, bool> ticks = {}) {
  return [texts, ticks](QDialog& dialog) {
    for (const auto& [name, text] : texts) dialog.findChild<QLineEdit*>(name)->setText(text);
    for (const auto& [name, on] : ticks) dialog.findChild<QCheckBox*>(name)->setChecked(on);
    dialog.findChild<QPushButton*>(QStringLiteral("ok"))->click();
  };
}

TEST_F(MainWindowTest, ConfigurationCommandsSetTheChartSettings) {
  const struct {
    Command command;
    bool automatic;
    ChartSettings expected;
  } cases[] = {
      {Command::kFrameGraphic, false, {2, 0, 8000}},
      {Command::kFrameGraphic, true, {2, 1, 3000}},  // the Y limit is ignored
      {Command::kGopGraphic, false, {2, 0, 8000}},
      {Command::kSliceGraphic, true, {2, 1, 1000}},
  };
  for (const auto& c : cases) {
    store.update([](StoreData& data) { data = StoreData(); });
    dialogs.dialog_script =
        fill_and_ok({{"bar_width", "2"}, {"y_limit", "8000"}}, {{"automatic", c.automatic}});
    action(c.command)->trigger();
    const ChartSettings got = store.read([&](const StoreData& data) {
      return c.command == Command::kFrameGraphic ? data.frame_chart
             : c.command == Command::kGopGraphic ? data.gop_chart
                                                 : data.slice_chart;
    });
    EXPECT_EQ(got.bar_width, c.expected.bar_width);
    EXPECT_EQ(got.auto_scale, c.expected.auto_scale);
    EXPECT_EQ(got.y_limit, c.expected.y_limit);
  }

  // A Y limit below the rows of the tallest chart window the area holds is refused.
  const int rows = chart_row_count(window->mdi_area()->viewport()->height());
  dialogs.dialog_script =
      fill_and_ok({{"y_limit", QString::number(rows - 1)}}, {{"automatic", false}});
  action(Command::kGopGraphic)->trigger();
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(
      dialogs.messages[0].text,
      QStringLiteral("Please enter an integer of at least %1: the chart has %1 rows.").arg(rows));
  EXPECT_EQ(store.read([](const StoreData& data) { return data.gop_chart.auto_scale; }), true);
}

// Counts the paints of one widget.
class PaintCounter final : public QObject {
 public:
  explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
  int paints = 0;
};

// OK in a configuration dialog repaints its chart at once.
TEST_F(MainWindowTest, ConfigurationRepaintsItsChart) {
  for (const auto& [kind, command] : {std::pair{WindowKind::kFrameChart, Command::kFrameGraphic},
                                      std::pair{WindowKind::kGopChart, Command::kGopGraphic},
                                      std::pair{WindowKind::kSliceChart, Command::kSliceGraphic}}) {
    window->open_window(kind);
    auto* chart =
        static_cast<QAbstractScrollArea*>(window->windows_of(kind).constFirst()->widget());
    QApplication::processEvents();
    PaintCounter counter(chart->viewport());
    dialogs.dialog_script = fill_and_ok({{"bar_width", "1"}});
    action(command)->trigger();
    EXPECT_TRUE(process_until([&counter] { return counter.paints > 0; })) << index_of(kind);
  }
}

// The Bitrate and VBV buffer windows open from the Show menu, chart the whole file once it is
// measured, say what a click hits (a GOP, as the Bitrate configuration asks), export their
// picture and follow the stream as it plays.
TEST_F(MainWindowTest, TimingWindowsChartTheMeasureAndAnswerClicks) {
  open_sample();
  action(Command::kMeasureWholeFile)->trigger();
  ASSERT_TRUE(process_until([this] { return !window->controller().state().measuring; }));
  const struct {
    Command show;
    WindowKind kind;
    const char* message;
  } cases[] = {
      {Command::kShowBitrate, WindowKind::kBitrate, "Gop:  0\nTime:  00:00:00.000\nBits:  "},
      {Command::kShowVbv, WindowKind::kVbv, "Picture:  0 (I)\nTime:  00:00:00."}};
  dialogs.dialog_script = fill_and_ok({{"window_length", "10"}}, {{"per_gop", true}});
  action(Command::kBitrateGraphic)->trigger();
  for (const auto& c : cases) {
    action(c.show)->trigger();
    ASSERT_EQ(window->windows_of(c.kind).size(), 1);
    EXPECT_TRUE(action(c.show)->isChecked());
    auto* view = qobject_cast<TimingChartView*>(window->windows_of(c.kind).constFirst()->widget());
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(process_until([view] { return view->pictures_shown() == 100; }));
    view->viewport()->repaint();
    // In the first second's bar, just above the time axis.
    const QPointF point(kTimingChartLeft + 5, view->height() - 70);
    QMouseEvent click(QEvent::MouseButtonPress, point, view->viewport()->mapToGlobal(point),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &click);
    ASSERT_FALSE(dialogs.messages.empty());
    EXPECT_TRUE(dialogs.messages.back().text.startsWith(c.message))
        << dialogs.messages.back().text.toStdString();
  }

  // The buffer chart as a picture.
  DocumentWindow* buffer = window->windows_of(WindowKind::kVbv).constFirst();
  window->mdi_area()->setActiveSubWindow(buffer);
  const QString svg = temp.filePath(QStringLiteral("vbv.svg"));
  dialogs.save_answers = {svg};
  action(Command::kExportSvg)->trigger();
  EXPECT_NE(file_text(svg).find("Buffer 1015 kbit, variable rate 2000 kbit/s"), std::string::npos);

  // Measured afresh from the first picture, the window follows the stream to its end.
  auto* view = static_cast<TimingChartView*>(buffer->widget());
  action(Command::kPlayFrame)->trigger();
  ASSERT_TRUE(process_until([view] { return view->pictures_shown() < 100; }));
  action(Command::kPlay)->trigger();
  EXPECT_TRUE(process_until([view] { return view->pictures_shown() == 100; }));
}

// The decoding options are kept in the settings; OK refuses a pattern with other conversions.
TEST_F(MainWindowTest, DecodingOptionsAreKeptAndABadPatternIsRefused) {
  QAction* options = nullptr;
  for (QAction* item : window->menuBar()->actions()[1]->menu()->actions()) {
    if (item->text() == QStringLiteral("Decoding options...")) options = item;
  }
  ASSERT_NE(options, nullptr);
  dialogs.dialog_script = [](QDialog& dialog) {
    auto& decoding = dynamic_cast<DecodingOptionsDialog&>(dialog);
    decoding.pattern_edit()->setText(QStringLiteral("base_%s"));
    decoding.accept();
    decoding.pattern_edit()->setText(QStringLiteral("base_%03d%c"));
    decoding.threads_box()->setValue(2);
    decoding.accept();
  };
  options->trigger();
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_TRUE(dialogs.messages[0].text.contains("only %d, %c and %% are accepted"));
  EXPECT_EQ(settings.lower_layer_pattern(), QStringLiteral("base_%03d%c"));
  EXPECT_EQ(settings.decoding_threads(), std::min(2, QThread::idealThreadCount()));
}

TEST_F(MainWindowTest, SaveInformationFromAListWindowWritesItsList) {
  const std::string input = temp.filePath(QStringLiteral("clip.mpg")).toStdString();
  window->controller().set_input(input);
  store.update([](StoreData& data) {
    data.frame_bytes = {20000, 5000};
    data.frame_types = {1, 3};
    data.last_frame = 1;
    data.gop_bytes = {25000};
    data.open_gop = 1;
    data.bytes_scanned = 25000;
  });
  const QString list = temp.filePath(QStringLiteral("list.frm"));
  for (const auto& [kind, document] : {std::pair{WindowKind::kGopList, DocumentKind::kGops},
                                       std::pair{WindowKind::kSliceList, DocumentKind::kSlices}}) {
    window->open_window(kind);
    window->mdi_area()->setActiveSubWindow(window->windows_of(kind).constFirst());
    dialogs.save_answers = {list};
    action(Command::kSaveInformation)->trigger();
    EXPECT_EQ(dialogs.dialogs_run, 0);
    EXPECT_EQ(dialogs.save_filters.value(0), "Frame Files (*.frm)");
    EXPECT_EQ(dialogs.save_suffix, "frm");
    // The second save starts in the folder the first one saved to.
    EXPECT_EQ(dialogs.save_dir,
              kind == WindowKind::kGopList ? QCoreApplication::applicationDirPath() : temp.path());
    EXPECT_EQ(file_text(list), store.read([&, document = document](const StoreData& data) {
      return document_list_text(document, data, input);
    }));
  }
  dialogs.save_answers = {temp.filePath(QStringLiteral("no-such-dir/list.frm"))};
  action(Command::kSaveInformation)->trigger();
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].text, "File not save");

  // Any other window active: the dialog.
  window->mdi_area()->setActiveSubWindow(nullptr);
  action(Command::kSaveInformation)->trigger();
  EXPECT_EQ(dialogs.dialogs_run, 1);
}

TEST_F(MainWindowTest, ExportsAPictureAsPngOrSvg) {
  ChartScene scene;
  scene.items.push_back(Line{0, 10, 99, 10, Pen{kBlue, 3}});
  const QString png = temp.filePath(QStringLiteral("chart.png"));
  const QString svg = temp.filePath(QStringLiteral("chart.svg"));
  dialogs.save_answers = {png, svg, temp.filePath(QStringLiteral("missing/chart.png"))};
  window->export_picture(scene, QSize(100, 50), {}, false);
  window->export_picture(scene, QSize(100, 50), {}, true);
  window->export_picture(scene, QSize(100, 50), {}, false);
  const QImage image(png);
  ASSERT_EQ(image.size(), QSize(100, 50));
  EXPECT_EQ(image.pixel(50, 10), qRgb(0, 0, 255));
  EXPECT_EQ(image.pixel(50, 40), qRgb(255, 255, 255));
  QFile file(svg);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_TRUE(file.readAll().contains("<svg"));
  EXPECT_EQ(dialogs.save_suffix, "png");
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_TRUE(dialogs.messages[0].text.startsWith("Cannot write"));
}

// Both programs tell one version: the desktop's (its --version and About box) and the
// command line's.
TEST(ProgramVersion, TheDesktopAndTheCommandLineTellTheSameVersion) {
  describe_application();
  const QString version = QCoreApplication::applicationVersion();
  EXPECT_FALSE(version.isEmpty());
  EXPECT_EQ(test::run_cli("--version").out, "tavik-cli " + version.toStdString() + "\n");
  EXPECT_TRUE(about_text().startsWith("<b>Tavik</b> " + version + "<br>"));
}

// The container and stream go under the report, never into its text.
TEST_F(MainWindowTest, TheSummaryBoxNamesTheContainerUnderTheReport) {
  open_sample();
  store.update([](StoreData& data) { data.origin = VideoOrigin{Container::kSystem, 0xE0, 1}; });
  action(Command::kSummary)->trigger();
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_TRUE(dialogs.messages[0].text.startsWith("SUMMARY:\n\n- Total number of Bytes read: "));
  EXPECT_EQ(dialogs.messages[0].informative, "MPEG-1 system stream, video stream 0xE0");
}

// A damaged stream's texts are listed with their frames and counted under the summary; a new
// session lists its own.
TEST_F(MainWindowTest, TheMessagesWindowListsTheStreamsErrorsWithTheirFrames) {
  std::vector<uint8_t> bytes = test::read_file(test::sample_path("testsrc-mpeg2.m2v"));
  for (size_t i = bytes.size() / 3; i < bytes.size() / 3 + 3000; i += 7) bytes[i] ^= 0x5A;
  const QString damaged = temp.filePath(QStringLiteral("damaged.m2v"));
  test::write_file(damaged.toStdString(), bytes);
  dialogs.open_answers = {damaged};
  action(Command::kOpen)->trigger();
  ASSERT_TRUE(process_until([this] { return window->controller().video_shown(); }));
  action(Command::kShowMessages)->trigger();
  ASSERT_EQ(window->windows_of(WindowKind::kMessages).size(), 1);
  EXPECT_TRUE(action(Command::kShowMessages)->isChecked());
  auto* list =
      qobject_cast<QTreeWidget*>(window->windows_of(WindowKind::kMessages).constFirst()->widget());
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->topLevelItemCount(), 0);

  action(Command::kPlay)->trigger();
  ASSERT_TRUE(process_until([this] { return !dialogs.messages.empty(); }));
  process_until([list] { return list->topLevelItemCount() > 0; });
  const int rows = list->topLevelItemCount();
  ASSERT_GT(rows, 0);
  EXPECT_TRUE(dialogs.messages[0].informative.endsWith(
      QStringLiteral("%1 stream error%2; see Messages").arg(rows).arg(rows == 1 ? "" : "s")));
  const QTreeWidgetItem* first = list->topLevelItem(0);
  EXPECT_GT(first->text(0).toInt(), 0);
  EXPECT_LT(first->text(0).toInt(), 100);
  EXPECT_FALSE(first->text(1).isEmpty());
  EXPECT_FALSE(first->text(1).endsWith('\n'));

  action(Command::kGoToBeginning)->trigger();
  ASSERT_TRUE(process_until([list] { return list->topLevelItemCount() == 0; }));
}

// Windows open where they can be used: the main window at its last size, a chart reopened from
// Show and the statistics wide enough for their texts, a picture larger than the workspace
// scaled to fit it (and 1:1 on demand).
TEST_F(MainWindowTest, WindowsOpenAtUsableSizes) {
  EXPECT_GE(window->width(), window->screen()->availableSize().width() * 8 / 10);
  window->resize(700, 500);
  window->close();
  EXPECT_EQ(MainWindow(store, settings, dialogs).size(), QSize(700, 500));

  window->show();
  open_sample();
  EXPECT_FALSE(action(Command::kFitVideo)->isChecked());
  action(Command::kPlay)->trigger();
  ASSERT_TRUE(process_until([this] { return !dialogs.messages.empty(); }));
  for (Command show : {Command::kShowFrame, Command::kShowFrame}) action(show)->trigger();
  window->run_statistics();
  dialogs.dialog_script = [](QDialog& dialog) { dialog.accept(); };
  window->run_statistics();
  for (WindowKind kind : {WindowKind::kFrameChart, WindowKind::kStatistics}) {
    const QWidget* view = window->windows_of(kind).constFirst()->widget();
    EXPECT_GE(view->width(), view->sizeHint().width()) << index_of(kind);
    EXPECT_GT(view->sizeHint().width(), 400) << index_of(kind);
  }

  const QString big = QString::fromStdString(
      test::make_ffmpeg_stream("big.m2v", "-c:v mpeg2video -frames:v 2",
                               "-f lavfi -i testsrc2=size=1280x720:rate=25 -t 1")
          .string());
  window->open_path(big);
  ASSERT_TRUE(process_until([this] { return action(Command::kFitVideo)->isChecked(); }));
  const QWidget* video = window->windows_of(WindowKind::kVideo).constFirst()->widget();
  const QSize room = window->mdi_area()->viewport()->size();
  EXPECT_LE(video->width(), room.width());
  EXPECT_LE(video->height(), room.height());
  EXPECT_NEAR(video->width() * 720.0 / video->height(), 1280, 8);
  action(Command::kFitVideo)->trigger();
  EXPECT_EQ(video->size(), QSize(1280, 720));
}

// Cascade keeps every window whole in the area at its usable size (a chart as large as it asks,
// at least 400x300), each a title bar lower than the one before unless it starts a new cascade.
TEST_F(MainWindowTest, CascadeKeepsTheWindowsUsable) {
  open_sample();
  for (Command show : {Command::kShowBitrate, Command::kShowStructure, Command::kShowBytes}) {
    action(show)->trigger();
  }
  action(Command::kCascade)->trigger();
  const QRect area(QPoint(), window->mdi_area()->viewport()->size());
  int last_top = -1;
  for (QMdiSubWindow* sub : window->mdi_area()->subWindowList(QMdiArea::StackingOrder)) {
    const QWidget* view = sub->widget();
    const QSize room = area.size() - (sub->size() - view->size());
    const QSize usable = static_cast<DocumentWindow*>(sub)->kind() == WindowKind::kVideo
                             ? view->sizeHint()
                             : view->sizeHint().expandedTo(QSize(400, 300));
    EXPECT_TRUE(area.contains(sub->geometry())) << sub->windowTitle().toStdString();
    EXPECT_EQ(view->size(), usable.boundedTo(room)) << sub->windowTitle().toStdString();
    EXPECT_TRUE(sub->y() > last_top || sub->pos() == QPoint()) << sub->windowTitle().toStdString();
    last_top = sub->y();
  }
}

// The main window goes with every kind of window open: no view reads a part of it already gone
// as the windows hide (which the sanitizer build sees).
TEST_F(MainWindowTest, ClosesWithEveryWindowOpen) {
  open_sample();
  for (Command show : {Command::kShowBitrate, Command::kShowVbv, Command::kShowStructure,
                       Command::kShowBytes, Command::kShowMessages, Command::kShowPicture}) {
    action(show)->trigger();
  }
  EXPECT_EQ(window->mdi_area()->subWindowList().size(), 10);
  window.reset();
}

// Playback's repaint requests are gathered until the next tick of the display: one paint per
// window however many pictures came.
TEST(RepaintPacer, GathersTheRequestsOfOneTick) {
  std::multiset<int> repainted;
  RepaintPacer pacer([&](WindowKind kind) { repainted.insert(index_of(kind)); }, nullptr);
  for (WindowKind kind : {WindowKind::kFrameChart, WindowKind::kVideo, WindowKind::kFrameChart,
                          WindowKind::kFrameChart}) {
    pacer.request(kind);
  }
  EXPECT_TRUE(repainted.empty());
  ASSERT_TRUE(process_until([&] { return !repainted.empty(); }));
  EXPECT_EQ(repainted, (std::multiset<int>{0, 1}));
}

// Print: a list prints every line over as many pages as needed, a chart a vector drawing on
// one page (no picture in the file), the video its picture.
TEST_F(MainWindowTest, PrintsEveryLineOfAListAndChartsAsDrawings) {
  open_sample();
  action(Command::kPlay)->trigger();
  ASSERT_TRUE(process_until([this] { return !dialogs.messages.empty(); }));
  window->open_window(WindowKind::kFrameList);
  const struct {
    WindowKind kind;
    bool several_pages;
    bool image;
  } cases[] = {{WindowKind::kFrameList, true, false},
               {WindowKind::kFrameChart, false, false},
               {WindowKind::kVideo, false, true}};
  for (const auto& c : cases) {
    window->mdi_area()->setActiveSubWindow(window->windows_of(c.kind).constFirst());
    dialogs.printed = nullptr;
    action(Command::kPrint)->trigger();
    ASSERT_TRUE(dialogs.printed) << index_of(c.kind);
    const QString pdf = temp.filePath(QStringLiteral("printed.pdf"));
    {
      QPrinter printer(QPrinter::HighResolution);
      printer.setOutputFileName(pdf);
      dialogs.printed(printer);
    }
    QFile file(pdf);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    const qsizetype pages =
        QString::fromLatin1(bytes).count(QRegularExpression("/Type\\s*/Page\\b"));
    EXPECT_EQ(pages > 1, c.several_pages) << index_of(c.kind) << " pages " << pages;
    EXPECT_GE(pages, 1);
    EXPECT_EQ(bytes.contains("/Subtype /Image"), c.image) << index_of(c.kind);
  }
}

}  // namespace
}  // namespace tavik::gui

namespace tavik::gui {
namespace {

// The View menu's overlays toggle, stay in the settings and draw over the picture; Ctrl+click
// reads a record; Show > Picture follows the chosen frame with its macroblock counts.
TEST_F(MainWindowTest, MacroblockOverlaysAndThePictureWindow) {
  open_sample();
  auto* video =
      static_cast<VideoView*>(window->windows_of(WindowKind::kVideo).constFirst()->widget());
  EXPECT_TRUE(video->macroblock_at(QPoint(100, 100)).isEmpty());
  action(Command::kOverlayTypes)->trigger();
  action(Command::kOverlayGrid)->trigger();
  EXPECT_EQ(settings.overlays(), unsigned(kOverlayTypes | kOverlayGrid));
  EXPECT_TRUE(action(Command::kOverlayTypes)->isChecked());
  EXPECT_FALSE(action(Command::kOverlayVectors)->isChecked());
  action(Command::kPlayFrame)->trigger();
  const QImage plain = video->current_image();
  const QImage shown = video->grab().toImage();
  EXPECT_NE(shown.pixel(100, 100), plain.pixel(100, 100));
  // The records are those of the frame shown: frame 1, the stream's third picture (a B).
  EXPECT_TRUE(video->macroblock_at(QPoint(100, 100))
                  .startsWith("Macroblock 138 (column 6, row 6) of picture 2, "))
      << video->macroblock_at(QPoint(100, 100)).toStdString();
  action(Command::kOverlayTypes)->trigger();
  action(Command::kOverlayGrid)->trigger();
  EXPECT_EQ(settings.overlays(), 0U);
  action(Command::kPlayFrame)->trigger();
  EXPECT_TRUE(video->macroblock_at(QPoint(100, 100)).isEmpty());
  EXPECT_EQ(video->grab().toImage().pixel(100, 100), video->current_image().pixel(100, 100));

  // Open, the Picture window records the frames decoded from then on.
  action(Command::kShowPicture)->trigger();
  ASSERT_EQ(window->windows_of(WindowKind::kPicture).size(), 1);
  EXPECT_TRUE(action(Command::kShowPicture)->isChecked());
  auto* picture =
      static_cast<PictureView*>(window->windows_of(WindowKind::kPicture).constFirst()->widget());
  EXPECT_EQ(picture->lines().size(), 1);
  action(Command::kPlay)->trigger();
  ASSERT_TRUE(process_until([this] { return !dialogs.messages.empty(); }));
  auto* chart = static_cast<QAbstractScrollArea*>(
      window->windows_of(WindowKind::kFrameChart).constFirst()->widget());
  chart->viewport()->repaint();
  const QPointF bar(30 + 10 * 5, chart->height() - 70);
  QMouseEvent click(QEvent::MouseButtonPress, bar, chart->viewport()->mapToGlobal(bar),
                    Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(chart->viewport(), &click);
  const QStringList lines = picture->lines();
  ASSERT_GE(lines.size(), 4);
  EXPECT_TRUE(lines[1].contains("Frame: 10 "));
  EXPECT_TRUE(lines[3].startsWith("Macroblocks: 396 - Intra: ")) << lines[3].toStdString();
  picture->viewport()->repaint();
  EXPECT_EQ(window->windows_of(WindowKind::kPicture).constFirst()->windowTitle(), "Picture");
  action(Command::kShowPicture)->trigger();
  process_until([this] { return window->windows_of(WindowKind::kPicture).isEmpty(); });
  EXPECT_FALSE(action(Command::kShowPicture)->isChecked());
}

}  // namespace
}  // namespace tavik::gui
