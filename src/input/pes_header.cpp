#include "input/pes_header.h"

namespace tavik {

PesHeaderReader::Result PesHeaderReader::mpeg1_flags(uint8_t byte) {
  if (byte >= 0x30 && byte <= 0x3F) {
    skip_ = 9;  // presentation and decoding time stamps
  } else if (byte >= 0x20 && byte <= 0x2F) {
    skip_ = 4;  // presentation time stamp
  } else if (byte == 0x0F) {
    skip_ = 0;
  } else {
    return Result::kBroken;
  }
  return Result::kDone;
}

PesHeaderReader::Result PesHeaderReader::take(uint8_t byte) {
  switch (state_) {
    case State::kFirst:
      if (byte == 0xFF) {
        stuffed_ = true;
        return Result::kMore;
      }
      if (byte >= 0x40 && byte <= 0x7F) {
        state_ = State::kStd;
        return Result::kMore;
      }
      // The 13818-1 form begins with the bits 10 and has no stuffing bytes before it.
      if ((byte & 0xC0) == 0x80 && !stuffed_) {
        state_ = State::kMpeg2Flags;
        return Result::kMore;
      }
      return mpeg1_flags(byte);
    case State::kStd:
      state_ = State::kMpeg1Flags;
      return Result::kMore;
    case State::kMpeg1Flags:
      return mpeg1_flags(byte);
    case State::kMpeg2Flags:
      state_ = State::kMpeg2Length;
      return Result::kMore;
    case State::kMpeg2Length:
      skip_ = byte;
      return Result::kDone;
  }
  return Result::kBroken;
}

}  // namespace tavik
