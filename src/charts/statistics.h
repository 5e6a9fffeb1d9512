#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "analysis/analysis_store.h"

namespace tavik {

enum class StatSource : int32_t { kGops = 0, kFrames = 1, kSlices = 2 };

// What the Statistics dialog chose.
struct StatSettings {
  StatSource source = StatSource::kGops;
  int32_t intervals = 50;
  int32_t points = 100;
  bool filter_i = false;
  bool filter_p = false;
  bool filter_b = false;
};

// More intervals than this are refused (each is at least one pixel wide).
inline constexpr int32_t kMaxIntervals = 1000000;

// The byte counts the statistics work on: every closed GOP, the frames of types 1-3 not
// filtered out, or every slice entry of the stream.
[[nodiscard]] std::vector<uint32_t> stat_sequence(const StoreData& data,
                                                  const StatSettings& settings);

// The figures one picture is drawn from. `problem` is a short text shown instead of the
// curve when the figures are undefined (then the other fields are not meaningful).
struct StatResult {
  bool histogram = true;
  StatSource source = StatSource::kGops;
  std::vector<int64_t> values;    // counts per interval, or magnitudes per lag (P + 1 of them)
  std::vector<uint8_t> negative;  // autocorrelation: 1 where the lag's value is negative
  uint32_t minimum = 0;           // histogram
  uint32_t maximum = 0;
  int32_t points = 0;  // autocorrelation: P after lowering it to what the sequence allows
  int64_t mean = 0;
  int64_t variance = 0;
  bool thousands = false;  // the variance exceeded 1000000: everything divided by 1000
  int64_t negative_max = 0;
  double top = 0;  // histogram: largest count + 1; autocorrelation: the variance
  std::string problem;
};

// Counts of the values in `intervals` intervals closed on the right, from minimum to maximum.
[[nodiscard]] StatResult compute_histogram(std::span<const uint32_t> sequence, StatSource source,
                                           int32_t intervals);

// Autocovariances for the lags 0 .. P - 1 (GOPs, slices) or 0 .. P (frames), P lowered to what
// the sequence length allows; each term divided by n - lag and truncated.
[[nodiscard]] StatResult compute_autocorrelation(std::span<const uint32_t> sequence,
                                                 StatSource source, int32_t points);

// The sequence of the settings, then the histogram or the autocorrelation of it.
[[nodiscard]] StatResult compute_statistics(const StoreData& data, const StatSettings& settings,
                                            bool histogram);

}  // namespace tavik
