#include "app/main_window.h"

#include <QAbstractScrollArea>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <cstdio>
#include <deque>
#include <mutex>
#include <optional>
#include <type_traits>

#include "app/decoding_options_dialog.h"
#include "app/document_window.h"
#include "app/overlay_commands.h"
#include "app/save_information_dialog.h"
#include "app/window_sizes.h"
#include "results/summary.h"
#include "views/bar_chart_view.h"
#include "views/chart_settings_dialog.h"
#include "views/information_list_view.h"
#include "views/messages_view.h"
#include "views/picture_view.h"
#include "views/statistics_dialog.h"
#include "views/statistics_view.h"
#include "views/video_view.h"
#include "views/window_title.h"

namespace tavik::gui {

namespace {

[[nodiscard]] QString without_line_end(const std::string& text) {
  QString result = QString::fromStdString(text);
  while (result.endsWith(QLatin1Char('\n'))) result.chop(1);
  return result;
}

// The list an information window writes for the Save information command.
[[nodiscard]] std::optional<DocumentKind> document_list_of(WindowKind kind) {
  switch (kind) {
    case WindowKind::kFrameList:
      return DocumentKind::kFrames;
    case WindowKind::kGopList:
      return DocumentKind::kGops;
    case WindowKind::kSliceList:
      return DocumentKind::kSlices;
    default:
      return std::nullopt;
  }
}

// The container and stream measured, the informative text of the summary box.
[[nodiscard]] QString stream_origin(const AnalysisStore& store) {
  return QString::fromStdString(
      store.read([](const StoreData& data) { return origin_text(data.origin); }));
}

}  // namespace

QStringList mpeg_file_filters() {
  return {QStringLiteral("MPEG Files (*.mpg)"), QStringLiteral("MPEG2 Video Files (*.M2V)"),
          QStringLiteral("MPEG1 Video Files (*.M1V)"), QStringLiteral("All Files (*.*)"),
          QStringLiteral("All MPEG streams (*.mpg *.mpeg *.m1v *.m2v *.mpv *.m2p *.vob *.ts "
                         "*.m2ts *.mts)")};
}

// The engine's texts: notices and traces on the standard output, warnings on the standard
// error stream, and message boxes queued for the window thread.
class MainWindow::WindowMessages final : public Messages {
 public:
  explicit WindowMessages(MainWindow& window) : window_(window) {}
  void out(std::string_view text) override { std::fwrite(text.data(), 1, text.size(), stdout); }
  void err(std::string_view text) override { std::fwrite(text.data(), 1, text.size(), stderr); }
  void message_box(std::string_view text) override {
    {
      std::lock_guard lock(mutex_);
      boxes_.push_back(QString::fromUtf8(text.data(), qsizetype(text.size())));
    }
    QMetaObject::invokeMethod(
        &window_,
        [this] {
          std::unique_lock lock(mutex_);
          if (boxes_.empty()) return;  // a fatal error's box has taken it
          const QString message = boxes_.front();
          boxes_.pop_front();
          lock.unlock();
          window_.show_message(MessageIcon::kStop, message);
        },
        Qt::QueuedConnection);
  }
  // The box the engine asked for just before a fatal error, which then shows in the same box.
  [[nodiscard]] std::optional<QString> take_last_box() {
    std::lock_guard lock(mutex_);
    if (boxes_.empty()) return std::nullopt;
    QString message = boxes_.back();
    boxes_.pop_back();
    return message;
  }

