#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>

#include "timing/picture_timeline.h"

namespace tavik {

// The pictures' timing as far as the decoding thread has read them, handed to the windows that
// chart it: the decoding thread publishes a copy now and then, a window's worker copies the
// last one out. Nobody waits for anybody longer than a copy.
class TimingShare {
 public:
  // Keeps a copy of the timeline when `force` or when the last one is older than a quarter of
  // a second.
  void publish(const PictureTimeline& timeline, bool force);
  // Raised at every publication; 0 before the first.
  [[nodiscard]] uint64_t serial() const { return serial_; }
  // The last copy; while the stream goes on, completed as if it ended at the last picture
  // header read (that picture without its bytes), so that its times and duration are known.
  [[nodiscard]] PictureTimeline copy() const;

 private:
  using Clock = std::chrono::steady_clock;
  mutable std::mutex mutex_;
  PictureTimeline timeline_;  // guarded by mutex_
  Clock::time_point published_{};
  std::atomic<uint64_t> serial_{0};
};

}  // namespace tavik
