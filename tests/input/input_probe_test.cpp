#include "input/input_probe.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tavik {
namespace {

using Bytes = std::vector<uint8_t>;

// Only what is known not to be MPEG video is named; MPEG video cut before its sequence header
// is left to the engine.
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