 private:
  MainWindow& window_;
  std::mutex mutex_;
  std::deque<QString> boxes_;
};

MainWindow::MainWindow(AnalysisStore& store, AppSettings& settings, DialogService& dialogs)
    : store_(store),
      settings_(settings),
      folder_dialogs_(dialogs, settings),
      dialogs_(folder_dialogs_),
      messages_(std::make_unique<WindowMessages>(*this)),
      log_(store, *messages_,
           [this] {
             QMetaObject::invokeMethod(
                 this, [this] { refresh_messages(); }, Qt::QueuedConnection);
           }),
      controller_(store, log_, *this),
      timing_windows_(controller_.timing(), dialogs_, *this),
      commands_(this),
      mdi_(new QMdiArea(this)),
      output_(*mdi_, dialogs, controller_, *this),
      measure_(controller_, *this),
      structure_(controller_, view_state_, dialogs_, *this,
                 {[this](WindowKind kind) { open_if_closed(kind); },
                  [this](WindowKind kind) { repaint_windows(kind); },
                  [this] {
                    measure_.start();
                    update_actions();
                  }}),
      pacer_([this](WindowKind kind) { repaint_windows(kind); }, this) {
  setWindowTitle(QStringLiteral("Tavik"));
  setAcceptDrops(true);
  setCentralWidget(mdi_);
  // The status bar exists but is never shown.
  statusBar()->showMessage(QStringLiteral("Preparado"));
  statusBar()->hide();
  controller_.set_true_colour(settings_.true_colour());
  controller_.set_macroblock_overlays(settings_.overlays() != 0);
  controller_.set_decoding_options(settings_.lower_layer_pattern().toStdString(),
                                   settings_.decoding_threads());
  build_toolbar();
  build_menus();
  connect_commands();
  connect(mdi_, &QMdiArea::subWindowActivated, this, [this] { update_actions(); });
  resize(main_window_start_size(settings_.main_window_size(), screen()));
  update_actions();
}

MainWindow::~MainWindow() {
  // The play worker must be gone before this window is.
  controller_.close_video();
  // The area and its windows outlive this object's own part: what they signal while the base
  // class destroys them (closed windows waiting for their deletion too) must not reach it.
  disconnect(mdi_, nullptr, this, nullptr);
  for (QObject* inside : mdi_->findChildren<QObject*>()) disconnect(inside, nullptr, this, nullptr);
  // The views read this object's members (the structure, the message log, the view state) as
  // they hide: they go while those are still there, not with the base class after them.
  delete mdi_;
}

void MainWindow::build_toolbar() {
  toolbar_ = addToolBar(QStringLiteral("ToolBar"));
  toolbar_->setIconSize(QSize(16, 15));
  for (Command command : CommandTable::toolbar_layout()) {
    if (command == kSeparator) {
      toolbar_->addSeparator();
    } else {
      toolbar_->addAction(commands_[command]);
    }
  }
}

void MainWindow::build_menus() {
  const auto menu = [this](const QString& title, const QList<Command>& items, QList<QMenu*>& set) {
    auto* m = new QMenu(title, this);
    for (Command command : items) {
      if (command == kSeparator) {
        m->addSeparator();
      } else {
        m->addAction(commands_[command]);
      }
    }
    set.append(m);
    return m;
  };
  for (QList<QMenu*>* set : {&no_document_menus_, &document_menus_}) {
    const bool documents = set == &document_menus_;
    QMenu* file = menu(QStringLiteral("File"), {Command::kOpen}, *set);
    recent_menus_.append(file->addMenu(QStringLiteral("Open Recent")));
    if (documents) {
      file->addAction(commands_[Command::kCloseDocument]);
      file->addAction(commands_[Command::kSaveInformation]);
    }
    file->addSeparator();
    file->addAction(commands_[Command::kExit]);
    QList<Command> view = {Command::kToolbar, Command::kTrueColour, Command::kFitVideo,
                           Command::kPositionSlider, Command::kDecodingOptions};
    view << kSeparator << overlay_commands();
    if (documents) view << kSeparator << Command::kExportPng << Command::kExportSvg;
    menu(QStringLiteral("View"), view, *set);
    if (documents) {
      menu(QStringLiteral("Control"),
           {Command::kPlay, Command::kPlayFrame, Command::kPause, Command::kGoToBeginning,
            kSeparator, Command::kMeasureWholeFile, Command::kGoToFrame, Command::kRealTime},
           *set);
      menu(QStringLiteral("Filter"), {Command::kFilterI, Command::kFilterP, Command::kFilterB},
           *set);
      menu(QStringLiteral("Graphic configuration"),
           {Command::kGopGraphic, Command::kFrameGraphic, Command::kSliceGraphic,
            Command::kBitrateGraphic, Command::kVbvGraphic},
           *set);
      menu(QStringLiteral("Show"),
           {Command::kShowGop, Command::kShowFrame, Command::kShowSlice, Command::kShowBitrate,
            Command::kShowVbv, Command::kShowPicture, kSeparator, Command::kShowStructure,
            Command::kShowBytes, Command::kShowMessages},
           *set);
      QMenu* windows = menu(QStringLiteral("Window"),
                            {Command::kCascade, Command::kMosaic, Command::kArrangeIcons}, *set);
      windows->addSeparator();
      connect(windows, &QMenu::aboutToShow, this, [this, windows] { list_windows(*windows); });
    }
    menu(QStringLiteral("Help"), {Command::kAbout}, *set);
  }
  // Shortcuts work whichever menus are shown.
  for (Command command :
       {Command::kOpen, Command::kCloseDocument, Command::kExit, Command::kPlay, Command::kPause,
        Command::kPlayFrame, Command::kGoToBeginning, Command::kPrint}) {
    addAction(commands_[command]);
  }
  rebuild_recent_menu();
  show_menus(false);
}

void MainWindow::rebuild_recent_menu() {
  const QStringList files = settings_.recent_files();
  for (QMenu* recent : recent_menus_) {
    recent->clear();
    for (int i = 0; i < files.size(); ++i) {
      const QString path = files[i];
      QAction* item = recent->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(path));
      connect(item, &QAction::triggered, this, [this, path] { open_path(path); });
    }
    recent->setEnabled(!files.isEmpty());
  }
}

