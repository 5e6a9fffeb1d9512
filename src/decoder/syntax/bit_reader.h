#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "input/video_source.h"

namespace tavik {

// The reader's hot state: a 64-bit cache of the next bits (next bit in bit 63), the number of
// valid bits in it, and the unread part of the buffer. Inner loops copy it into locals and
// store it back.
struct BitWindow {
  uint64_t cache = 0;
  int bits = 0;
  const uint8_t* pos = nullptr;
  const uint8_t* end = nullptr;
};

// Reads the video elementary stream bit by bit. After every operation at least 32 bits are
// valid, so peek_bits(32) never needs a refill.
class BitReader {
 public:
  BitReader();

  // Starts reading `source` from its current position (null detaches).
  void reset_reader(VideoSource* source);

  [[nodiscard]] uint32_t peek_bits(int n) const {
    return static_cast<uint32_t>(w.cache >> (64 - n));
  }
  // 0 <= n <= 32.
  void skip_bits(int n) {
    w.cache <<= n;
    w.bits -= n;
    refill(w);
  }
  uint32_t read_bits(int n) {
    const uint32_t value = peek_bits(n);
    skip_bits(n);
    return value;
  }
  int read_bit() { return static_cast<int>(read_bits(1)); }
  uint32_t read_bits32() {
    const uint32_t value = peek_bits(32);
    skip_bits(32);
    return value;
  }

  // Byte alignment, then the next start code prefix 00 00 01 (its first byte at bit 63).
  void next_start_code();

  // With the next bits at a slice start code: appends the bytes of this slice and of the slices
  // that follow it to `out`, start codes included, and stops at the next start code that is not
  // a slice start code (the window then begins with it).
  void take_slices(std::vector<uint8_t>& out);

  // Bits consumed since reset_reader: the offset of the next bit in the elementary stream.
  [[nodiscard]] uint64_t consumed_bits() const {
    return (buffer_offset_ + static_cast<uint64_t>(w.pos - buffer_.data())) * 8 -
           static_cast<uint64_t>(w.bits);
  }

  // Tops the window up to at least 32 valid bits. The window goes out by value when the buffer
  // needs more bytes, so that a window kept in registers stays there.
  void refill(BitWindow& window) {
    if (window.bits >= 32) return;
    if (window.end - window.pos >= 8) {
      uint64_t value;
      std::memcpy(&value, window.pos, 8);
      window.cache |= __builtin_bswap64(value) >> window.bits;
      window.pos += (63 - window.bits) >> 3;
      window.bits |= 56;
    } else {
      window = refilled_slowly(window);
    }
  }

  BitWindow w;

 private:
  static constexpr size_t kBufferSize = 1 << 16;
  static constexpr size_t kSlack = 8;
  static constexpr size_t kMinFill = 8;

  // Moves the unread bytes and those behind the cache to the front of the buffer and reads
  // more behind them.
  void fill_buffer(BitWindow& window);
  [[nodiscard]] BitWindow refilled_slowly(BitWindow window);

  VideoSource* source_ = nullptr;
  std::vector<uint8_t> buffer_;
  uint64_t buffer_offset_ = 0;  // stream offset of buffer_[0]
};

}  // namespace tavik
