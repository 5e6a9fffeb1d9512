// The cost of the macroblock records and overlays on the 1080i stream decode_bench makes under
// /tmp: decoding without display with no records asked for, and with every record kept per
// frame as the desktop program keeps them ("cpu_ms", best CPU time of the runs; "x_off" =
// records-off time / this one); and one overlay of a 1080 frame (every layer, types' legend
// included), laid out and painted over the picture.
// Run: build/bench/gui_macroblock_bench
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <vector>

#include "analysis/analysis_store.h"
#include "base/messages.h"
#include "bench_streams.h"
#include "charts/macroblock_overlay.h"
#include "gui_bench_support.h"
#include "render/scene_painter.h"
#include "session/decoding_session.h"
#include "session/frame_macroblocks.h"

namespace {

constexpr const char* kStream = tavik::bench::k1080iStream;
constexpr const char* kMakeStream = tavik::bench::kMake1080iStream;

// Keeps the records of every frame and, when asked, those of one frame shown.
class Recorder final : public tavik::SessionListener {
 public:
  explicit Recorder(int keep_frame = -1) : keep_frame_(keep_frame) {}
  void macroblocks_decoded(const tavik::PictureMacroblocks& picture) override {
    frames_.picture_decoded(picture);
  }
  void frame_ready(const tavik::FramePlanes& frame, const tavik::FrameGeometry&,
                   const tavik::DecodingVariables&) override {
    if (shown_++ != keep_frame_) return;
    const auto pictures = frames_.shown(frame);
    kept.assign(pictures.begin(), pictures.end());
    for (tavik::KeptPicture& p : kept) p.picture.records = p.records;
  }
  std::vector<tavik::KeptPicture> kept;

 private:
  tavik::FrameMacroblocks frames_;
  int keep_frame_;
  int shown_ = 0;
};

bool have_stream() {
  return std::filesystem::exists(kStream) || std::system(kMakeStream) == 0;
}

double g_records_off_seconds = 0;

void BM_Decode(benchmark::State& state) {
  if (!have_stream()) {
    state.SkipWithError("ffmpeg could not make the stream");
    return;
  }
  const bool records = state.range(0) != 0;
  double best = 1e30;
  for (auto _ : state) {
    const double start = tavik::bench::thread_cpu_seconds();
    tavik::AnalysisStore store;
    tavik::CollectedMessages messages;
    Recorder recorder;
    tavik::SessionOptions options;
    options.display_disabled = true;
    options.macroblock_records = records;
    tavik::DecodingSession session(store, messages, recorder, options);
    session.open_stream(kStream);
    while (session.decode_step()) {
    }
    best = std::min(best, tavik::bench::thread_cpu_seconds() - start);
  }
  if (!records) g_records_off_seconds = best;
  state.counters["cpu_ms"] = best * 1e3;
  if (g_records_off_seconds > 0) state.counters["x_off"] = g_records_off_seconds / best;
}
BENCHMARK(BM_Decode)->ArgName("records")->Arg(0)->Arg(1)->Iterations(5)->Unit(
    benchmark::kMillisecond);

void BM_PaintOverlay(benchmark::State& state) {
  if (!have_stream()) {
    state.SkipWithError("ffmpeg could not make the stream");
    return;
  }
  // A B frame of the first GOP.
  tavik::AnalysisStore store;
  tavik::CollectedMessages messages;
  Recorder recorder(4);
  tavik::SessionOptions options;
  options.display_disabled = true;
  options.macroblock_records = true;
  tavik::DecodingSession session(store, messages, recorder, options);
  session.open_stream(kStream);
  while (recorder.kept.empty() && session.decode_step()) {
  }
  std::vector<tavik::PictureMacroblocks> pictures;
  for (const tavik::KeptPicture& p : recorder.kept) pictures.push_back(p.picture);
  QImage picture(1920, 1088, QImage::Format_RGB32);
  picture.fill(Qt::darkGray);
  QImage target(picture.size(), QImage::Format_RGB32);
  const auto layers = unsigned(state.range(0));
  size_t items = 0;
  double layout_seconds = 0;
  for (auto _ : state) {
    QPainter painter(&target);
    painter.drawImage(0, 0, picture);
    const double start = tavik::bench::thread_cpu_seconds();
    tavik::ChartScene scene = tavik::macroblock_overlay(pictures, 1920, 1088, layers);
    if (layers & tavik::kOverlayTypes) {
      tavik::add_type_legend(scene, tavik::QtTextMetrics(painter.font()));
    }
    layout_seconds += tavik::bench::thread_cpu_seconds() - start;
    tavik::paint_scene(painter, scene);
    items = scene.items.size();
  }
  state.counters["items"] = double(items);
  state.counters["layout_ms"] = layout_seconds / double(state.iterations()) * 1e3;
}
// The layers one by one, types and vectors (as played in the window), and all of them.
BENCHMARK(BM_PaintOverlay)
    ->ArgName("layers")
    ->Apply([](benchmark::internal::Benchmark* b) {
      for (const unsigned layer :
           {tavik::kOverlayGrid, tavik::kOverlayTypes, tavik::kOverlayVectors,
            tavik::kOverlayQuantiser, tavik::kOverlayBits}) {
        b->Arg(layer);
      }
    })
    ->Arg(tavik::kOverlayTypes | tavik::kOverlayVectors)
    ->Arg(31)
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return tavik::bench::run_painting_benchmarks<QGuiApplication>(argc, argv);
}
