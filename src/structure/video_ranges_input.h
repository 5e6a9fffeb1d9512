#pragma once

#include <vector>

#include "input/byte_input.h"
#include "input/random_access.h"
#include "structure/seek_plan.h"
#include "structure/stream_index.h"

namespace tavik {

// Stretches of the video elementary stream one after the other, read from the file through the
// index's payload map: whatever the container, a decoder reads them as an elementary stream.
class VideoRangesInput final : public ByteInput {
 public:
  VideoRangesInput(const StreamIndex& index, const RandomAccess& file,
                   std::vector<VideoRange> ranges);
  size_t read_some(uint8_t* dst, size_t n) override;
  void rewind() override;

 private:
  const StreamIndex& index_;
  const RandomAccess& file_;
  std::vector<VideoRange> ranges_;
  size_t range_ = 0;
  uint64_t at_ = 0;  // the next video byte
};

}  // namespace tavik
