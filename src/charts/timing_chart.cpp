#include "charts/timing_chart.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <span>
#include <vector>

#include "results/report_files.h"

namespace tavik {

namespace {

constexpr int kLeft = kTimingChartLeft;
constexpr int kTop = 20;
constexpr Rgb kBarBlue{100, 149, 237};
constexpr Rgb kBarSteel{70, 110, 180};
constexpr Rgb kNominalGreen{0, 128, 0};

// The plot's geometry: time to x, value to y (values below zero, an underflow's occupancy, on
// the time axis; the red marks tell them).
struct Axes {
  double pixels_per_second;
  int baseline;
  double limit;  // the value at the top of the plot
  double step;   // between Y labels

  [[nodiscard]] int x(double seconds) const {
    return int(std::clamp(kLeft + seconds * pixels_per_second, -1e9, 1e9));
  }
  [[nodiscard]] int y(double value) const {
    const double plot = baseline - kTop;
    return int(std::clamp(std::round(baseline - value * plot / limit), 0.0, double(baseline)));
  }
  [[nodiscard]] double time_at(int column) const { return (column - kLeft) / pixels_per_second; }
};

// The smallest of 1, 2, 5 times a power of ten not below `raw`.
double nice_step(double raw) {
  double power = 1;
  while (power * 10 <= raw) power *= 10;
  while (power > raw && power > 1e-3) power /= 10;
  for (const double m : {1.0, 2.0, 5.0, 10.0}) {
    if (m * power >= raw) return m * power;
  }
  return 10 * power;
}

Axes axes_for(const TimingChartSettings& settings, const ChartWindow& window, double largest) {
  const double top =
      settings.auto_scale ? std::max(largest, 1.0) : std::max<double>(settings.y_limit, 1);
  const double step = nice_step(top / 8);
  const double limit = settings.auto_scale ? std::ceil(top / step) * step : top;
  return {double(std::max(settings.pixels_per_second, 1)), window.height - 60, limit, step};
}

// The time the window's columns span, a little wider so that lines leave it cleanly.
struct TimeSpan {
  double first, last;
};
TimeSpan visible_span(const Axes& axes, const ViewRegion& region) {
  return {axes.time_at(region.left - 2), axes.time_at(region.left + region.width + 2)};
}

// Seconds between time labels: the first of these at least 80 pixels apart.
double label_seconds(double pixels_per_second) {
  constexpr std::array<double, 14> kSpacings = {1,   2,   5,   10,  15,   30,   60,
                                                120, 300, 600, 900, 1800, 3600, 7200};
  for (const double s : kSpacings) {
    if (s * pixels_per_second >= 80) return s;
  }
  return kSpacings.back();
}

void add_axes(ChartScene& scene, const Axes& axes, double duration, const char* unit,
              const ViewRegion& region, const TextMetrics& metrics) {
  const int end = std::max(axes.x(duration) + 20, region.left + region.width);
  add_visible(scene, Line{kLeft, kTop - 10, kLeft, axes.baseline + 3}, region, metrics);
  add_visible(scene, Line{kLeft - 3, axes.baseline, end, axes.baseline}, region, metrics);
  for (int64_t k = 0; double(k) * axes.step <= axes.limit * (1 + 1e-9); ++k) {
    const double value = double(k) * axes.step;
    const int y = axes.y(value);
    add_visible(scene, Line{kLeft - 5, y, kLeft, y}, region, metrics);
    char label[32];
    std::snprintf(label, sizeof label, "%g", value);
    add_visible(scene, Text{5, y - 8, label}, region, metrics);
  }
  add_visible(scene, Text{kLeft + 4, 0, unit}, region, metrics);
  const double every = label_seconds(axes.pixels_per_second);
  const TimeSpan span = visible_span(axes, region);
  const auto first = int64_t(std::max(0.0, std::floor((span.first - every) / every)));
  for (int64_t k = first; double(k) * every <= span.last + every; ++k) {
    const int x = axes.x(double(k) * every);
    if (x > end) break;
    add_visible(scene, Line{x, axes.baseline, x, axes.baseline + 5}, region, metrics);
    const std::string label = clock_text(double(k) * every);
    add_visible(scene, Text{x - metrics.width(label) / 2, axes.baseline + 8, label}, region,
                metrics);
  }
  scene.scroll_width = end;
}

// The samples whose stretch of time meets [span.first, span.last], as a subrange.
std::span<const RateSample> samples_in(std::span<const RateSample> samples, TimeSpan span) {
  const auto first = std::partition_point(samples.begin(), samples.end(), [&](const RateSample& s) {
    return s.start + s.length < span.first;
  });
  const auto last = std::partition_point(first, samples.end(),
                                         [&](const RateSample& s) { return s.start <= span.last; });
  return {first, last};
}

void add_bars(ChartScene& scene, std::span<const RateSample> all, const Axes& axes,
              const ViewRegion& region, const TextMetrics& metrics) {
  const std::span<const RateSample> shown = samples_in(all, visible_span(axes, region));
  const auto offset = int64_t(shown.data() - all.data());
  for (size_t i = 0; i < shown.size(); ++i) {
    const RateSample& s = shown[i];
    const int left = axes.x(s.start);
    const int right = std::max(left, axes.x(s.start + s.length) - 1);
    const int top = std::min(axes.y(s.kbit_s), axes.baseline - 1);
    const int64_t bar = offset + int64_t(i);
    add_visible(scene,
                Fill{left, top, right, axes.baseline - 1, bar % 2 == 0 ? kBarBlue : kBarSteel},
                region, metrics);
    const HitBox box{left, top, right, axes.baseline, HitKind::kBar, bar};
    if (overlaps(box, region)) scene.hits.push_back(box);
  }
}

// Of each run of points in one pixel column only the first, the highest, the lowest and the
// last, in their order: the line then covers the same span of each column (a wide pen's joins
// aside), and a zoomed-out view of thousands of pictures paints a few points a column.
void thin_columns(std::vector<Point>& points) {
  size_t out = 0;
  for (size_t a = 0; a < points.size();) {
    size_t b = a + 1;
    size_t top = a;
    size_t bottom = a;
    for (; b < points.size() && points[b].x == points[a].x; ++b) {
      if (points[b].y < points[top].y) top = b;
      if (points[b].y > points[bottom].y) bottom = b;
    }
    for (size_t i = a; i < b; ++i) {
      if (b - a <= 4 || i == a || i == top || i == bottom || i == b - 1) points[out++] = points[i];
    }
    a = b;
  }
  points.resize(out);
}

// Each moving average at the end of its window, one point beyond the window on either side.
void add_moving_line(ChartScene& scene, std::span<const RateSample> all, const Axes& axes,
                     const ViewRegion& region, const TextMetrics& metrics) {
  std::span<const RateSample> shown = samples_in(all, visible_span(axes, region));
  if (shown.empty()) return;
  const auto first = size_t(shown.data() - all.data());
  const size_t begin = first > 0 ? first - 1 : 0;
  const size_t end = std::min(all.size(), first + shown.size() + 1);
  Polyline line{{}, Pen{kRed, 2}};
  line.points.reserve(end - begin);
  for (size_t i = begin; i < end; ++i) {
    line.points.push_back({axes.x(all[i].start + all[i].length), axes.y(all[i].kbit_s)});
  }
  thin_columns(line.points);
  add_visible(scene, std::move(line), region, metrics);
}

void add_dashed_line(ChartScene& scene, int y, int right, Pen pen, const ViewRegion& region,
                     const TextMetrics& metrics) {
  const int first = kLeft + std::max(0, (region.left - kLeft) / 10 * 10);
  const int end = std::min(right, region.left + region.width);
  for (int x = first; x < end; x += 10) {
    add_visible(scene, Line{x, y, std::min(x + 5, right), y, pen}, region, metrics);
  }
}

double largest_rate(std::span<const RateSample> samples) {
  double largest = 0;
  for (const RateSample& s : samples) largest = std::max(largest, s.kbit_s);
  return largest;
}

std::string number(double value, const char* format) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// The occupancy line of pictures [begin, end): from the level just after the picture before
// (or the empty buffer at time 0) up to each picture's level before it leaves, then down.
Polyline occupancy_line(const VbvReport& report, size_t begin, size_t end, const Axes& axes) {
  Polyline line{{}, Pen{kBlue, 1}};
  const auto& pictures = report.pictures;
  double time = begin > 0 ? pictures[begin - 1].decode_time : 0;
  double level = begin > 0 ? pictures[begin - 1].occupancy_after : 0;
  line.points.push_back({axes.x(time), axes.y(level)});
  const auto buffer = double(report.buffer_size_bits);
  for (size_t i = begin; i < end; ++i) {
    const VbvPicture& p = pictures[i];
    // At variable rate the buffer stops filling once full.
    if (!report.constant_rate && report.bit_rate > 0 && level < buffer &&
        p.occupancy_before >= buffer - 0.5) {
      const double full = time + (buffer - level) / double(report.bit_rate);
      if (full < p.decode_time) line.points.push_back({axes.x(full), axes.y(buffer)});
    }
    line.points.push_back({axes.x(p.decode_time), axes.y(p.occupancy_before)});
    line.points.push_back({axes.x(p.decode_time), axes.y(p.occupancy_after)});
    time = p.decode_time;
    level = p.occupancy_after;
  }
  thin_columns(line.points);
  return line;
}

size_t first_picture_from(const std::vector<VbvPicture>& pictures, double time) {
  return size_t(std::partition_point(pictures.begin(), pictures.end(),
                                     [&](const VbvPicture& p) { return p.decode_time < time; }) -
                pictures.begin());
}

}  // namespace

std::string clock_text(double seconds, int decimals) {
  decimals = std::clamp(decimals, 0, 3);
  const double scale = std::pow(10.0, decimals);
  const auto units = int64_t(std::floor(std::max(seconds, 0.0) * scale + 0.5));
  const auto whole = int64_t(double(units) / scale);
  char text[48];
  const int length =
      std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", static_cast<long long>(whole / 3600),
                    static_cast<long long>(whole / 60 % 60), static_cast<long long>(whole % 60));
  if (decimals > 0) {
    std::snprintf(text + length, sizeof text - size_t(length), ".%0*lld", decimals,
                  static_cast<long long>(units - int64_t(double(whole) * scale)));
  }
  return text;
}