// The open windows under the Window menu's commands, the active one checked.
void MainWindow::list_windows(QMenu& menu) {
  const QString listed = QStringLiteral("listed window");
  for (QAction* item : menu.actions()) {
    if (item->objectName() == listed) delete item;
  }
  const QList<QMdiSubWindow*> windows = mdi_->subWindowList();
  for (int i = 0; i < windows.size(); ++i) {
    QMdiSubWindow* window = windows[i];
    QAction* item = menu.addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(window->windowTitle()));
    item->setObjectName(listed);
    item->setCheckable(true);
    item->setChecked(window == mdi_->activeSubWindow());
    connect(item, &QAction::triggered, this, [this, window] { mdi_->setActiveSubWindow(window); });
  }
}

void MainWindow::show_menus(bool document_open) {
  menuBar()->clear();
  for (QMenu* m : document_open ? document_menus_ : no_document_menus_) menuBar()->addMenu(m);
  commands_.use_menu_texts(document_open);
  document_menus_shown_ = document_open;
}

void MainWindow::connect_commands() {
  // Every command leaves the command states as the new state has them.
  const auto on = [this](Command command, auto&& handler) {
    connect(commands_[command], &QAction::triggered, this, [this, handler](bool checked) {
      if constexpr (std::is_invocable_v<decltype(handler), bool>) {
        handler(checked);
      } else {
        handler();
      }
      update_actions();
    });
  };
  on(Command::kOpen, [this] { open_file(); });
  on(Command::kCloseDocument, [this] {
    if (QMdiSubWindow* active = mdi_->activeSubWindow()) active->close();
  });
  on(Command::kSaveInformation, [this] { save_information(); });
  on(Command::kExit, [this] { close(); });
  on(Command::kToolbar, [this](bool shown) { toolbar_->setVisible(shown); });
  on(Command::kPlay, [this] {
    mdi_->viewport()->update();
    if (replace_measurements()) controller_.play();
  });
  on(Command::kPlayFrame, [this] {
    if (replace_measurements()) controller_.play_frame();
  });
  on(Command::kPause, [this] { controller_.pause(); });
  on(Command::kGoToBeginning, [this] {
    measured_ = Measured::kNone;
    controller_.go_to_beginning();
  });
  on(Command::kMeasureWholeFile, [this] { measure_.start(); });
  on(Command::kFilterI, [this] { controller_.toggle_filter(kIPicture); });
  on(Command::kFilterP, [this] { controller_.toggle_filter(kPPicture); });
  on(Command::kFilterB, [this] { controller_.toggle_filter(kBPicture); });
  on(Command::kFrameGraphic, [this] { configure_chart(WindowKind::kFrameChart); });
  on(Command::kGopGraphic, [this] { configure_chart(WindowKind::kGopChart); });
  on(Command::kSliceGraphic, [this] { configure_chart(WindowKind::kSliceChart); });
  on(Command::kShowGop, [this] { controller_.toggle_show(WindowKind::kGopChart); });
  on(Command::kShowFrame, [this] { controller_.toggle_show(WindowKind::kFrameChart); });
  on(Command::kShowSlice, [this] { controller_.toggle_show(WindowKind::kSliceChart); });
  on(Command::kShowBitrate, [this] { toggle_window(WindowKind::kBitrate); });
  on(Command::kShowVbv, [this] { toggle_window(WindowKind::kVbv); });
  for (const WindowKind kind : {WindowKind::kBitrate, WindowKind::kVbv}) {
    on(kind == WindowKind::kVbv ? Command::kVbvGraphic : Command::kBitrateGraphic,
       [this, kind] { timing_windows_.configure(kind, this, windows_of(kind)); });
  }
  on(Command::kShowStructure, [this] { toggle_window(WindowKind::kStructure); });
  on(Command::kShowBytes, [this] { toggle_window(WindowKind::kBytes); });
  on(Command::kShowMessages, [this] { toggle_window(WindowKind::kMessages); });
  on(Command::kGoToFrame, [this] { structure_.go_to_frame(); });
  on(Command::kSummary, [this] { show_summary(); });
  on(Command::kStatistics, [this] { run_statistics(); });
  on(Command::kCascade,
     [this] { cascade_windows(*mdi_, commands_[Command::kFitVideo]->isChecked()); });
  on(Command::kMosaic, [this] { mdi_->tileSubWindows(); });
  on(Command::kArrangeIcons, [this] { arrange_icons(); });
  on(Command::kAbout, [this] { dialogs_.show_about(this); });
  on(Command::kPrint, [this] { output_.print_active(); });
  on(Command::kTrueColour, [this](bool checked) { set_true_colour(checked); });
  on(Command::kFitVideo, [this](bool checked) { set_video_fit(checked); });
  on(Command::kPositionSlider, [this](bool checked) { set_position_slider(checked); });
  on(Command::kRealTime, [this](bool checked) { controller_.set_real_time(checked); });
  on(Command::kDecodingOptions, [this] { configure_decoding(); });
  on(Command::kShowPicture, [this](bool shown) {
    shown ? open_if_closed(WindowKind::kPicture) : close_windows(WindowKind::kPicture);
  });
  connect_overlay_commands(commands_, settings_, this, [this](unsigned layers) {
    controller_.set_macroblock_overlays(layers != 0);
    for (DocumentWindow* window : windows_of(WindowKind::kVideo)) {
      if (auto* view = qobject_cast<VideoView*>(window->widget())) view->set_overlays(layers);
    }
  });
  on(Command::kExportPng, [this] { output_.export_active(false); });
  on(Command::kExportSvg, [this] { output_.export_active(true); });
  connect(toolbar_, &QToolBar::visibilityChanged, this, [this] { update_actions(); });
}

