#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "base/picture_type.h"
#include "input/video_origin.h"

namespace tavik {

struct ChartSettings {
  int32_t bar_width = 5;
  bool auto_scale = true;  // Automatic: the scanner raises the chart's maximum
  int32_t y_limit = 3000;
};

// Everything measured in the open stream. Arrays are indexed from 0; readers bound every loop
// with the counters, never with the array sizes (entries past the counters may be stale).
struct StoreData {
  StoreData();

  std::vector<uint32_t> frame_bytes;
  std::vector<uint32_t> frame_types;
  std::vector<uint32_t> frame_first_slice;
  std::vector<uint32_t> slice_bytes;
  std::vector<uint32_t> gop_bytes;
  std::vector<uint32_t> gop_first_frame;

  int32_t last_frame = -1;  // index of the last recorded frame; -1 = none
  int32_t open_gop = -1;    // GOP being accumulated = GOPs closed; -1 before the first GOP
  int32_t slice_count = 0;
  int32_t slice_codes_seen = 0;
  // 64-bit so that broadcasts beyond 4 GiB are counted in full.
  uint64_t bytes_scanned = 0;
  uint64_t gop_accum = 0;

  int32_t max_frame_bytes = 1000;
  int32_t max_gop_bytes = 1000;
  int32_t max_slice_bytes = 500;
  int32_t max_frames_per_gop = 0;
  int32_t max_slices_per_frame = 0;

  ChartSettings frame_chart{5, true, 3000};
  ChartSettings gop_chart{5, true, 5000};
  ChartSettings slice_chart{5, true, 1000};

  bool filter_i = false;
  bool filter_p = false;
  bool filter_b = false;
  bool scan_reset_pending = false;

  // The container read and its video stream that is measured.
  VideoOrigin origin;

  [[nodiscard]] int32_t frame_count() const { return last_frame + 1; }
  [[nodiscard]] int32_t gop_count() const { return open_gop < 0 ? 0 : open_gop; }
};

// Writes at index, growing the array with zeros when the index lies beyond its size.
void store_at(std::vector<uint32_t>& array, int64_t index, uint32_t value);

// The one store of measurements. One writer (the scanner on the decoding thread) and many
// readers; every access to StoreData goes through the lock.
class AnalysisStore {
 public:
  AnalysisStore() = default;
  AnalysisStore(const AnalysisStore&) = delete;
  AnalysisStore& operator=(const AnalysisStore&) = delete;

  // Runs fn(StoreData&) under the lock.
  template <typename Fn>
  decltype(auto) update(Fn&& fn) {
    std::lock_guard lock(mutex_);
    return fn(data_);
  }
  // Runs fn(const StoreData&) under the lock.
  template <typename Fn>
  decltype(auto) read(Fn&& fn) const {
    std::lock_guard lock(mutex_);
    return fn(static_cast<const StoreData&>(data_));
  }

  // A consistent copy holding only the valid entries of each array.
  [[nodiscard]] StoreData snapshot() const;

  // Every element of the six arrays set to 0; sizes unchanged (restart).
  void zero_arrays();
  // Closing the video document.
  void close_reset();
  // A session that could not start: every array, counter and maximum back to its start value,
  // so that nothing of an earlier file can be shown or saved. Settings and filters stay.
  void clear_measurements();

  void set_filters(bool filter_i, bool filter_p, bool filter_b);

  // picture_coding_type of the last picture header read; 0 before the first of a session.
  std::atomic<int32_t> current_picture_type{0};
  // Set when a chart's maximum rose; the chart's repaint reads and clears it with exchange(0).
  std::atomic<bool> frame_max_changed{false};
  std::atomic<bool> gop_max_changed{false};

  // Raised on the scanner's thread, outside the lock, each time a GOP closes.
  void set_gop_closed_callback(std::function<void()> callback);
  void signal_gop_closed() const;

 private:
  mutable std::mutex mutex_;
  StoreData data_;
  std::function<void()> gop_closed_;
};

}  // namespace tavik
