#include "decoder/syntax/bit_reader.h"

#include <algorithm>

#include "input/start_code_search.h"

namespace tavik {

namespace {

// The last byte of a slice start code: 01 to AF.
[[nodiscard]] bool is_slice_code_byte(uint8_t byte) {
  return byte >= 0x01 && byte <= 0xAF;
}

}  // namespace

BitReader::BitReader() : buffer_(kBufferSize + kSlack) {}

void BitReader::reset_reader(VideoSource* source) {
  source_ = source;
  buffer_offset_ = 0;
  w = BitWindow{};
  w.pos = buffer_.data();
  w.end = buffer_.data();
  if (source_) refill(w);
}

void BitReader::fill_buffer(BitWindow& window) {
  uint8_t* base = buffer_.data();
  // The bytes behind the cache stay in the buffer too: next_start_code hands them back.
  const size_t cached = static_cast<size_t>(window.bits + 7) >> 3;
  const uint8_t* from = window.pos - cached;
  const size_t keep = static_cast<size_t>(window.end - from);
  std::memmove(base, from, keep);
  buffer_offset_ += static_cast<size_t>(from - base);
  size_t have = keep;
  // The source always gives at least one byte, so this ends. Only what one window refill needs
  // is insisted on: a source that stops short (a broken system layer) is then not read beyond
  // the video it could give, and its error comes where the stream needs the missing bytes.
  while (have < cached + kMinFill) have += source_->read(base + have, kBufferSize - have);
  window.pos = base + cached;
  window.end = base + have;
}

BitWindow BitReader::refilled_slowly(BitWindow window) {
  if (!source_) {
    // Detached: the stream reads as zeros.
    window.bits = 64;
    return window;
  }
  fill_buffer(window);
  refill(window);
  return window;
}

void BitReader::next_start_code() {
  skip_bits(w.bits & 7);
  // Hand the whole bytes still in the cache back to the buffer and search the bytes directly.
  w.pos -= w.bits >> 3;
  w.cache = 0;
  w.bits = 0;
  for (;;) {
    const uint8_t* found = find_start_code(w.pos, w.end);
    if (found != w.end) {
      w.pos = found;
      refill(w);
      return;
    }
    if (!source_) {
      w.pos = w.end;
      w.bits = 64;
      return;
    }
    // The last two bytes may begin a prefix that the next bytes complete.
    w.pos = std::max(w.pos, w.end - 2);
    fill_buffer(w);
  }
}

void BitReader::take_slices(std::vector<uint8_t>& out) {
  next_start_code();
  w.pos -= w.bits >> 3;
  w.cache = 0;
  w.bits = 0;
  for (;;) {
    if (w.end - w.pos < 4) {
      if (!source_) break;
      fill_buffer(w);
      continue;
    }
    // w.pos is at a start code prefix.
    if (!is_slice_code_byte(w.pos[3])) break;
    const uint8_t* from = w.pos;
    const uint8_t* found = find_start_code(w.pos + 3, w.end);
    while (found == w.end && source_) {
      // The last two bytes may begin a prefix that the next bytes complete.
      const uint8_t* kept = std::max(w.pos + 3, w.end - 2);
      out.insert(out.end(), from, kept);
      w.pos = kept;
      fill_buffer(w);
      from = w.pos;
      found = find_start_code(w.pos, w.end);
    }
    out.insert(out.end(), from, found);
    w.pos = found;
  }
  refill(w);
}

}  // namespace tavik