ChartScene build_bitrate_chart(const BitrateReport& report, int64_t nominal,
                               const std::string& problem, const TimingChartSettings& settings,
                               const ChartWindow& window, const TextMetrics& metrics) {
  ChartScene scene;
  scene.title = "Bitrate";
  if (!problem.empty()) {
    add_visible(scene, Text{kLeft, kTop, "Bitrate not measured: " + problem}, window.visible,
                metrics);
    return scene;
  }
  const std::span<const RateSample> bars = settings.per_gop ? report.per_gop : report.per_second;
  const double nominal_kbit = double(std::max<int64_t>(nominal, 0)) / 1000;
  const Axes axes =
      axes_for(settings, window,
               std::max({largest_rate(bars), largest_rate(report.moving), nominal_kbit}) * 1.05);
  if (axes.baseline - kTop < 20) return scene;
  const ViewRegion& region = window.visible;
  const double duration = report.per_second.empty()
                              ? 0
                              : report.per_second.back().start + report.per_second.back().length;
  add_axes(scene, axes, duration, "kbit/s", region, metrics);
  add_bars(scene, bars, axes, region, metrics);
  add_moving_line(scene, report.moving, axes, region, metrics);
  const int legend = axes.baseline + 30;
  if (nominal_kbit > 0) {
    add_dashed_line(scene, axes.y(nominal_kbit), axes.x(duration), Pen{kNominalGreen, 2}, region,
                    metrics);
  }
  const std::string bars_name = settings.per_gop ? "Per GOP" : "Per second";
  const std::string moving_name = "Moving average (" + std::to_string(settings.moving.length) +
                                  (settings.moving.pictures ? " pictures)" : " s)");
  add_visible(scene, Text{kLeft, legend, bars_name, kBarBlue}, region, metrics);
  const int moving_x = kLeft + metrics.width(bars_name) + 20;
  add_visible(scene, Text{moving_x, legend, moving_name, kRed}, region, metrics);
  const std::string nominal_name =
      nominal_kbit > 0 ? "Nominal " + number(nominal_kbit, "%.0f") + " kbit/s" : "No nominal rate";
  add_visible(scene,
              Text{moving_x + metrics.width(moving_name) + 20, legend, nominal_name, kNominalGreen},
              region, metrics);
  return scene;
}

