#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "input/byte_input.h"

namespace tavik {

// Where the readable stream begins in an input that starts with neither a sequence header nor
// a pack header (a recording cut in the middle).
struct StreamStart {
  uint64_t offset = 0;
  bool system_stream = false;
};

// The first sequence header, or the first pack header when one comes before it or within a
// packet's length after it (a sequence header inside a cut video packet). Reads the input from
// its current position to the end at most; nullopt when neither is found.
[[nodiscard]] std::optional<StreamStart> locate_stream_start(ByteInput& input);

// The input from `offset` on: the bytes before it are never given, rewind included.
class OffsetInput final : public ByteInput {
 public:
  OffsetInput(std::unique_ptr<ByteInput> inner, uint64_t offset);
  size_t read_some(uint8_t* dst, size_t n) override { return inner_->read_some(dst, n); }
  void rewind() override;
  void skip(uint64_t n) override { inner_->skip(n); }
  [[nodiscard]] bool read_failed() const override { return inner_->read_failed(); }

 private:
  std::unique_ptr<ByteInput> inner_;
  uint64_t offset_;
};

}  // namespace tavik
