#include "playback/timing_share.h"

namespace tavik {

void TimingShare::publish(const PictureTimeline& timeline, bool force) {
  std::lock_guard lock(mutex_);
  const Clock::time_point now = Clock::now();
  if (!force && now - published_ < std::chrono::milliseconds(250)) return;
  timeline_ = timeline;
  published_ = now;
  ++serial_;
}

PictureTimeline TimingShare::copy() const {
  PictureTimeline timeline;
  {
    std::lock_guard lock(mutex_);
    timeline = timeline_;
  }
  if (timeline.duration() <= 0 && !timeline.pictures().empty()) {
    timeline.stream_end(timeline.pictures().back().es_offset);
  }
  return timeline;
}

}  // namespace tavik