ChartScene build_vbv_chart(const VbvReport& report, const TimingChartSettings& settings,
                           const ChartWindow& window, const TextMetrics& metrics) {
  ChartScene scene;
  scene.title = "VBV buffer";
  const ViewRegion& region = window.visible;
  if (!report.problem.empty()) {
    add_visible(scene, Text{kLeft, kTop, "VBV not modelled: " + report.problem}, region, metrics);
    return scene;
  }
  double largest = double(report.buffer_size_bits);
  for (const VbvPicture& p : report.pictures) largest = std::max(largest, p.occupancy_before);
  const Axes axes = axes_for(settings, window, largest / 1000);
  if (axes.baseline - kTop < 20) return scene;
  // The axes count kbit; the model counts bits.
  const Axes bits{axes.pixels_per_second, axes.baseline, axes.limit * 1000, axes.step * 1000};
  const double duration = report.pictures.empty() ? 0 : report.pictures.back().decode_time;
  add_axes(scene, axes, duration, "kbit", region, metrics);
  const int buffer_y = bits.y(double(report.buffer_size_bits));
  add_visible(scene, Line{kLeft, buffer_y, scene.scroll_width, buffer_y, Pen{kBlack, 1}}, region,
              metrics);

  const TimeSpan span = visible_span(axes, region);
  const size_t begin = first_picture_from(report.pictures, span.first);
  const size_t end =
      std::min(report.pictures.size(), first_picture_from(report.pictures, span.last) + 1);
  if (begin < report.pictures.size()) {
    add_visible(scene, occupancy_line(report, begin, std::max(end, begin + 1), bits), region,
                metrics);
  }
  int64_t violations = 0;
  for (const VbvViolation& v : report.violations) {
    if (v.kind == VbvKind::kVbvDelay) continue;
    ++violations;
    if (v.time < span.first || v.time > span.last) continue;
    const int x = axes.x(v.time);
    add_visible(scene, Line{x, kTop, x, axes.baseline, Pen{kRed, 2}}, region, metrics);
  }
  const int legend = axes.baseline + 30;
  const std::string buffer_name = "Buffer " + std::to_string(report.buffer_size_bits / 1000) +
                                  " kbit, " +
                                  (report.constant_rate ? "constant rate " : "variable rate ") +
                                  std::to_string(report.bit_rate / 1000) + " kbit/s";
  add_visible(scene, Text{kLeft, legend, buffer_name}, region, metrics);
  add_visible(scene,
              Text{kLeft + metrics.width(buffer_name) + 20, legend,
                   violations == 0 ? "No underflow or overflow"
                                   : std::to_string(violations) + " underflows and overflows",
                   violations == 0 ? kWhite : kRed},
              region, metrics);
  return scene;
}

