#include "charts/statistics.h"

#include <algorithm>
#include <bit>
#include <cstdlib>

#include "results/store_entries.h"

namespace tavik {

namespace {

__extension__ using Int128 = __int128;
__extension__ using Uint128 = unsigned __int128;

StatResult problem(bool histogram, StatSource source, std::string text) {
  StatResult result;
  result.histogram = histogram;
  result.source = source;
  result.problem = std::move(text);
  return result;
}

// trunc(p / m) for |p| < 2^62 and m >= 3 by one multiplication: with l = ceil(log2 m) and
// magic = floor(2^(62 + l) / m) + 1, floor(a * magic / 2^(62 + l)) equals floor(a / m) for
// 0 <= a < 2^62; l >= 2 makes the shift at least 64, so only the high half is needed.
class Divider {
 public:
  explicit Divider(uint64_t m) : shift_(std::bit_width(m - 1) - 2) {
    magic_ = uint64_t((Uint128(1) << (64 + shift_)) / m + 1);
  }
  [[nodiscard]] int64_t truncated(int64_t p) const {
    const int64_t sign = p >> 63;
    const auto magnitude = uint64_t((p ^ sign) - sign);
    const auto q = int64_t(uint64_t((Uint128(magnitude) * magic_) >> 64) >> shift_);
    return (q ^ sign) - sign;
  }

 private:
  int shift_;
  uint64_t magic_ = 0;
};

// Sum over i < m of trunc(dev[i] * dev[i + lag] / m). With every |dev| below 2^31 each product
// is below 2^62 and so is the sum (each term is at most the largest product / m).
int64_t lag_sum(std::span<const int64_t> dev, size_t lag, bool narrow) {
  const size_t m = dev.size() - lag;
  if (narrow && m >= 3) {
    const Divider divider(m);
    int64_t sum = 0;
    for (size_t i = 0; i < m; ++i) sum += divider.truncated(dev[i] * dev[i + lag]);
    return sum;
  }
  Int128 sum = 0;
  for (size_t i = 0; i < m; ++i) sum += Int128(dev[i]) * dev[i + lag] / Int128(m);
  return int64_t(sum);
}

}  // namespace

std::vector<uint32_t> stat_sequence(const StoreData& data, const StatSettings& settings) {
  if (settings.source == StatSource::kGops) {
    const auto gops = valid_entries(data.gop_bytes, data.gop_count());
    return {gops.begin(), gops.end()};
  }
  if (settings.source == StatSource::kSlices) {
    const auto slices = valid_entries(data.slice_bytes, data.slice_count);
    return {slices.begin(), slices.end()};
  }
  std::vector<uint32_t> sequence;
  const int64_t frames = readable_frames(data);
  for (int64_t f = 0; f < frames; ++f) {
    const uint32_t type = data.frame_types[size_t(f)];
    if ((type == kIPicture && !settings.filter_i) || (type == kPPicture && !settings.filter_p) ||
        (type == kBPicture && !settings.filter_b)) {
      sequence.push_back(data.frame_bytes[size_t(f)]);
    }
  }
  return sequence;
}

StatResult compute_histogram(std::span<const uint32_t> sequence, StatSource source,
                             int32_t intervals) {
  if (intervals < 1) return problem(true, source, "The number of intervals must be at least 1.");
  if (intervals > kMaxIntervals) {
    return problem(true, source, "The number of intervals must be at most 1000000.");
  }
  if (sequence.empty()) return problem(true, source, "No values to count.");
  const auto [low, high] = std::minmax_element(sequence.begin(), sequence.end());
  if (*low == *high) return problem(true, source, "All values are equal: no intervals to draw.");
  StatResult result;
  result.source = source;
  result.minimum = *low;
  result.maximum = *high;
  result.values.assign(size_t(intervals), 0);
  const uint64_t range = *high - *low;
  int64_t largest = 0;
  for (const uint32_t value : sequence) {
    const uint64_t scaled = uint64_t(value - *low) * uint64_t(intervals);
    uint64_t bin = scaled / range;
    // Intervals are closed on the right: a value on a boundary belongs to the lower one.
    if (scaled % range == 0 && bin > 0) --bin;
    largest = std::max(largest, ++result.values[bin]);
  }
  result.top = double(largest) + 1;
  return result;
}

StatResult compute_autocorrelation(std::span<const uint32_t> sequence, StatSource source,
                                   int32_t points) {
  if (points < 1) return problem(false, source, "The number of points must be at least 1.");
  if (sequence.empty()) return problem(false, source, "No values to correlate.");
  const auto n = int64_t(sequence.size());
  int64_t total = 0;
  for (const uint32_t value : sequence) total += value;
  const int64_t mean = total / n;
  std::vector<int64_t> dev(sequence.begin(), sequence.end());
  int64_t largest_dev = 0;
  for (int64_t& d : dev) {
    d -= mean;
    largest_dev = std::max(largest_dev, std::abs(d));
  }
  const bool narrow = largest_dev < (int64_t(1) << 31);
  const int64_t lag0 = lag_sum(dev, 0, narrow);
  int64_t variance = lag0;
  if (variance == 0) return problem(false, source, "The variance is 0: nothing to correlate.");

  StatResult result;
  result.histogram = false;
  result.source = source;
  result.mean = mean;
  // GOPs keep up to n lags; frames and slices up to n - 1 lags past lag 0.
  const int64_t allowed = source == StatSource::kGops ? n : n - 1;
  result.points = int32_t(std::min<int64_t>(points, allowed));
  const int64_t lags = source == StatSource::kFrames ? result.points + 1 : result.points;
  result.thousands = variance > 1000000;
  if (result.thousands) variance /= 1000;
  result.variance = variance;
  result.top = double(variance);
  result.values.assign(size_t(result.points) + 1, 0);
  result.negative.assign(size_t(result.points) + 1, 0);
  for (int64_t lag = 0; lag < lags; ++lag) {
    int64_t r = lag == 0 ? lag0 : lag_sum(dev, size_t(lag), narrow);
    if (result.thousands) r /= 1000;
    if (r < 0) {
      result.negative[size_t(lag)] = 1;
      result.negative_max = std::max(result.negative_max, -r);
    }
    result.values[size_t(lag)] = std::abs(r);
  }
  return result;
}

StatResult compute_statistics(const StoreData& data, const StatSettings& settings, bool histogram) {
  const std::vector<uint32_t> sequence = stat_sequence(data, settings);
  return histogram ? compute_histogram(sequence, settings.source, settings.intervals)
                   : compute_autocorrelation(sequence, settings.source, settings.points);
}

}  // namespace tavik
