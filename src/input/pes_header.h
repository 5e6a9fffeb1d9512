#pragma once

#include <array>
#include <cstdint>

namespace tavik {

// The time stamps of a packet header, in 90 kHz ticks as coded (33 bits); -1: absent.
struct PesStamps {
  int64_t pts = -1;
  int64_t dts = -1;

  [[nodiscard]] bool present() const { return pts >= 0; }
};

// Reads the header of a packet of a video stream after its length field, one byte at a time:
// the ISO/IEC 11172-1 form (stuffing, STD buffer fields, time stamps) or the ISO/IEC 13818-1
// form (two flag bytes and the header data length), and keeps its time stamps.
class PesHeaderReader {
 public:
  enum class Result { kMore, kDone, kBroken };

  void start() {
    state_ = State::kFirst;
    stuffed_ = false;
    stamp_bytes_ = 0;
    stamps_wanted_ = 0;
    stamps_ = {};
  }
  // kDone: the header ends after skip() more bytes, passed over whole by the caller.
  Result take(uint8_t byte);
  [[nodiscard]] uint32_t skip() const { return skip_; }
  // The time stamps of the header read last (valid after kDone).
  [[nodiscard]] PesStamps stamps() const { return stamps_; }

 private:
  enum class State { kFirst, kStd, kMpeg1Flags, kMpeg2Flags, kMpeg2Length, kStamps };

  Result mpeg1_flags(uint8_t byte);
  // The time stamp bytes follow: `wanted` of them, the first already taken when `first_taken`;
  // `skip_after` bytes of the header lie behind them.
  Result expect_stamps(int wanted, uint32_t skip_after);
  Result stamps_complete();

  State state_ = State::kFirst;
  bool stuffed_ = false;
  uint32_t skip_ = 0;
  int pts_dts_flags_ = 0;
  std::array<uint8_t, 10> stamp_{};
  int stamp_bytes_ = 0;
  int stamps_wanted_ = 0;
  PesStamps stamps_;
};

}  // namespace tavik
