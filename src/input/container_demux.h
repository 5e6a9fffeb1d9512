#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "base/messages.h"
#include "input/pes_header.h"
#include "input/video_origin.h"

namespace tavik {

// Told where the container's own units begin, as a demultiplexer walks them; offsets are in
// the input the demultiplexer is fed.
class ContainerObserver {
 public:
  virtual ~ContainerObserver() = default;
  // A pack header, system header, packet or end code of a system or program stream; `code` is
  // its start code's last byte.
  virtual void system_unit(uint64_t offset, uint8_t code) {}
  // A transport packet's sync byte, and the packet's PID.
  virtual void transport_packet(uint64_t offset, int pid) {}
  // The program association table named a PID that carries a program map table.
  virtual void program_map_pid(int pid) {}
};

// Finds the payload of one video stream in the raw bytes of a container, given in blocks of
// any size. The decoder's video source and the start-code scanner both walk the file with one,
// so they agree on which raw bytes are video.
class ContainerDemux {
 public:
  struct Step {
    size_t consumed = 0;        // bytes of the block walked, payload included
    size_t payload_offset = 0;  // where the video payload found lies in the block
    size_t payload_size = 0;    // 0 when none was found before the block ran out
    // The payload is the first of a packet, whose header carried these time stamps.
    bool packet_start = false;
    PesStamps stamps;
  };

  // `warnings` receives the damage met (transport streams); null keeps quiet.
  explicit ContainerDemux(Container container, Messages* warnings)
      : warnings_(warnings), origin_{container} {}
  virtual ~ContainerDemux() = default;

  // Told of every unit from then on (null: none).
  void set_observer(ContainerObserver* observer) { observer_ = observer; }

  // Walks the block from its start and stops after the first run of video payload.
  virtual Step feed(std::span<const uint8_t> block) = 0;

  // The container's end code was met: no more video follows.
  [[nodiscard]] bool ended() const { return outcome_ == Outcome::kEnded; }
  // The container's layer is broken; error() holds the text. No more video follows.
  [[nodiscard]] bool failed() const { return outcome_ == Outcome::kFailed; }
  [[nodiscard]] const std::string& error() const { return error_; }

  // The chosen video stream and the number of video streams seen so far.
  [[nodiscard]] const VideoOrigin& origin() const { return origin_; }
  // Audio streams were declared or carried.
  [[nodiscard]] bool audio_seen() const { return audio_seen_; }
  // The first video stream of a kind that is not read ("H.264 video"), or empty.
  [[nodiscard]] std::string_view other_video() const { return other_video_; }

 protected:
  [[nodiscard]] bool stopped() const { return outcome_ != Outcome::kRunning; }
  void end() { outcome_ = Outcome::kEnded; }
  void fail(std::string text) {
    outcome_ = Outcome::kFailed;
    error_ = std::move(text);
  }
  void warn(std::string_view text) {
    if (warnings_ != nullptr) warnings_->err(text);
  }

  Messages* warnings_;
  ContainerObserver* observer_ = nullptr;
  VideoOrigin origin_;
  bool audio_seen_ = false;
  std::string_view other_video_;

 private:
  enum class Outcome { kRunning, kEnded, kFailed };
  Outcome outcome_ = Outcome::kRunning;
  std::string error_;
};

// The demultiplexer of a container; null for an elementary stream.
[[nodiscard]] std::unique_ptr<ContainerDemux> make_demux(Container container,
                                                         Messages* warnings = nullptr);

}  // namespace tavik
