#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace tavik {

// Follows the pack and packet layer of an ISO/IEC 11172-1 system stream over raw bytes given
// in blocks of any size, and finds the payload of video stream 0 (stream id 0xE0). The layer
// must be aligned exactly on its start codes; MPEG-2 PES headers are not parsed. The decoder's
// video source and the start-code scanner both walk the file with it, so they agree on which
// raw bytes are video.
class SystemDemux {
 public:
  struct Step {
    size_t consumed = 0;        // bytes of the block walked, payload included
    size_t payload_offset = 0;  // where the video payload found lies in the block
    size_t payload_size = 0;    // 0 when none was found before the block ran out
  };

  // Walks the block from its start and stops after the first run of video payload.
  Step feed(std::span<const uint8_t> block);

  // The ISO 11172 end code was met: no more video follows.
  [[nodiscard]] bool ended() const { return state_ == State::kEnded; }
  // A system-layer error was met; error() holds its text. No more video follows.
  [[nodiscard]] bool failed() const { return state_ == State::kFailed; }
  [[nodiscard]] const std::string& error() const { return error_; }

 private:
  enum class State {
    kCode,           // reading a 32-bit code
    kSkip,           // passing over `count_` bytes
    kSkipLength,     // reading the 16-bit length of a packet to pass over
    kVideoLength,    // reading the 16-bit length of a video packet
    kVideoStuffing,  // stuffing bytes, then the STD or time-stamp flag byte
    kVideoStd,       // second byte of the STD buffer fields
    kVideoFlags,     // the flag byte after the STD buffer fields
    kVideoSkip,      // passing over the time stamps
    kPayload,
    kEnded,
    kFailed,
  };

  void fail(std::string text);
  void take_flag_byte(uint8_t byte);

  State state_ = State::kCode;
  uint32_t code_ = 0;
  int code_bytes_ = 0;
  uint64_t count_ = 0;      // bytes left to skip, or payload bytes left
  int64_t packet_left_ = 0; // bytes of the video packet not yet walked
  std::string error_;
};

}  // namespace tavik
