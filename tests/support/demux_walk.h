#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "input/container_demux.h"

namespace tavik::test {

// What a demultiplexer found in a whole stream.
struct DemuxResult {
  std::vector<uint8_t> video;
  bool ended = false;
  bool failed = false;
  std::string error;
  std::string warnings;
  VideoOrigin origin;
};

// Feeds the stream to a new demultiplexer of the container in blocks of `block_size` bytes.
DemuxResult demux_in_blocks(Container container, const std::vector<uint8_t>& bytes,
                            size_t block_size);

// n bytes counting up from `first`.
std::vector<uint8_t> counting_bytes(size_t n, uint8_t first);

}  // namespace tavik::test
