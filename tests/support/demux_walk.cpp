#include "support/demux_walk.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <span>

namespace tavik::test {

DemuxResult demux_in_blocks(Container container, const std::vector<uint8_t>& bytes,
                            size_t block_size) {
  CollectedMessages warnings;
  const auto demux = make_demux(container, &warnings);
  DemuxResult result;
  for (size_t start = 0; start < bytes.size(); start += block_size) {
    const std::span<const uint8_t> block(bytes.data() + start,
                                         std::min(block_size, bytes.size() - start));
    size_t pos = 0;
    while (pos < block.size()) {
      const auto step = demux->feed(block.subspan(pos));
      EXPECT_GT(step.consumed, 0u);
      if (step.consumed == 0) return result;
      const auto payload = block.subspan(pos + step.payload_offset, step.payload_size);
      result.video.insert(result.video.end(), payload.begin(), payload.end());
      pos += step.consumed;
    }
  }
  result.ended = demux->ended();
  result.failed = demux->failed();
  result.error = demux->error();
  result.warnings = warnings.err_text;
  result.origin = demux->origin();
  return result;
}

std::vector<uint8_t> counting_bytes(size_t n, uint8_t first) {
  std::vector<uint8_t> bytes(n);
  std::iota(bytes.begin(), bytes.end(), first);
  return bytes;
}

}  // namespace tavik::test