void MainWindow::update_actions() {
  state_update_posted_ = false;
  const PlaybackState state = controller_.state();
  const auto set = [this](Command command, bool enabled) {
    commands_[command]->setEnabled(enabled);
  };
  const bool idle = state.file_loaded && !state.playing && !state.measuring;
  set(Command::kOpen, !state.file_loaded);
  set(Command::kCloseDocument, mdi_->activeSubWindow() != nullptr);
  set(Command::kPlay, idle);
  set(Command::kPlayFrame, idle);
  set(Command::kPause, state.file_loaded && state.playing);
  set(Command::kGoToBeginning, state.file_loaded && !state.measuring);
  set(Command::kMeasureWholeFile, idle);
  set(Command::kGoToFrame, idle);
  set(Command::kShowStructure, state.file_loaded);
  set(Command::kShowBytes, state.file_loaded);
  commands_[Command::kShowStructure]->setChecked(!windows_of(WindowKind::kStructure).isEmpty());
  commands_[Command::kShowBytes]->setChecked(!windows_of(WindowKind::kBytes).isEmpty());
  set(Command::kExportPng, output_.can_export());
  set(Command::kExportSvg, output_.can_export());
  for (Command command : {Command::kSaveInformation, Command::kSummary, Command::kStatistics,
                          Command::kShowBitrate, Command::kShowVbv}) {
    set(command, state.file_loaded);
  }
  commands_[Command::kShowBitrate]->setChecked(!windows_of(WindowKind::kBitrate).isEmpty());
  commands_[Command::kShowVbv]->setChecked(!windows_of(WindowKind::kVbv).isEmpty());
  commands_[Command::kFilterI]->setChecked(state.filter_i);
  commands_[Command::kFilterP]->setChecked(state.filter_p);
  commands_[Command::kFilterB]->setChecked(state.filter_b);
  commands_[Command::kShowFrame]->setChecked(state.show_frame_chart);
  commands_[Command::kShowGop]->setChecked(state.show_gop_chart);
  commands_[Command::kShowSlice]->setChecked(state.show_slice_chart);
  commands_[Command::kShowMessages]->setChecked(!windows_of(WindowKind::kMessages).isEmpty());
  commands_[Command::kToolbar]->setChecked(!toolbar_->isHidden());
  commands_[Command::kTrueColour]->setChecked(settings_.true_colour());
  commands_[Command::kPositionSlider]->setChecked(settings_.position_slider());
  commands_[Command::kRealTime]->setChecked(controller_.real_time());
  commands_[Command::kShowPicture]->setChecked(!windows_of(WindowKind::kPicture).isEmpty());
  commands_[Command::kShowPicture]->setEnabled(state.file_loaded);
  check_overlay_commands(commands_, settings_.overlays());

  const bool documents = !mdi_->subWindowList().isEmpty();
  if (documents != document_menus_shown_) show_menus(documents);
  update_caption();
}

