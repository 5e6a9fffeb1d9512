#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "base/fatal_error.h"
#include "charts/bar_chart.h"
#include "charts/statistics_chart.h"
#include "charts/timing_chart.h"
#include "cli/analysis_run.h"
#include "cli/chart_renderer.h"
#include "cli/commands.h"
#include "cli/timing_run.h"
#include "timing/picture_timeline.h"

namespace tavik::cli {

namespace {

struct ChartOptions {
  std::string input;
  std::string chart = "frame";
  int64_t frame = -1;
  std::string size = "800x600";
  int32_t bar_width = 0;  // 0: the chart's own
  int32_t y_limit = 0;    // 0: Automatic
  int32_t intervals = 50;
  int32_t points = 100;
  std::string source = "gop";
  std::string window = "5s";
  std::string per = "second";
  int32_t scale = 20;
  bool filter_i = false;
  bool filter_p = false;
  bool filter_b = false;
  std::string output;
};

bool ends_with(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

ChartKind chart_kind(const std::string& chart) {
  if (chart == "gop") return ChartKind::kGop;
  if (chart == "slice") return ChartKind::kSlice;
  return ChartKind::kFrame;
}

// The scene the view shows at scroll position 0 once its x extent has settled (the second
// paint: the first one takes the axes' length from the start value).
ChartScene settled_scene(const ChartOptions& options, MovingWindow moving, StoreData& data,
                         const PictureTimeline& timeline, int width, int height,
                         const TextMetrics& metrics) {
  ChartWindow window{width, height, 0, {0, 0, width, height}};
  if (options.chart == "bitrate" || options.chart == "vbv") {
    const TimingChartSettings settings{moving, options.per == "gop", options.scale,
                                       options.y_limit <= 0, std::max(options.y_limit, 1)};
    if (options.chart == "vbv") {
      return build_vbv_chart(model_vbv(timeline), settings, window, metrics);
    }
    const BitrateReport report = bitrate_report(timeline, moving);
    return build_bitrate_chart(report, nominal_bit_rate(timeline.sequence()), timeline.problem(),
                               settings, window, metrics);
  }
  if (options.chart == "histogram" || options.chart == "correlation") {
    StatSettings settings{options.source == "frame"   ? StatSource::kFrames
                          : options.source == "slice" ? StatSource::kSlices
                                                      : StatSource::kGops,
                          options.intervals,
                          options.points,
                          options.filter_i,
                          options.filter_p,
                          options.filter_b};
    const StatResult result = compute_statistics(data, settings, options.chart == "histogram");
    window.x_extent = kStatisticsInitialExtent;
    window.x_extent = build_statistics_chart(result, window, metrics).next_x_extent;
    return build_statistics_chart(result, window, metrics).scene;
  }
  const ChartKind kind = chart_kind(options.chart);
  ChartSettings& settings = kind == ChartKind::kFrame ? data.frame_chart
                            : kind == ChartKind::kGop ? data.gop_chart
                                                      : data.slice_chart;
  if (options.bar_width > 0) settings.bar_width = options.bar_width;
  if (options.y_limit > 0) settings = {settings.bar_width, 0, options.y_limit};
  const ChosenFrame chosen = choose_frame(data, options.frame);
  window.x_extent = initial_x_extent(kind);
  window.x_extent = build_bar_chart(kind, data, chosen, window, metrics).next_x_extent;
  return build_bar_chart(kind, data, chosen, window, metrics).scene;
}

int run_chart(const ChartOptions& options) {
  int width = 0;
  int height = 0;
  char rest = 0;
  if (std::sscanf(options.size.c_str(), "%dx%d%c", &width, &height, &rest) != 2 || width < 1 ||
      height < 1 || width > 16384 || height > 16384) {
    return usage_fail("--size must be WIDTHxHEIGHT, each from 1 to 16384: " + options.size);
  }
  if (!ends_with(options.output, ".png") && !ends_with(options.output, ".svg")) {
    return fail("the output name must end in .png or .svg: " + options.output);
  }
  const std::optional<MovingWindow> moving = parse_window(options.window);
  if (!moving) return usage_fail("--window " + options.window + kWindowUsage);
  if (options.source != "gop" && options.filter_i && options.filter_p && options.filter_b) {
    return fail("You must not filter all the frames types");
  }
  CliInput input;
  const std::string outputs[] = {options.output};
  if (const std::string problem = open_input(input, options.input, outputs, PipeReading::kOnePass);
      !problem.empty()) {
    return fail(problem);
  }
  AnalysisStore store;
  CliMessages messages(store, false, false);
  RunListener listener;
  PictureTimeline timeline;
  SessionOptions session_options;
  session_options.decode_pictures = false;
  session_options.timeline = &timeline;
  if (!run_session(store, input, listener, messages, session_options)) return 1;
  StoreData data = store.snapshot();

  std::string error;
  const std::unique_ptr<ChartRenderer> renderer = load_chart_renderer(error);
  if (!renderer) return fail(error);
  const ChartScene scene =
      settled_scene(options, *moving, data, timeline, width, height, renderer->metrics());
  if (!renderer->save(scene, width, height, options.output)) {
    return fail("cannot write " + options.output);
  }
  return 0;
}

}  // namespace

void add_chart_command(CLI::App& app, int& exit_status) {
  auto options = std::make_shared<ChartOptions>();
  CLI::App* command = app.add_subcommand(
      "chart",
      "Measure the whole stream (headers only) and draw a chart or the statistics as a window "
      "of the given size shows them at scroll position 0, into a PNG or SVG file.");
  add_input_option(*command, options->input);
  command->add_option("--chart", options->chart, "What to draw")
      ->check(
          CLI::IsMember({"frame", "gop", "slice", "histogram", "correlation", "bitrate", "vbv"}))
      ->capture_default_str();
  command->add_option("--frame", options->frame,
                      "The frame whose slices the slice chart shows (as if clicked)");
  command->add_option("--size", options->size, "Window size WIDTHxHEIGHT")->capture_default_str();
  command->add_option("--bar-width", options->bar_width, "Bar width in pixels")
      ->check(CLI::Range(1, int(kMaxBarWidth)));
  command
      ->add_option("--y-limit", options->y_limit,
                   "Fixed Y limit in bytes, kbit/s (bitrate) or kbit (vbv), no Automatic")
      ->check(CLI::PositiveNumber);
  command->add_option("--intervals", options->intervals, "Histogram intervals")
      ->check(CLI::Range(1, int(kMaxIntervals)))
      ->capture_default_str();
  command->add_option("--points", options->points, "Autocorrelation points")
      ->check(CLI::Range(1, 1000000))
      ->capture_default_str();
  command->add_option("--source", options->source, "Statistics of gops, frames or slices")
      ->check(CLI::IsMember({"gop", "frame", "slice"}))
      ->capture_default_str();
  command
      ->add_option("--window", options->window,
                   "Bitrate: the moving average's window, Ns (N seconds) or Nf (N pictures)")
      ->capture_default_str();
  command->add_option("--per", options->per, "Bitrate: a bar per second or per GOP")
      ->check(CLI::IsMember({"second", "gop"}))
      ->capture_default_str();
  command->add_option("--scale", options->scale, "Bitrate and vbv: pixels per second")
      ->check(CLI::Range(1, 10000))
      ->capture_default_str();
  command->add_flag("--filter-i", options->filter_i, "Statistics: leave I frames out");
  command->add_flag("--filter-p", options->filter_p, "Statistics: leave P frames out");
  command->add_flag("--filter-b", options->filter_b, "Statistics: leave B frames out");
  command->add_option("-o,--output", options->output, "OUT.png or OUT.svg")->required();
  command->callback([options, &exit_status] { exit_status = run_chart(*options); });
}

}  // namespace tavik::cli
