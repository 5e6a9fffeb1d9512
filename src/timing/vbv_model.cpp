#include "timing/vbv_model.h"

#include <algorithm>
#include <cmath>

namespace tavik {

namespace {

constexpr double kTicksPerSecond = 90000;
constexpr int kVariableDelay = 0xFFFF;
constexpr int64_t kMpeg1VariableBitRate = 0x3FFFF;
constexpr int64_t kBitRateUnit = 400;
constexpr int64_t kBufferSizeUnit = 16384;
// The largest buffer of any profile and level (4:2:2 profile at High level, ISO/IEC 13818-2
// Table 8-14).
constexpr int64_t kLargestBuffer = 47185920;
// Arithmetic slack below which a shortfall or an excess is rounding, not a violation.
constexpr double kSlackBits = 0.5;

std::string problem_of(const PictureTimeline& timeline, const SequenceValues& s) {
  if (!timeline.problem().empty()) return timeline.problem();
  if (timeline.pictures().empty()) return "no picture";
  if (s.bit_rate_value == 0) return "bit_rate is 0";
  if (!s.mpeg2 && s.bit_rate_value == kMpeg1VariableBitRate) {
    return "bit_rate is variable (0x3FFFF)";
  }
  if (s.vbv_buffer_size_value == 0) return "vbv_buffer_size is 0";
  if (s.vbv_buffer_size_value * kBufferSizeUnit > kLargestBuffer) {
    return "vbv_buffer_size is " + std::to_string(s.vbv_buffer_size_value * kBufferSizeUnit) +
           " bits, more than any profile and level allows (" + std::to_string(kLargestBuffer) + ")";
  }
  return {};
}

// The pictures' data in bits from the first picture's first bit: where each ends, and where
// its start code's last bit is.
struct Positions {
  double start_code_end = 0;
  double end = 0;
};

Positions positions(const PictureTiming& p, int64_t origin) {
  return {double((p.start_code_offset + 4 - origin) * 8),
          double((p.es_offset + p.es_bytes - origin) * 8)};
}

// Frame periods a low-delay picture waits for its last bit to arrive at `arrival`.
double low_delay_wait(double time, double arrival, double frame_rate) {
  if (arrival <= time || frame_rate <= 0) return 0;
  return std::ceil((arrival - time) * frame_rate - 1e-9) / frame_rate;
}

void constant_rate(const PictureTimeline& timeline, VbvReport& report) {
  const std::vector<PictureTiming>& pictures = timeline.pictures();
  const int64_t origin = pictures.front().es_offset;
  const double rate = double(report.bit_rate);
  const double size = double(report.buffer_size_bits);
  const double total = positions(pictures.back(), origin).end;
  const double first_time = positions(pictures.front(), origin).start_code_end / rate +
                            pictures.front().vbv_delay / kTicksPerSecond;
  double shift = 0;  // low-delay waits so far
  double removed = 0;
  for (size_t i = 0; i < pictures.size(); ++i) {
    const PictureTiming& p = pictures[i];
    const Positions at = positions(p, origin);
    double time = first_time + p.decode_time + shift;
    if (report.low_delay) {
      const double wait = low_delay_wait(time, at.end / rate, p.frame_rate);
      shift += wait;
      time += wait;
    }
    const double arrived = std::min(rate * time, total);
    VbvPicture& v = report.pictures.emplace_back();
    v.index = int64_t(i);
    v.type = p.type;
    v.decode_time = time;
    v.bits = p.es_bytes * 8;
    v.occupancy_before = arrived - removed;
    v.occupancy_after = arrived - at.end;
    v.vbv_delay = p.vbv_delay;
    v.vbv_delay_expected = (time - at.start_code_end / rate) * kTicksPerSecond;
    removed = at.end;
    if (at.end - arrived > kSlackBits) {
      report.violations.push_back({VbvKind::kUnderflow, v.index, time, at.end - arrived});
    }
    if (v.occupancy_before - size > kSlackBits) {
      report.violations.push_back({VbvKind::kOverflow, v.index, time, v.occupancy_before - size});
    }
    if (std::abs(v.vbv_delay_expected - p.vbv_delay) > 1) {
      report.violations.push_back(
          {VbvKind::kVbvDelay, v.index, time, p.vbv_delay - v.vbv_delay_expected});
    }
  }
}

void variable_rate(const PictureTimeline& timeline, VbvReport& report) {
  const std::vector<PictureTiming>& pictures = timeline.pictures();
  const int64_t origin = pictures.front().es_offset;
  const double rate = double(report.bit_rate);
  const double size = double(report.buffer_size_bits);
  const double total = positions(pictures.back(), origin).end;
  double entered = std::min(size, total);  // bits that have entered the buffer
  double occupancy = entered;
  const double first_time = entered / rate;
  double now = first_time;
  double shift = 0;
  for (size_t i = 0; i < pictures.size(); ++i) {
    const PictureTiming& p = pictures[i];
    const double bits = double(p.es_bytes * 8);
    double time = first_time + p.decode_time + shift;
    // The buffer fills at the rate until it is full or the stream has entered it whole.
    const auto fill_until = [&](double until) {
      const double in = std::min({rate * (until - now), size - occupancy, total - entered});
      if (in > 0) {
        occupancy += in;
        entered += in;
      }
      now = std::max(now, until);
    };
    fill_until(time);
    if (report.low_delay && occupancy < bits) {
      const double wait = low_delay_wait(time, time + (bits - occupancy) / rate, p.frame_rate);
      shift += wait;
      time += wait;
      fill_until(time);
    }
    VbvPicture& v = report.pictures.emplace_back();
    v.index = int64_t(i);
    v.type = p.type;
    v.decode_time = time;
    v.bits = p.es_bytes * 8;
    v.occupancy_before = occupancy;
    v.occupancy_after = occupancy - bits;
    v.vbv_delay = p.vbv_delay;
    if (bits - occupancy > kSlackBits) {
      report.violations.push_back({VbvKind::kUnderflow, v.index, time, bits - occupancy});
    }
    occupancy -= bits;
  }
}

}  // namespace

std::string_view vbv_kind_key(VbvKind kind) {
  switch (kind) {
    case VbvKind::kUnderflow:
      return "underflow";
    case VbvKind::kOverflow:
      return "overflow";
    case VbvKind::kVbvDelay:
      return "vbv_delay";
  }
  return {};
}

bool VbvReport::violated() const {
  return std::any_of(violations.begin(), violations.end(),
                     [](const VbvViolation& v) { return v.kind != VbvKind::kVbvDelay; });
}

VbvReport model_vbv(const PictureTimeline& timeline) {
  VbvReport report;
  const SequenceValues& s = timeline.sequence();
  report.bit_rate = s.bit_rate_value * kBitRateUnit;
  report.buffer_size_bits = s.vbv_buffer_size_value * kBufferSizeUnit;
  report.low_delay = s.low_delay != 0;
  report.problem = problem_of(timeline, s);
  if (!report.problem.empty()) return report;
  report.constant_rate = timeline.pictures().front().vbv_delay != kVariableDelay;
  report.pictures.reserve(timeline.pictures().size());
  if (report.constant_rate) {
    constant_rate(timeline, report);
  } else {
    variable_rate(timeline, report);
  }
  return report;
}

}  // namespace tavik
