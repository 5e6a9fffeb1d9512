// One paint's worth of layout for the Bytes/frame chart and the Frames list over 200,000
// recorded frames (about two hours of broadcast), the statistics of those frames, and the
// Bitrate and VBV buffer charts of as many pictures.
#include <benchmark/benchmark.h>

#include "charts/bar_chart.h"
#include "charts/info_list.h"
#include "charts/statistics.h"
#include "charts/timing_chart.h"
#include "long_timing.h"

namespace {

constexpr int kFrames = 200000;

// 7 pixels a character, 15-pixel lines: about the default GUI font.
struct PitchMetrics final : tavik::TextMetrics {
  int width(std::string_view text) const override { return 7 * int(text.size()); }
  int line_height() const override { return 15; }
};

const tavik::StoreData& long_store() {
  static const tavik::StoreData data = [] {
    tavik::StoreData store;
    store.frame_bytes.resize(kFrames);
    store.frame_types.resize(kFrames);
    store.frame_first_slice.resize(kFrames + 1);
    for (int f = 0; f < kFrames; ++f) {
      store.frame_bytes[f] = 20000 + uint32_t(f) * 7919 % 90000;
      store.frame_types[f] = f % 12 == 0 ? 1 : f % 3 == 0 ? 2 : 3;
      store.frame_first_slice[f + 1] = uint32_t(f + 1) * 68;
    }
    store.last_frame = kFrames - 1;
    store.max_frame_bytes = 110000;
    return store;
  }();
  return data;
}

// The chart scrolled to the middle of the stream, in a 1200 x 700 window.
void frame_chart(benchmark::State& state) {
  tavik::StoreData data = long_store();
  data.frame_chart.bar_width = int32_t(state.range(0));
  const int middle = 30 + kFrames / 2 * data.frame_chart.bar_width;
  const tavik::ChartWindow window{1200, 700, 30 + kFrames * 5 + 170, {middle, 0, 1180, 680}};
  const PitchMetrics metrics;
  for (auto _ : state) {
    const auto chart = tavik::build_bar_chart(tavik::ChartKind::kFrame, data, {}, window, metrics);
    benchmark::DoNotOptimize(chart.scene.items.data());
  }
}
BENCHMARK(frame_chart)->Arg(1)->Arg(5)->Unit(benchmark::kMicrosecond);

void frames_list(benchmark::State& state) {
  const PitchMetrics metrics;
  const tavik::ViewRegion visible{0, 30 + 15 * kFrames / 2, 800, 680};
  for (auto _ : state) {
    const auto scene = tavik::build_list_scene(tavik::ListKind::kFrames, long_store(), {},
                                               "/media/broadcast.mpg", 700, visible, metrics);
    benchmark::DoNotOptimize(scene.items.data());
  }
}
BENCHMARK(frames_list)->Unit(benchmark::kMicrosecond);

void frame_statistics(benchmark::State& state) {
  const tavik::StatSettings settings{tavik::StatSource::kFrames, 50, 100};
  for (auto _ : state) {
    const auto result = tavik::compute_statistics(long_store(), settings, state.range(0) == 1);
    benchmark::DoNotOptimize(result.values.data());
  }
}
// 1: histogram of 50 intervals; 0: autocorrelation with 100 points.
BENCHMARK(frame_statistics)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

// Either chart scrolled to the middle of the stream in a 1200 x 700 window, 20 pixels a second.
void timing_chart(benchmark::State& state) {
  const PitchMetrics metrics;
  const tavik::TimingChartSettings settings;
  const int middle = tavik::kTimingChartLeft + kFrames / 25 / 2 * settings.pixels_per_second;
  const tavik::ChartWindow window{1200, 700, 0, {middle, 0, 1180, 680}};
  static const tavik::bench::LongTiming timing = tavik::bench::make_long_timing(kFrames);
  for (auto _ : state) {
    const tavik::ChartScene scene =
        state.range(0) == 0
            ? tavik::build_bitrate_chart(timing.bitrate, 20000000, "", settings, window, metrics)
            : tavik::build_vbv_chart(timing.vbv, settings, window, metrics);
    benchmark::DoNotOptimize(scene.items.data());
  }
}
// 0: Bitrate; 1: VBV buffer.
BENCHMARK(timing_chart)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
