#include "input/transport_demux.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/demux_walk.h"

namespace tavik {
namespace {

using Bytes = std::vector<uint8_t>;
using test::counting_bytes;

// One 188-byte packet; an adaptation field of stuffing fills what the payload leaves.
Bytes packet(int pid, bool unit_start, int counter, const Bytes& payload, uint8_t flags = 0) {
  Bytes bytes = {0x47, uint8_t((unit_start ? 0x40 : 0) | pid >> 8), uint8_t(pid),
                 uint8_t(0x10 | counter)};
  if (payload.size() < 184) {
    bytes[3] |= 0x20;
    bytes.push_back(uint8_t(183 - payload.size()));
    if (payload.size() < 183) bytes.push_back(flags);
    bytes.resize(188 - payload.size(), 0xFF);
  }
  bytes.insert(bytes.end(), payload.begin(), payload.end());
  return bytes;
}

// The tables name audio on 0x101, H.264 on 0x102 and MPEG-2 video on 0x100; the video's one
// packet of 300 bytes (counting bytes) is cut into three transport packets.
struct Stream {
  std::vector<Bytes> packets;
  Bytes video = counting_bytes(300, 0);
};

Stream make_stream() {
  Stream s;
  const Bytes association = {0x00, 0x00, 0xB0, 0x0D, 0x00, 0x01, 0xC1, 0x00, 0x00,
                             0x00, 0x01, 0xF0, 0x20, 0x00, 0x00, 0x00, 0x00};
  const Bytes program_map = {0x00, 0x02, 0xB0, 0x1C, 0x00, 0x01, 0xC1, 0x00, 0x00, 0xE1, 0x00,
                             0xF0, 0x00, 0x03, 0xE1, 0x01, 0xF0, 0x00, 0x1B, 0xE1, 0x02, 0xF0,
                             0x00, 0x02, 0xE1, 0x00, 0xF0, 0x00, 0x00, 0x00, 0x00, 0x00};
  Bytes first = {0x00, 0x00, 0x01, 0xE0, 0x00, 0x00, 0x80,
                 0x80, 0x05, 0x21, 0x00, 0x01, 0x00, 0x01};
  first.insert(first.end(), s.video.begin(), s.video.begin() + 170);
  s.packets = {packet(0, true, 0, association),
               packet(0x1020, true, 0, program_map),
               packet(0x100, true, 0, first),
               packet(0x101, true, 0, counting_bytes(184, 7)),
               packet(0x100, false, 1, Bytes(s.video.begin() + 170, s.video.begin() + 250)),
               packet(0x100, false, 2, Bytes(s.video.begin() + 250, s.video.end()))};
  return s;
}

Bytes joined(const std::vector<Bytes>& packets, size_t time_code = 0) {
  Bytes bytes;
  for (const Bytes& p : packets) {
    bytes.insert(bytes.end(), time_code, 0x47);
    bytes.insert(bytes.end(), p.begin(), p.end());
  }
  return bytes;
}

TEST(TransportDemux, ReassemblesTheVideoInBlocksOfEverySize) {
  const Stream s = make_stream();
  std::vector<Bytes> duplicated = s.packets;
  duplicated.insert(duplicated.begin() + 5, s.packets[4]);  // a duplicate packet is passed over
  for (const auto& [container, time_code] : {std::pair{Container::kTransport, size_t{0}},
                                             std::pair{Container::kTransport192, size_t{4}}}) {
    const Bytes bytes = joined(duplicated, time_code);
    for (size_t block_size = 1; block_size <= bytes.size(); block_size += 13) {
      const auto result = test::demux_in_blocks(container, bytes, block_size);
      ASSERT_EQ(result.video, s.video) << block_size;
      EXPECT_EQ(result.warnings, "");
      EXPECT_EQ(result.origin.stream, 0x100);
      EXPECT_EQ(result.origin.video_streams, 2);
    }
  }
}

TEST(TransportDemux, DamageIsReportedOnceAndTheVideoGoesOn) {
  const Stream s = make_stream();
  std::vector<Bytes> lost = s.packets;
  lost.erase(lost.begin() + 4);
  std::vector<Bytes> flagged = s.packets;
  flagged[4][1] |= 0x80;
  std::vector<Bytes> unsynced = s.packets;
  unsynced[4][0] = 0x00;
  Bytes expected(s.video.begin(), s.video.begin() + 170);
  expected.insert(expected.end(), s.video.begin() + 250, s.video.end());
  const struct {
    const std::vector<Bytes>& packets;
    std::string warning;
  } cases[] = {
      {lost, "Transport stream damaged at byte 752: packets lost (continuity counter gap)\n"},
      {flagged, "Transport stream damaged at byte 752: transport error indicator set\n"},
      {unsynced, "Transport stream damaged at byte 752: sync byte missing\n"},
  };
  for (const auto& c : cases) {
    const auto result = test::demux_in_blocks(Container::kTransport, joined(c.packets), 100);
    EXPECT_EQ(result.warnings, c.warning);
    EXPECT_EQ(result.video, expected) << c.warning;
  }
}

}  // namespace
}  // namespace tavik
