#include "input/stream_start.h"

#include <algorithm>
#include <vector>

#include "base/start_codes.h"
#include "input/start_code_search.h"

namespace tavik {

namespace {

constexpr size_t kBlockSize = size_t{1} << 16;
// The longest MPEG-1 packet: its 16-bit length plus its six-byte prefix.
constexpr uint64_t kLongestPacket = 65535 + 6;
// Bytes kept from one block to the next, so that a start code across them is found.
constexpr size_t kCarry = 3;

}  // namespace

std::optional<StreamStart> locate_stream_start(ByteInput& input) {
  std::vector<uint8_t> block(kCarry + kBlockSize);
  std::optional<uint64_t> sequence_header;
  uint64_t block_offset = 0;  // file offset of block[kCarry]
  size_t kept = 0;            // carried bytes before block[kCarry]
  for (;;) {
    const size_t got = input.read_some(block.data() + kCarry, kBlockSize);
    if (got == 0) break;
    const uint8_t* begin = block.data() + kCarry - kept;
    const uint8_t* end = block.data() + kCarry + got;
    for (const uint8_t* p = find_start_code(begin, end); p + 3 < end;
         p = find_start_code(p + 1, end)) {
      const uint64_t at = block_offset - kept + static_cast<uint64_t>(p - begin);
      const uint32_t code = 0x100u | p[3];
      if (code == kPackStartCode) return StreamStart{at, true};
      if (code == kSequenceHeaderCode && !sequence_header) sequence_header = at;
    }
    block_offset += got;
    if (sequence_header && block_offset > *sequence_header + kLongestPacket) break;
    kept = std::min<size_t>(kCarry, static_cast<size_t>(end - begin));
    std::copy(end - kept, end, block.data() + kCarry - kept);
  }
  if (sequence_header) return StreamStart{*sequence_header, false};
  return std::nullopt;
}

OffsetInput::OffsetInput(std::unique_ptr<ByteInput> inner, uint64_t offset)
    : inner_(std::move(inner)), offset_(offset) {
  rewind();
}

void OffsetInput::rewind() {
  inner_->rewind();
  inner_->skip(offset_);
}

}  // namespace tavik
