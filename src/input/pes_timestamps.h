#pragma once

#include <cstdint>
#include <deque>

#include "input/pes_header.h"

namespace tavik {

// The packets of the video stream by where their payload begins in the video elementary stream,
// with their time stamps, kept until the pictures in them have been looked up. A packet's time
// stamps belong to the first picture whose start code begins in its payload (ISO/IEC 13818-1
// 2.4.3.7).
class PesTimestamps {
 public:
  // A packet whose payload begins at byte `start` of the video stream.
  void packet(int64_t start, PesStamps stamps);
  // The time stamps of the picture whose start code begins at `byte` (none when its packet
  // carried none or gave them to an earlier picture). Pictures are looked up in stream order;
  // the packets before `byte` are let go.
  [[nodiscard]] PesStamps picture_at(int64_t byte);

 private:
  struct Packet {
    int64_t start = 0;
    PesStamps stamps;
  };
  std::deque<Packet> packets_;
};

}  // namespace tavik
