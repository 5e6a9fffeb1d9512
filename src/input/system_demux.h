#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "input/container_demux.h"
#include "input/pes_header.h"

namespace tavik {

// Follows the pack and packet layer of an ISO/IEC 11172-1 system stream or an ISO/IEC 13818-1
// program stream and finds the payload of the video stream 0xE0, or of the first video stream
// met when the system header does not declare 0xE0. The layer must be aligned on its start
// codes; zero bytes before a start code are passed over. A broken layer ends a system stream
// with the error; a program stream is read on from the next pack, with a warning.
class SystemDemux final : public ContainerDemux {
 public:
  explicit SystemDemux(Container container = Container::kSystem, Messages* warnings = nullptr)
      : ContainerDemux(container, warnings) {}

  Step feed(std::span<const uint8_t> block) override;

 private:
  enum class State {
    kCode,          // reading a 32-bit code
    kPackFirst,     // the first byte after the pack start code tells the pack header's form
    kPackStuffing,  // the byte holding the pack stuffing length
    kSkip,          // passing over `count_` bytes, then on to `after_skip_`
    kLength,        // reading the 16-bit length of a packet
    kSystemHeader,  // the system header's bytes, for the streams it declares
    kVideoHeader,   // the header of a packet of the chosen video stream
    kVideoHeaderSkip,
    kPayload,
    kResync,  // looking for the next pack start code
  };
  enum class Packet { kOther, kSystemHeader, kVideo };

  void take_code(uint64_t at);
  void damaged(uint64_t at, std::string text);
  void take_length();
  void note_stream(uint8_t id);
  void start_payload();

  State state_ = State::kCode;
  State after_skip_ = State::kCode;
  Packet packet_ = Packet::kOther;
  uint64_t offset_ = 0;  // bytes fed before the current block
  uint32_t code_ = 0;
  int code_bytes_ = 0;
  uint64_t count_ = 0;       // bytes left to skip, or payload bytes left
  int64_t packet_left_ = 0;  // bytes of the packet not yet walked
  uint32_t header_index_ = 0;
  uint16_t video_ids_ = 0;  // bit i: video stream 0xE0 + i declared or met
  PesHeaderReader pes_;
  bool packet_start_ = false;  // the payload due is the first of its packet
};

}  // namespace tavik
