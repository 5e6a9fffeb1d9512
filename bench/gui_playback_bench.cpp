// Continuous play in the desktop application, the video window open with the three charts
// (offscreen unless QT_QPA_PLATFORM says otherwise; without overlays, and with the macroblock
// types and vectors drawn over the picture), then with every window open (the X server as the
// user has it: run under xvfb-run with QT_QPA_PLATFORM=xcb): frames per second, the longest wait
// of a timer on the window thread, and the resident memory after each play of the stream (it
// must not grow from one play to the next). The 1080i stream is made with ffmpeg under /tmp as
// decode_bench makes it.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QMdiArea>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "app/document_window.h"
#include "app/main_window.h"
#include "bench_streams.h"
#include "charts/macroblock_overlay.h"
#include "gui_bench_support.h"

namespace {

constexpr const char* kStream = tavik::bench::k1080iStream;
constexpr const char* kMakeStream = tavik::bench::kMake1080iStream;

// Counts the end-of-stream boxes instead of showing them.
class CountingDialogs final : public tavik::gui::DialogService {
 public:
  void show_message(QWidget*, tavik::gui::MessageIcon, const QString&) override { ++messages; }
  bool confirm(QWidget*, const QString&) override { return true; }
  QString open_file_name(QWidget*, const QStringList&) override { return {}; }
  QString save_file_name(QWidget*, const QStringList&, const QString&, const QString&) override {
    return {};
  }
  bool run_dialog(QDialog&) override { return false; }
  void show_about(QWidget*) override {}
  void print_preview(QWidget*, const std::function<void(QPrinter&)>&) override {}
  int messages = 0;
};

void play_in_window(benchmark::State& state, bool every_window) {
  if (!std::filesystem::exists(kStream) && std::system(kMakeStream) != 0) {
    state.SkipWithError("ffmpeg could not make the stream");
    return;
  }
  QTemporaryDir temp;
  tavik::AnalysisStore store;
  tavik::gui::AppSettings settings(temp.filePath(QStringLiteral("settings.ini")));
  settings.set_overlays(unsigned(state.range(0)));
  CountingDialogs dialogs;
  tavik::gui::MainWindow window(store, settings, dialogs);
  window.resize(2200, 1400);
  window.show();
  window.open_path(QString::fromLatin1(kStream));
  while (!window.controller().video_shown()) QApplication::processEvents();
  if (every_window) {
    for (tavik::WindowKind kind :
         {tavik::WindowKind::kFrameList, tavik::WindowKind::kGopList, tavik::WindowKind::kSliceList,
          tavik::WindowKind::kStatistics, tavik::WindowKind::kMessages, tavik::WindowKind::kBitrate,
          tavik::WindowKind::kVbv, tavik::WindowKind::kPicture}) {
      window.open_window(kind);
    }
    window.mdi_area()->tileSubWindows();
  }

  // A timer on the window thread: the longest gap between two of its ticks.
  QElapsedTimer since_tick;
  qint64 longest_gap = 0;
  QTimer ticker;
  ticker.setInterval(5);
  QObject::connect(&ticker, &QTimer::timeout,
                   [&] { longest_gap = std::max(longest_gap, since_tick.restart()); });

  int64_t frames = 0;
  long first_rss = 0;
  long last_rss = 0;
  for (auto _ : state) {
    const int ends = dialogs.messages;
    since_tick.start();
    ticker.start();
    window.controller().play();
    while (dialogs.messages == ends) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    ticker.stop();
    frames += store.read([](const tavik::StoreData& data) { return data.last_frame + 1; });
    last_rss = tavik::bench::resident_kib();
    if (first_rss == 0) first_rss = last_rss;
  }
  state.counters["frames_per_s"] =
      benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
  state.counters["longest_gui_wait_ms"] = static_cast<double>(longest_gap);
  state.counters["rss_first_kib"] = static_cast<double>(first_rss);
  state.counters["rss_last_kib"] = static_cast<double>(last_rss);
  window.windows_of(tavik::WindowKind::kVideo).constFirst()->close();
}
void BM_PlayInWindow(benchmark::State& state) {
  play_in_window(state, false);
}
BENCHMARK(BM_PlayInWindow)
    ->ArgName("overlays")
    ->Arg(0)
    ->Arg(tavik::kOverlayTypes | tavik::kOverlayVectors)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(8)
    ->UseRealTime();

void BM_PlayWithEveryWindow(benchmark::State& state) {
  play_in_window(state, true);
}
BENCHMARK(BM_PlayWithEveryWindow)
    ->ArgName("overlays")
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(4)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  return tavik::bench::run_painting_benchmarks<QApplication>(argc, argv);
}
