#include "input/pes_header.h"

namespace tavik {

namespace {

constexpr int kStampSize = 5;

// A 33-bit time stamp in five bytes: 4 bits of prefix, 3 bits, a marker, 15 bits, a marker,
// 15 bits, a marker.
[[nodiscard]] int64_t stamp_value(const uint8_t* b) {
  return (int64_t{b[0] >> 1} & 7) << 30 | int64_t{b[1]} << 22 | int64_t{b[2] >> 1} << 15 |
         int64_t{b[3]} << 7 | int64_t{b[4] >> 1};
}

}  // namespace

PesHeaderReader::Result PesHeaderReader::expect_stamps(int wanted, uint32_t skip_after) {
  stamps_wanted_ = wanted;
  skip_ = skip_after;
  if (stamp_bytes_ >= stamps_wanted_) return stamps_complete();
  state_ = State::kStamps;
  return Result::kMore;
}

PesHeaderReader::Result PesHeaderReader::stamps_complete() {
  if (stamps_wanted_ >= kStampSize) stamps_.pts = stamp_value(stamp_.data());
  if (stamps_wanted_ >= 2 * kStampSize) stamps_.dts = stamp_value(stamp_.data() + kStampSize);
  return Result::kDone;
}

PesHeaderReader::Result PesHeaderReader::mpeg1_flags(uint8_t byte) {
  if (byte >= 0x30 && byte <= 0x3F) {
    stamp_[stamp_bytes_++] = byte;
    return expect_stamps(2 * kStampSize, 0);  // presentation and decoding time stamps
  }
  if (byte >= 0x20 && byte <= 0x2F) {
    stamp_[stamp_bytes_++] = byte;
    return expect_stamps(kStampSize, 0);  // presentation time stamp
  }
  if (byte == 0x0F) {
    skip_ = 0;
    return Result::kDone;
  }
  return Result::kBroken;
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
      pts_dts_flags_ = byte >> 6;
      state_ = State::kMpeg2Length;
      return Result::kMore;
    case State::kMpeg2Length: {
      // PTS_DTS_flags 2: a presentation time stamp; 3: both. A header too short for them has
      // none.
      const int wanted = pts_dts_flags_ == 3   ? 2 * kStampSize
                         : pts_dts_flags_ == 2 ? kStampSize
                                               : 0;
      if (wanted > byte) {
        skip_ = byte;
        return Result::kDone;
      }
      return expect_stamps(wanted, byte - uint32_t(wanted));
    }
    case State::kStamps:
      stamp_[stamp_bytes_++] = byte;
      return stamp_bytes_ < stamps_wanted_ ? Result::kMore : stamps_complete();
  }
  return Result::kBroken;
}

}  // namespace tavik
