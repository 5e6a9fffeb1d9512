#include "support/field_writer_bits.h"

namespace tavik::test::field_writer {

void BitWriter::put(uint32_t value, int length) {
  for (int bit = length - 1; bit >= 0; --bit) {
    if (free_bits_ == 0) {
      bytes_.push_back(0);
      free_bits_ = 8;
    }
    --free_bits_;
    bytes_.back() |= uint8_t(((value >> bit) & 1U) << free_bits_);
  }
}

void BitWriter::align() {
  free_bits_ = 0;
}

void BitWriter::start_code(uint8_t code) {
  align();
  put(0x000001, 24);
  put(code, 8);
}

}  // namespace tavik::test::field_writer
