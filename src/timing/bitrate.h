#pragma once

#include <cstdint>
#include <vector>

#include "timing/picture_timeline.h"

namespace tavik {

// One figure of a bitrate series: the bits of a stretch of the stream over its length.
struct RateSample {
  int64_t index = 0;  // second, GOP or picture
  double start = 0;   // seconds from the first decoding
  double length = 0;  // seconds
  int64_t bits = 0;
  double kbit_s = 0;  // 1 kbit = 1000 bits
};

// average, minimum and maximum of a series in kbit/s; peak_to_average: maximum over average.
struct RateSummary {
  double average = 0;
  double minimum = 0;
  double maximum = 0;
  double peak_to_average = 0;
};

// The moving average's window: a number of seconds or of pictures.
struct MovingWindow {
  bool pictures = false;
  int64_t length = 1;
};

struct BitrateReport {
  // Fixed one-second windows from the first decoding (a last one cut short by the end of the
  // stream is divided by its own length), each picture counted in the window of its decoding
  // time.
  std::vector<RateSample> per_second;
  // Each GOP's bits over its display duration.
  std::vector<RateSample> per_gop;
  // Each picture's bits times the frame rate.
  std::vector<RateSample> per_picture;
  // Per picture: the bits of the window ending with its decoding interval over the window's
  // length (shorter at the start of the stream).
  std::vector<RateSample> moving;
  RateSummary second_summary, gop_summary, picture_summary, moving_summary;
  double measured_kbit_s = 0;  // all the bits over the duration
};

// The nominal rate of the sequence header in bit/s; -1 for MPEG-1's variable rate.
[[nodiscard]] int64_t nominal_bit_rate(const SequenceValues& s);

// The bitrate of a timeline whose times are known (its problem() empty).
[[nodiscard]] BitrateReport bitrate_report(const PictureTimeline& timeline, MovingWindow window);

}  // namespace tavik
