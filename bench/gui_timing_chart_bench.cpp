// One paint of the Bitrate and VBV buffer charts over 200,000 pictures (two hours at 25 a
// second) as their windows paint it: the scene laid out for a 1200 x 700 window scrolled to the
// middle of the stream, then painted by the scene painter into an image of that size. At the
// default scale (20 pixels a second: about a minute in view) and at the smallest (1 pixel a
// second: twenty minutes, 29,500 pictures, in view). Offscreen.
// Run: build/bench/gui_timing_chart_bench
#include <benchmark/benchmark.h>

#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstdlib>

#include "charts/timing_chart.h"
#include "gui_bench_support.h"
#include "long_timing.h"
#include "render/scene_painter.h"

namespace {

constexpr int kPictures = 200000;
constexpr int kWidth = 1200;
constexpr int kHeight = 700;

// range(0): 0 Bitrate, 1 VBV buffer; range(1): pixels a second.
void BM_PaintTimingChart(benchmark::State& state) {
  static const tavik::bench::LongTiming timing = tavik::bench::make_long_timing(kPictures);
  tavik::TimingChartSettings settings;
  settings.pixels_per_second = int32_t(state.range(1));
  const int middle = tavik::kTimingChartLeft + kPictures / 25 / 2 * settings.pixels_per_second;
  const tavik::ChartWindow window{kWidth, kHeight, 0, {middle, 0, kWidth - 20, kHeight - 20}};
  QImage image(kWidth, kHeight, QImage::Format_RGB32);
  size_t items = 0;
  for (auto _ : state) {
    image.fill(Qt::white);
    QPainter painter(&image);
    const tavik::QtTextMetrics metrics(painter.font());
    const tavik::ChartScene scene =
        state.range(0) == 0
            ? tavik::build_bitrate_chart(timing.bitrate, 20000000, "", settings, window, metrics)
            : tavik::build_vbv_chart(timing.vbv, settings, window, metrics);
    tavik::paint_scene(painter, scene, QPoint(middle, 0));
    items = scene.items.size();
  }
  state.counters["items"] = double(items);
}
BENCHMARK(BM_PaintTimingChart)
    ->ArgsProduct({{0, 1}, {20, 1}})
    ->ArgNames({"vbv", "px_s"})
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return tavik::bench::run_painting_benchmarks<QGuiApplication>(argc, argv);
}
