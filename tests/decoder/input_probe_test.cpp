#include "decoder/input_probe.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "decoder/fatal_error.h"

namespace tavik {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes packets(size_t count, size_t time_code) {
  Bytes bytes;
  for (size_t i = 0; i < count; ++i) {
    bytes.insert(bytes.end(), time_code, 0x11);
    bytes.push_back(0x47);
    bytes.insert(bytes.end(), 187, 0x00);
  }
  return bytes;
}

TEST(InputProbe, TellsTheContainer) {
  const struct {
    Bytes bytes;
    Container container;
  } cases[] = {
      {{0x00, 0x00, 0x00, 0x01, 0xB3, 0x10}, Container::kElementary},
      {{0x00, 0x00, 0x01, 0xBA, 0x21, 0x00}, Container::kSystem},
      {{0x00, 0x00, 0x01, 0xBA, 0x44, 0x00}, Container::kProgram},
      {{0x00, 0x00, 0x01, 0xBA}, Container::kSystem},  // a pack start code and nothing after
      {packets(1, 0), Container::kTransport},
      {packets(7, 0), Container::kTransport},
      {packets(3, 4), Container::kTransport192},
  };
  for (const auto& c : cases) {
    MemoryInput input(c.bytes);
    EXPECT_EQ(detect_container(input), c.container) << c.bytes.size();
  }
  // A sync byte missing among the first packets: not a transport stream.
  Bytes broken = packets(3, 0);
  broken[188] = 0x48;
  MemoryInput input(broken);
  EXPECT_THROW((void)detect_container(input), FatalError);
}

TEST(InputProbe, NamesOnlyWhatItKnows) {
  const std::string reads = ": Tavik reads MPEG-1 and MPEG-2 video";
  const struct {
    Bytes head;
    std::string reason;
  } cases[] = {
      {{0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x20, 0x00},
       "MPEG-4 Part 2 video is not supported" + reads},
      {{0x00, 0x00, 0x00, 0x01, 0x40, 0x01, 0x0C}, "H.265 video is not supported" + reads},
      {{0x00, 0x00, 0x00, 0x01, 0x09, 0xF0, 0x00}, "H.264 video is not supported" + reads},
      {{0x0B, 0x77, 0x00}, "The file holds audio and no video" + reads},
      // MPEG video cut before its sequence header: nothing is named.
      {{0x00, 0x00, 0x01, 0xB8, 0x00, 0x08}, ""},
      {{0x00, 0x00, 0x00, 0x01, 0x67, 0x10, 0x00, 0x00, 0x01, 0xB3, 0x00}, ""},
      {{0x00, 0x00, 0x01, 0x67, 0x42, 0x00}, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(unsupported_input_reason(c.head), c.reason) << int(c.head[3]);
  }
}

}  // namespace
}  // namespace tavik
