#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>

#include "input/byte_input.h"

namespace tavik::test {

// A byte input that gives at most `chunk` bytes per read, so that every buffer boundary of
// the readers above it is met.
class ChunkedInput final : public ByteInput {
 public:
  ChunkedInput(std::span<const uint8_t> bytes, size_t chunk) : bytes_(bytes), chunk_(chunk) {}
  size_t read_some(uint8_t* dst, size_t n) override {
    const size_t count = std::min({n, chunk_, bytes_.size() - offset_});
    if (count > 0) std::memcpy(dst, bytes_.data() + offset_, count);
    offset_ += count;
    return count;
  }
  void rewind() override { offset_ = 0; }

 private:
  std::span<const uint8_t> bytes_;
  size_t chunk_;
  size_t offset_ = 0;
};

}  // namespace tavik::test
