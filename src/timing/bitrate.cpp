#include "timing/bitrate.h"

#include <algorithm>
#include <cmath>

namespace tavik {

namespace {

// The decoding interval of picture i: up to the next decoding, the last one up to the end.
double interval(const std::vector<PictureTiming>& pictures, size_t i, double end) {
  const double next = i + 1 < pictures.size() ? pictures[i + 1].decode_time : end;
  return std::max(next - pictures[i].decode_time, 0.0);
}

RateSample sample(int64_t index, double start, double length, int64_t bits) {
  return {index, start, length, bits, length > 0 ? double(bits) / length / 1000 : 0};
}

RateSummary summary_of(const std::vector<RateSample>& samples) {
  RateSummary summary;
  if (samples.empty()) return summary;
  double sum = 0;
  summary.minimum = summary.maximum = samples.front().kbit_s;
  for (const RateSample& s : samples) {
    sum += s.kbit_s;
    summary.minimum = std::min(summary.minimum, s.kbit_s);
    summary.maximum = std::max(summary.maximum, s.kbit_s);
  }
  summary.average = sum / double(samples.size());
  summary.peak_to_average = summary.average > 0 ? summary.maximum / summary.average : 0;
  return summary;
}

std::vector<RateSample> per_second(const std::vector<PictureTiming>& pictures, double end) {
  std::vector<RateSample> samples;
  // A last window shorter than a microsecond is the rounding of the sum of the frame periods.
  const auto seconds = static_cast<int64_t>(std::ceil(end - 1e-6));
  samples.reserve(size_t(seconds));
  size_t i = 0;
  for (int64_t s = 0; s < seconds; ++s) {
    int64_t bits = 0;
    while (i < pictures.size() && pictures[i].decode_time < double(s + 1)) {
      bits += pictures[i++].es_bytes * 8;
    }
    samples.push_back(sample(s, double(s), std::min(double(s + 1), end) - double(s), bits));
  }
  return samples;
}

std::vector<RateSample> per_gop(const std::vector<PictureTiming>& pictures) {
  std::vector<RateSample> samples;
  for (size_t first = 0; first < pictures.size();) {
    int64_t bits = 0;
    double length = 0;
    size_t last = first;
    for (; last < pictures.size() && pictures[last].gop == pictures[first].gop; ++last) {
      bits += pictures[last].es_bytes * 8;
      length += pictures[last].fields / (2 * pictures[last].frame_rate);
    }
    samples.push_back(sample(pictures[first].gop, pictures[first].decode_time, length, bits));
    first = last;
  }
  return samples;
}

std::vector<RateSample> per_picture(const std::vector<PictureTiming>& pictures, double end) {
  std::vector<RateSample> samples;
  samples.reserve(pictures.size());
  for (size_t i = 0; i < pictures.size(); ++i) {
    const PictureTiming& p = pictures[i];
    const int64_t bits = p.es_bytes * 8;
    samples.push_back({int64_t(i), p.decode_time, interval(pictures, i, end), bits,
                       double(bits) * p.frame_rate / 1000});
  }
  return samples;
}

std::vector<RateSample> moving(const std::vector<PictureTiming>& pictures, double end,
                               MovingWindow window) {
  std::vector<RateSample> samples;
  samples.reserve(pictures.size());
  size_t first = 0;  // the first picture in the window
  int64_t bits = 0;
  for (size_t i = 0; i < pictures.size(); ++i) {
    bits += pictures[i].es_bytes * 8;
    const double window_end = pictures[i].decode_time + interval(pictures, i, end);
    const auto leaves = [&] {
      if (window.pictures) return int64_t(i - first) >= window.length;
      return pictures[first].decode_time < window_end - double(window.length) - 1e-9;
    };
    while (first < i && leaves()) bits -= pictures[first++].es_bytes * 8;
    const double start = window.pictures ? pictures[first].decode_time
                                         : std::max(window_end - double(window.length), 0.0);
    samples.push_back(sample(int64_t(i), start, window_end - start, bits));
  }
  return samples;
}

}  // namespace

int64_t nominal_bit_rate(const SequenceValues& s) {
  constexpr int64_t kMpeg1VariableBitRate = 0x3FFFF;
  if (!s.mpeg2 && s.bit_rate_value == kMpeg1VariableBitRate) return -1;
  return s.bit_rate_value * 400;
}

BitrateReport bitrate_report(const PictureTimeline& timeline, MovingWindow window) {
  BitrateReport report;
  const std::vector<PictureTiming>& pictures = timeline.pictures();
  const double end = timeline.duration();
  if (pictures.empty() || end <= 0 || !timeline.problem().empty()) return report;
  report.per_second = per_second(pictures, end);
  report.per_gop = per_gop(pictures);
  report.per_picture = per_picture(pictures, end);
  report.moving = moving(pictures, end, window);
  report.second_summary = summary_of(report.per_second);
  report.gop_summary = summary_of(report.per_gop);
  report.picture_summary = summary_of(report.per_picture);
  report.moving_summary = summary_of(report.moving);
  int64_t bits = 0;
  for (const PictureTiming& p : pictures) bits += p.es_bytes * 8;
  report.measured_kbit_s = double(bits) / end / 1000;
  return report;
}

}  // namespace tavik