std::optional<VbvPicture> vbv_picture_at(const VbvReport& report,
                                         const TimingChartSettings& settings, int x) {
  if (report.pictures.empty() || x < kLeft - 5) return std::nullopt;
  const double time = double(x - kLeft) / std::max(settings.pixels_per_second, 1);
  size_t i = first_picture_from(report.pictures, time);
  if (i == report.pictures.size() || (i > 0 && time - report.pictures[i - 1].decode_time <
                                                   report.pictures[i].decode_time - time)) {
    --i;
  }
  return report.pictures[i];
}

std::string vbv_message(const VbvPicture& picture) {
  return "Picture:  " + std::to_string(picture.index) + " (" +
         std::string(type_letter(uint32_t(picture.type), "?")) +
         ")\nTime:  " + clock_text(picture.decode_time, 3) +
         "\nBits:  " + std::to_string(picture.bits) +
         "\nOccupancy before:  " + number(picture.occupancy_before, "%.0f") +
         " bits\nOccupancy after:  " + number(picture.occupancy_after, "%.0f") + " bits";
}

std::string bitrate_message(const BitrateReport& report, const TimingChartSettings& settings,
                            int64_t bar) {
  const std::vector<RateSample>& bars = settings.per_gop ? report.per_gop : report.per_second;
  if (bar < 0 || bar >= int64_t(bars.size())) return {};
  const RateSample& s = bars[size_t(bar)];
  return std::string(settings.per_gop ? "Gop:  " : "Second:  ") + std::to_string(s.index) +
         "\nTime:  " + clock_text(s.start, 3) + "\nBits:  " + std::to_string(s.bits) +
         "\nBitrate:  " + number(s.kbit_s, "%.3f") + " kbit/s";
}

}  // namespace tavik
