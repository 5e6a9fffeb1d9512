#include "decoder/bit_reader.h"

#include <algorithm>

namespace tavik {

BitReader::BitReader() : buffer_(kBufferSize + kSlack) {}

void BitReader::reset_reader(VideoSource* source) {
  source_ = source;
  buffer_offset_ = 0;
  w = BitWindow{};
  w.pos = buffer_.data();
  w.end = buffer_.data();
  if (source_) refill(w);
}

void BitReader::fill_buffer(BitWindow& window, size_t keep) {
  uint8_t* base = buffer_.data();
  const size_t start = static_cast<size_t>(window.pos - base);
  std::memmove(base, window.pos, keep);
  buffer_offset_ += start;
  size_t have = keep;
  // The source always gives at least one byte, so this ends.
  while (have < kBufferSize / 2) have += source_->read(base + have, kBufferSize - have);
  window.pos = base;
  window.end = base + have;
}

void BitReader::refill_slow(BitWindow& window) {
  if (!source_) {
    // Detached: the stream reads as zeros.
    window.bits = 64;
    return;
  }
  fill_buffer(window, static_cast<size_t>(window.end - window.pos));
  refill(window);
}

void BitReader::next_start_code() {
  skip_bits(w.bits & 7);
  // Hand the whole bytes still in the cache back to the buffer and search the bytes directly.
  w.pos -= w.bits >> 3;
  w.cache = 0;
  w.bits = 0;
  for (;;) {
    const uint8_t* p = w.pos;
    const uint8_t* end = w.end;
    while (end - p >= 3) {
      const auto* one =
          static_cast<const uint8_t*>(std::memchr(p + 2, 0x01, static_cast<size_t>(end - p - 2)));
      if (!one) {
        p = end - 2;
        break;
      }
      if (one[-1] == 0 && one[-2] == 0) {
        w.pos = one - 2;
        refill(w);
        return;
      }
      p = one - 1;
    }
    if (!source_) {
      w.pos = w.end;
      w.bits = 64;
      return;
    }
    w.pos = p;
    fill_buffer(w, static_cast<size_t>(w.end - p));
  }
}

}  // namespace tavik
