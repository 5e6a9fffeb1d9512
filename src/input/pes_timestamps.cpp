#include "input/pes_timestamps.h"

namespace tavik {

void PesTimestamps::packet(int64_t start, PesStamps stamps) {
  // A packet with an empty payload is replaced by the next one beginning at the same byte.
  if (!packets_.empty() && packets_.back().start == start) {
    packets_.back().stamps = stamps;
    return;
  }
  packets_.push_back({start, stamps});
}

PesStamps PesTimestamps::picture_at(int64_t byte) {
  while (packets_.size() > 1 && packets_[1].start <= byte) packets_.pop_front();
  if (packets_.empty() || packets_.front().start > byte) return {};
  const PesStamps stamps = packets_.front().stamps;
  packets_.front().stamps = {};
  return stamps;
}

}  // namespace tavik