void MainWindow::update_caption() {
  QMdiSubWindow* active = mdi_->activeSubWindow();
  QString caption = active != nullptr && !active->windowTitle().isEmpty()
                        ? QStringLiteral("Tavik - %1").arg(active->windowTitle())
                        : QStringLiteral("Tavik");
  if (measured_ == Measured::kPartial) caption += QStringLiteral(" (partial measure)");
  setWindowTitle(caption);
}

// Playing or stepping after "Measure whole file" opens the file afresh, which measures it again
// from its first picture: the user chooses whether the measured figures go.
bool MainWindow::replace_measurements() {
  if (measured_ == Measured::kNone || controller_.session_open()) return true;
  if (!dialogs_.confirm(this, QStringLiteral("Playing starts again from the first picture and "
                                             "measures the file afresh: the figures of the "
                                             "measure are replaced."))) {
    return false;
  }
  measured_ = Measured::kNone;
  return true;
}

QList<DocumentWindow*> MainWindow::windows_of(WindowKind kind) const {
  QList<DocumentWindow*> found;
  for (QMdiSubWindow* sub : mdi_->subWindowList()) {
    auto* window = qobject_cast<DocumentWindow*>(sub);
    if (window != nullptr && window->kind() == kind) found.append(window);
  }
  return found;
}

void MainWindow::post_repaint(WindowKind kind, bool /*erase*/) {
  QMetaObject::invokeMethod(
      this,
      [this, kind] {
        pacer_.request(kind);
        controller_.repaint_issued(kind);
      },
      Qt::QueuedConnection);
}

void MainWindow::post_end_of_stream(const std::string& summary) {
  QMetaObject::invokeMethod(
      this,
      [this, text = QString::fromStdString(summary)] {
        update_actions();
        dialogs_.show_message_informing(this, MessageIcon::kInformation, text,
                                        summary_informative());
      },
      Qt::QueuedConnection);
}

void MainWindow::post_fatal_error(const std::string& text) {
  QMetaObject::invokeMethod(
      this,
      [this, box = messages_->take_last_box(), message = without_line_end(text)] {
        update_actions();
        if (box) {
          dialogs_.show_message_informing(this, MessageIcon::kStop, *box, message);
        } else {
          show_message(MessageIcon::kStop, message);
        }
      },
      Qt::QueuedConnection);
}

void MainWindow::post_state_changed() {
  // One update per burst of changes.
  if (state_update_posted_.exchange(true)) return;
  QMetaObject::invokeMethod(
      this, [this] { update_actions(); }, Qt::QueuedConnection);
}

void MainWindow::post_measure_progress(int percent) {
  QMetaObject::invokeMethod(
      this,
      [this, percent] {
        measure_.show_progress(percent);
        repaint_analysis_windows();
      },
      Qt::QueuedConnection);
}

void MainWindow::post_measure_done(bool completed) {
  QMetaObject::invokeMethod(
      this,
      [this, completed] {
        measured_ = completed ? Measured::kWhole : Measured::kPartial;
        measure_.finish();
        structure_.measure_done(completed);
        for (DocumentWindow* window : windows_of(WindowKind::kVideo)) {
          if (auto* view = qobject_cast<VideoView*>(window->widget())) {
            view->set_frames(structure_.frames());
          }
        }
        repaint_analysis_windows();
        update_actions();
      },
      Qt::QueuedConnection);
}

void MainWindow::repaint_analysis_windows() {
  for (int kind = 1; kind < kWindowKinds; ++kind) repaint_windows(static_cast<WindowKind>(kind));
}

void MainWindow::repaint_windows(WindowKind kind) {
  for (DocumentWindow* window : windows_of(kind)) {
    QWidget* view = window->widget();
    if (auto* scrolled = qobject_cast<QAbstractScrollArea*>(view)) view = scrolled->viewport();
    if (view != nullptr) view->update();
  }
}

