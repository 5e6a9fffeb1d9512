#pragma once

#include <cstdint>

namespace tavik {

// Reads the header of a packet of a video stream after its length field, one byte at a time:
// the ISO/IEC 11172-1 form (stuffing, STD buffer fields, time stamps) or the ISO/IEC 13818-1
// form (two flag bytes and the header data length).
class PesHeaderReader {
 public:
  enum class Result { kMore, kDone, kBroken };

  void start() {
    state_ = State::kFirst;
    stuffed_ = false;
  }
  // kDone: the header ends after skip() more bytes, passed over whole by the caller.
  Result take(uint8_t byte);
  [[nodiscard]] uint32_t skip() const { return skip_; }

 private:
  enum class State { kFirst, kStd, kMpeg1Flags, kMpeg2Flags, kMpeg2Length };

  Result mpeg1_flags(uint8_t byte);

  State state_ = State::kFirst;
  bool stuffed_ = false;
  uint32_t skip_ = 0;
};

}  // namespace tavik
