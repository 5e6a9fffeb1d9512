#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "decoder/syntax/bit_reader.h"
#include "input/byte_input.h"
#include "input/video_source.h"

namespace tavik::test {

// Bytes of a string of '0' and '1' (other characters ignored), the last byte padded with zeros.
inline std::vector<uint8_t> bytes_from_bits(std::string_view bits) {
  std::vector<uint8_t> bytes;
  int count = 0;
  for (const char c : bits) {
    if (c != '0' && c != '1') continue;
    if (count % 8 == 0) bytes.push_back(0);
    if (c == '1') bytes.back() |= static_cast<uint8_t>(0x80 >> (count % 8));
    ++count;
  }
  return bytes;
}

// The low `width` bits of value as '0' and '1', most significant first.
inline std::string bits_of(uint32_t value, int width) {
  std::string bits;
  for (int bit = width - 1; bit >= 0; --bit) bits += ((value >> bit) & 1) ? '1' : '0';
  return bits;
}

// Points a bit reader at bits given as a string, read as an elementary stream: after them come
// zero bits up to a multiple of four bytes, then sequence end codes.
class BitFeed {
 public:
  BitFeed(BitReader& reader, std::string_view bits)
      : bytes_(bytes_from_bits(bits)), input_(bytes_), source_(input_) {
    reader.reset_reader(&source_);
  }
  BitFeed(const BitFeed&) = delete;
  BitFeed& operator=(const BitFeed&) = delete;

 private:
  std::vector<uint8_t> bytes_;
  MemoryInput input_;
  ElementarySource source_;
};

}  // namespace tavik::test