QWidget* MainWindow::make_view(WindowKind kind) {
  switch (kind) {
    case WindowKind::kFrameChart:
      return new BarChartView(ChartKind::kFrame, store_, view_state_, *this);
    case WindowKind::kGopChart:
      return new BarChartView(ChartKind::kGop, store_, view_state_, *this);
    case WindowKind::kSliceChart:
      return new BarChartView(ChartKind::kSlice, store_, view_state_, *this);
    case WindowKind::kFrameList:
      return new InformationListView(ListKind::kFrames, store_, view_state_, *this);
    case WindowKind::kGopList:
      return new InformationListView(ListKind::kGops, store_, view_state_, *this);
    case WindowKind::kSliceList:
      return new InformationListView(ListKind::kSlices, store_, view_state_, *this);
    case WindowKind::kStatistics:
      return new StatisticsView(store_, view_state_, *this);
    case WindowKind::kBitrate:
    case WindowKind::kVbv:
      return timing_windows_.make_view(kind);
    case WindowKind::kPicture:
      return new PictureView(store_, controller_, view_state_, *this);
    case WindowKind::kStructure:
    case WindowKind::kBytes:
      return structure_.make_view(kind);
    case WindowKind::kMessages:
      return new MessagesView(log_);
    case WindowKind::kVideo:
      break;
  }
  return nullptr;  // the video window is made by the file opening
}

void MainWindow::show_information(const QString& text) {
  show_message(MessageIcon::kInformation, text);
}

void MainWindow::open_if_closed(WindowKind kind) {
  if (windows_of(kind).isEmpty()) open_window(kind);
}

void MainWindow::run_statistics() {
  StatisticsDialog dialog(view_state_.statistics.source, dialogs_, this);
  if (!dialogs_.run_dialog(dialog)) return;
  view_state_.statistics = dialog.fields();
  view_state_.statistics_histogram = true;
  if (windows_of(WindowKind::kStatistics).isEmpty()) {
    open_window(WindowKind::kStatistics);
    return;
  }
  for (DocumentWindow* window : windows_of(WindowKind::kStatistics)) {
    if (auto* view = qobject_cast<StatisticsView*>(window->widget())) view->recompute();
  }
}

void MainWindow::chosen_frame_changed() {
  if (windows_of(WindowKind::kSliceChart).isEmpty()) {
    open_window(WindowKind::kSliceChart);
  } else {
    repaint_windows(WindowKind::kSliceChart);
  }
  repaint_windows(WindowKind::kSliceList);
  repaint_windows(WindowKind::kPicture);
}

void MainWindow::export_picture(const ChartScene& scene, QSize size, QPoint scroll, bool svg) {
  output_.export_scene(scene, size, scroll, svg);
}

bool MainWindow::playing() const {
  return controller_.state().playing;
}

QString MainWindow::input_path() const {
  return QString::fromStdString(controller_.input_path());
}

DocumentWindow* MainWindow::add_window(WindowKind kind, QWidget* view) {
  auto* window = new DocumentWindow(kind, controller_, view);
  mdi_->addSubWindow(window);
  connect(window, &QObject::destroyed, this, [this] { post_state_changed(); });
  // The caption follows the title of the active window, which the charts count on as they paint.
  connect(window, &QWidget::windowTitleChanged, this, [this] { update_caption(); });
  window->show();
  return window;
}

void MainWindow::open_window(WindowKind kind) {
  if (kind == WindowKind::kVideo) return;
  DocumentWindow* window = add_window(kind, make_view(kind));
  window->setWindowTitle(
      store_.read([kind](const StoreData& stored) { return analysis_window_title(kind, stored); }));
  const QSize frame = window->size() - window->widget()->size();
  window->resize(frame + opening_view_size(*window->widget(), mdi_->viewport()->size() - frame));
  controller_.window_opened(kind);
}

void MainWindow::close_windows(WindowKind kind) {
  for (DocumentWindow* window : windows_of(kind)) window->close();
}

void MainWindow::open_file() {
  if (controller_.state().file_loaded) close_video_window();
  controller_.clear_input();
  const QString path = dialogs_.open_file_name(this, mpeg_file_filters());
  if (!path.isEmpty()) open_path(path);
}

void MainWindow::open_path(const QString& path) {
  if (controller_.state().file_loaded || !windows_of(WindowKind::kVideo).isEmpty()) {
    close_video_window();
  }
  view_state_.chosen = {};
  measured_ = Measured::kNone;
  controller_.set_input(QFileInfo(path).absoluteFilePath().toStdString());
  open_video_window(path);
  mdi_->tileSubWindows();
  settings_.add_recent_file(QFileInfo(path).absoluteFilePath());
  rebuild_recent_menu();
  update_actions();
}

