#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tavik::test::field_writer {

// A variable-length code: `length` bits taken from the low end of `bits`, most significant first.
struct VlcCode {
  uint32_t bits = 0;
  int length = 0;
};

// Packs bits most significant first into a growing byte buffer.
class BitWriter {
 public:
  void put(uint32_t value, int length);
  void put(VlcCode code) { put(code.bits, code.length); }
  // Zero bits up to the next byte boundary, as before every start code.
  void align();
  // Byte-aligns, then writes 0x000001 followed by `code`.
  void start_code(uint8_t code);
  [[nodiscard]] const std::vector<uint8_t>& bytes() const { return bytes_; }
  [[nodiscard]] size_t bit_count() const { return bytes_.size() * 8 - size_t(free_bits_); }

 private:
  std::vector<uint8_t> bytes_;
  int free_bits_ = 0;  // unused low bits of the last byte
};

}  // namespace tavik::test::field_writer
