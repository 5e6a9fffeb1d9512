#pragma once

#include <QList>
#include <QMainWindow>
#include <QStringList>
#include <atomic>
#include <memory>

#include "analysis/analysis_store.h"
#include "app/app_settings.h"
#include "app/command_table.h"
#include "app/measure_progress.h"
#include "app/repaint_pacer.h"
#include "app/save_folder_dialogs.h"
#include "app/structure_windows.h"
#include "app/timing_windows.h"
#include "app/view_output.h"
#include "playback/message_log.h"
#include "playback/playback_controller.h"
#include "views/dialog_service.h"
#include "views/view_actions.h"

class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QToolBar;

namespace tavik::gui {

class DocumentWindow;

// The main window: toolbar, hidden status bar, menus and the area in which every view lives
// in a child window. It runs the commands and carries playback's requests to the windows.
class MainWindow final : public QMainWindow, public PlaybackWindows, public ViewActions {
  Q_OBJECT

 public:
  MainWindow(AnalysisStore& store, AppSettings& settings, DialogService& dialogs);
  ~MainWindow() override;

  // Opens a file as the Open command does once its dialog has returned the path.
  void open_path(const QString& path);
  // "Play the video" as soon as the video window has shown its first picture.
  void play_once_shown();

  [[nodiscard]] const CommandTable& commands() const { return commands_; }
  [[nodiscard]] PlaybackController& controller() { return controller_; }
  [[nodiscard]] QMdiArea* mdi_area() const { return mdi_; }
  [[nodiscard]] QList<DocumentWindow*> windows_of(WindowKind kind) const;
  // Sets every enabled and checked state from the application's state.
  void update_actions();

  // PlaybackWindows
  void post_repaint(WindowKind kind, bool erase) override;
  void post_end_of_stream(const std::string& summary) override;
  void post_fatal_error(const std::string& text) override;
  void post_state_changed() override;
  void post_measure_progress(int percent) override;
  void post_measure_done(bool completed) override;
  void open_window(WindowKind kind) override;
  void close_windows(WindowKind kind) override;

  // ViewActions
  void show_information(const QString& text) override;
  void open_if_closed(WindowKind kind) override;
  void run_statistics() override;
  void chosen_frame_changed() override;
  [[nodiscard]] bool playing() const override;
  void export_picture(const ChartScene& scene, QSize size, QPoint scroll, bool svg) override;
  [[nodiscard]] QString input_path() const override;
  void show_in_structure(int64_t frame) override { structure_.show_in_structure(frame); }
  void show_picture(int64_t frame) override { structure_.show_picture(frame); }

  [[nodiscard]] StructureWindows& structure_windows() { return structure_; }

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  class WindowMessages;

  void build_toolbar();
  void build_menus();
  void rebuild_recent_menu();
  void connect_commands();
  void show_menus(bool document_open);
  void list_windows(QMenu& menu);
  void update_caption();
  [[nodiscard]] bool replace_measurements();

  void open_file();
  DocumentWindow* add_window(WindowKind kind, QWidget* view);
  void open_video_window(const QString& path);
  void fit_video_window(QSize picture_size);
  void set_video_fit(bool on);
  void close_video_window();
  void close_analysis_windows();
  void arrange_icons();
  void show_summary();
  [[nodiscard]] QString summary_informative() const;
  void refresh_messages();
  void repaint_analysis_windows();
  void repaint_windows(WindowKind kind);
  [[nodiscard]] QWidget* make_view(WindowKind kind);
  void configure_chart(WindowKind chart);
  void toggle_window(WindowKind kind);
  [[nodiscard]] int32_t minimum_y_limit(WindowKind chart) const;
  void save_information();
  void set_true_colour(bool on);
  void configure_decoding();
  void show_message(MessageIcon icon, const QString& text);

  AnalysisStore& store_;
  AppSettings& settings_;
  SaveFolderDialogs folder_dialogs_;
  DialogService& dialogs_;
  std::unique_ptr<WindowMessages> messages_;
  MessageLog log_;
  PlaybackController controller_;
  ViewState view_state_;
  TimingWindows timing_windows_;
  CommandTable commands_;
  QMdiArea* mdi_;
  ViewOutput output_;
  MeasureProgress measure_;
  StructureWindows structure_;
  RepaintPacer pacer_;
  QToolBar* toolbar_ = nullptr;
  QList<QMenu*> no_document_menus_;
  QList<QMenu*> document_menus_;
  QList<QMenu*> recent_menus_;
  bool document_menus_shown_ = false;
  // What the last "Measure whole file" left in the store, until a new session replaces it.
  enum class Measured { kNone, kWhole, kPartial } measured_ = Measured::kNone;
  std::atomic<bool> state_update_posted_{false};
};

// The filters of the Open command's file dialog, in order.
[[nodiscard]] QStringList mpeg_file_filters();

}  // namespace tavik::gui