void MainWindow::play_once_shown() {
  if (!controller_.state().file_loaded) return;
  if (!controller_.video_shown()) {
    QTimer::singleShot(20, this, [this] { play_once_shown(); });
    return;
  }
  // A first paint that could not open the file has said so: playing would say it again.
  if (!controller_.session_open()) return;
  controller_.play();
  update_actions();
}

void MainWindow::open_video_window(const QString& path) {
  auto* view = new VideoView(controller_);
  view->set_true_colour(settings_.true_colour());
  view->set_overlays(settings_.overlays());
  view->set_slider(settings_.position_slider());
  connect(view, &VideoView::frame_chosen, this,
          [this](qint64 frame) { structure_.show_frame(frame); });
  DocumentWindow* window = add_window(WindowKind::kVideo, view);
  window->setWindowTitle(QFileInfo(path).fileName());
  connect(window, &DocumentWindow::video_closing, this, [this] {
    measured_ = Measured::kNone;
    structure_.clear();
    close_analysis_windows();
    update_actions();
  });
  connect(
      view, &VideoView::picture_size_known, this, [this](QSize size) { fit_video_window(size); },
      Qt::QueuedConnection);
  // The charts the user wants open with the video window.
  const PlaybackState state = controller_.state();
  if (state.show_frame_chart) open_window(WindowKind::kFrameChart);
  if (state.show_gop_chart) open_window(WindowKind::kGopChart);
  if (state.show_slice_chart) open_window(WindowKind::kSliceChart);
}

// A picture larger than the workspace is scaled to fit its window; one that fits is shown at 1:1.
void MainWindow::fit_video_window(QSize picture_size) {
  for (DocumentWindow* window : windows_of(WindowKind::kVideo)) {
    const QSize room = mdi_->viewport()->size() - (window->size() - window->widget()->size());
    set_video_fit(video_view_size(picture_size, room, true) != picture_size);
  }
}

void MainWindow::set_video_fit(bool on) {
  commands_[Command::kFitVideo]->setChecked(on);
  for (DocumentWindow* window : windows_of(WindowKind::kVideo)) {
    auto* view = qobject_cast<VideoView*>(window->widget());
    if (view == nullptr) continue;
    // Fitted into the window's place in the area (its tile after Mosaic), within the area.
    const QSize frame = window->size() - view->size();
    const QSize room = view->size().boundedTo(mdi_->viewport()->size() - frame);
    view->set_fit(on);
    window->resize(frame + video_view_size(view->sizeHint(), room, on));
  }
}

void MainWindow::close_video_window() {
  for (DocumentWindow* window : windows_of(WindowKind::kVideo)) window->close();
}

void MainWindow::close_analysis_windows() {
  for (QMdiSubWindow* sub : mdi_->subWindowList()) {
    auto* window = qobject_cast<DocumentWindow*>(sub);
    if (window != nullptr && window->kind() != WindowKind::kVideo) window->close();
  }
}

// Minimised windows in a row along the bottom of the area.
void MainWindow::arrange_icons() {
  int x = 0;
  const int bottom = mdi_->viewport()->height();
  for (QMdiSubWindow* sub : mdi_->subWindowList()) {
    if (!sub->isMinimized()) continue;
    sub->move(x, bottom - sub->height());
    x += sub->width();
  }
}

void MainWindow::show_summary() {
  QString informative = summary_informative();
  if (measured_ == Measured::kPartial) {
    informative =
        QStringLiteral("Partial measure: cancelled before the end of the file.\n") + informative;
  }
  dialogs_.show_message_informing(this, MessageIcon::kInformation,
                                  QString::fromStdString(BuildSummary(store_)), informative);
}

// The container and stream measured, and how many texts the Messages window lists.
QString MainWindow::summary_informative() const {
  QString informative = stream_origin(store_);
  if (const size_t errors = log_.size(); errors > 0) {
    if (!informative.isEmpty()) informative += QLatin1Char('\n');
    informative += QStringLiteral("%1 stream error%2; see Messages")
                       .arg(errors)
                       .arg(errors == 1 ? QString() : QStringLiteral("s"));
  }
  return informative;
}

void MainWindow::refresh_messages() {
  for (DocumentWindow* window : windows_of(WindowKind::kMessages)) {
    if (auto* view = qobject_cast<MessagesView*>(window->widget())) view->refresh();
  }
}

// Runs the chart's configuration dialog; OK sets the chart's settings (the Y limit only when
// Automatic is off) and repaints the chart from a clear background.
void MainWindow::configure_chart(WindowKind chart) {
  const ChartSettings current =
      store_.read([chart](const StoreData& stored) { return chart_settings_of(stored, chart); });
  ChartSettingsDialog dialog(chart, current, minimum_y_limit(chart), dialogs_, this);
  if (!dialogs_.run_dialog(dialog)) return;
  const ChartSettings chosen = dialog.fields();
  store_.update([&](StoreData& stored) {
    ChartSettings& settings = chart_settings_of(stored, chart);
    settings.bar_width = chosen.bar_width;
    settings.auto_scale = chosen.auto_scale;
    if (!chosen.auto_scale) settings.y_limit = chosen.y_limit;
  });
  if (controller_.state().playing) {
    if (chart == WindowKind::kFrameChart) store_.frame_max_changed = true;
    if (chart == WindowKind::kGopChart) store_.gop_max_changed = true;
  }
  repaint_windows(chart);
}

// The Bitrate and VBV buffer windows are not opened with the video window: their Show
// commands open and close them.
void MainWindow::toggle_window(WindowKind kind) {
  if (windows_of(kind).isEmpty()) {
    open_window(kind);
  } else {
    close_windows(kind);
  }
}

// The chart's row count in the tallest window it has or could have in the area.
int32_t MainWindow::minimum_y_limit(WindowKind chart) const {
  int height = mdi_->viewport()->height();
  for (DocumentWindow* window : windows_of(chart)) {
    if (window->widget() != nullptr) height = std::max(height, window->widget()->height());
  }
  return chart_row_count(height);
}

// Pauses and runs the Save information dialog; from a Frames, Gops or Slices Information window
// writes that window's list instead, without pausing.
void MainWindow::save_information() {
  const auto* active = qobject_cast<DocumentWindow*>(mdi_->activeSubWindow());
  const std::optional<DocumentKind> list =
      active != nullptr ? document_list_of(active->kind()) : std::nullopt;
  if (list) {
    save_document_list(*list, store_, controller_.input_path(), dialogs_, this);
    return;
  }
  controller_.pause();
  SaveInformationDialog dialog(store_, controller_.input_path(), dialogs_, this);
  dialogs_.run_dialog(dialog);
}

void MainWindow::set_position_slider(bool on) {
  settings_.set_position_slider(on);
  for (DocumentWindow* window : windows_of(WindowKind::kVideo)) {
    auto* view = qobject_cast<VideoView*>(window->widget());
    if (view == nullptr) continue;
    // The window grows by the slider, so that the picture keeps its room.
    const int change = on ? view->slider_height() : -view->slider_height();
    view->set_slider(on);
    window->resize(window->size() + QSize(0, change));
  }
}

void MainWindow::set_true_colour(bool on) {
  settings_.set_true_colour(on);
  controller_.set_true_colour(on);
  for (DocumentWindow* window : windows_of(WindowKind::kVideo)) {
    if (auto* view = qobject_cast<VideoView*>(window->widget())) view->set_true_colour(on);
  }
}

void MainWindow::configure_decoding() {
  DecodingOptionsDialog dialog(settings_.lower_layer_pattern(), settings_.decoding_threads(),
                               dialogs_, this);
  if (!dialogs_.run_dialog(dialog)) return;
  settings_.set_lower_layer_pattern(dialog.lower_layer_pattern());
  settings_.set_decoding_threads(dialog.threads());
  controller_.set_decoding_options(dialog.lower_layer_pattern().toStdString(), dialog.threads());
}

void MainWindow::show_message(MessageIcon icon, const QString& text) {
  dialogs_.show_message(this, icon, text);
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls() && event->mimeData()->urls().constFirst().isLocalFile()) {
    event->acceptProposedAction();
  }
}

void MainWindow::dropEvent(QDropEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  if (urls.isEmpty() || !urls.constFirst().isLocalFile()) return;
  event->acceptProposedAction();
  const QString path = urls.constFirst().toLocalFile();
  // Not from inside the drop: the first paint decodes and may show message boxes.
  QMetaObject::invokeMethod(
      this, [this, path] { open_path(path); }, Qt::QueuedConnection);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  settings_.set_main_window_size(size());
  close_video_window();
  close_analysis_windows();
  QMainWindow::closeEvent(event);
}

}  // namespace tavik::gui
