#include "input/system_demux.h"

#include <algorithm>
#include <bit>
#include <utility>

namespace tavik {

namespace {
constexpr uint32_t kEndCode = 0x000001B9;
constexpr uint32_t kPackCode = 0x000001BA;
constexpr uint32_t kSystemHeaderCode = 0x000001BB;
constexpr uint8_t kSystemHeaderId = 0xBB;
constexpr uint8_t kPrivateStream1 = 0xBD;
constexpr uint8_t kFirstVideoId = 0xE0;
constexpr uint64_t kMpeg1PackRest = 7;      // after the first byte: clock reference and mux rate
constexpr uint64_t kMpeg2PackRest = 8;      // up to the byte with the stuffing length
constexpr uint32_t kSystemHeaderFixed = 6;  // rate bound, bounds and flags before the streams
constexpr uint32_t kStreamEntrySize = 3;

[[nodiscard]] bool is_video_id(uint8_t id) {
  return (id & 0xF0) == kFirstVideoId;
}
[[nodiscard]] bool is_audio_id(uint8_t id) {
  return (id >= 0xC0 && id <= 0xDF) || id == kPrivateStream1;
}
}  // namespace

void SystemDemux::note_stream(uint8_t id) {
  if (is_audio_id(id)) audio_seen_ = true;
  if (!is_video_id(id)) return;
  video_ids_ |= uint16_t(1u << (id & 0x0F));
  origin_.video_streams = std::popcount(video_ids_);
}

void SystemDemux::damaged(uint64_t at, std::string text) {
  if (origin_.container != Container::kProgram) {
    fail(std::move(text));
    return;
  }
  warn(format_text("Program stream damaged at byte %llu: ", static_cast<unsigned long long>(at)) +
       text);
  code_ = 0;
  state_ = State::kResync;
}

void SystemDemux::take_code(uint64_t at) {
  if (observer_ != nullptr && (code_ >> 8) == 1) observer_->system_unit(at, uint8_t(code_));
  if (code_ == kEndCode) {
    end();
    return;
  }
  if (code_ == kPackCode) {
    state_ = State::kPackFirst;
    return;
  }
  // Any code from the system header code up is a packet in a system stream; a program stream
  // needs the start code prefix too.
  if (code_ < kSystemHeaderCode ||
      (origin_.container == Container::kProgram && (code_ >> 8) != 1)) {
    damaged(at, format_text("Unexpected startcode %08x in system layer\n", code_));
    return;
  }
  packet_ = Packet::kOther;
  if ((code_ >> 8) == 1) {
    const auto id = static_cast<uint8_t>(code_);
    note_stream(id);
    if (id == kSystemHeaderId) packet_ = Packet::kSystemHeader;
    if (is_video_id(id)) {
      // Stream 0xE0 when the system header declares it, else the first video stream met.
      if (origin_.stream < 0) origin_.stream = (video_ids_ & 1) != 0 ? kFirstVideoId : id;
      if (id == origin_.stream) packet_ = Packet::kVideo;
    }
  }
  count_ = 0;
  state_ = State::kLength;
}

void SystemDemux::take_length() {
  packet_left_ = static_cast<int64_t>(count_);
  switch (packet_) {
    case Packet::kOther:
      state_ = count_ == 0 ? State::kCode : State::kSkip;
      break;
    case Packet::kSystemHeader:
      header_index_ = 0;
      state_ = count_ == 0 ? State::kCode : State::kSystemHeader;
      break;
    case Packet::kVideo:
      pes_.start();
      state_ = State::kVideoHeader;
      break;
  }
}

void SystemDemux::start_payload() {
  count_ = static_cast<uint64_t>(std::max<int64_t>(packet_left_, 0));
  state_ = State::kPayload;
  packet_start_ = true;
}

ContainerDemux::Step SystemDemux::feed(std::span<const uint8_t> block) {
  Step step;
  size_t i = 0;
  const size_t n = block.size();
  while (i < n) {
    if (stopped()) {
      step.consumed = n;
      offset_ += n;
      return step;
    }
    switch (state_) {
      case State::kCode:
        code_ = (code_ << 8) | block[i++];
        if (++code_bytes_ < 4) break;
        // Zero bytes written between packs: wait for the prefix to complete.
        if (code_ <= 1) {
          code_bytes_ = 3;
          break;
        }
        code_bytes_ = 0;
        take_code(offset_ + i - 4);
        break;
      case State::kPackFirst: {
        const bool mpeg2 = (block[i++] >> 6) == 1;
        count_ = mpeg2 ? kMpeg2PackRest : kMpeg1PackRest;
        after_skip_ = mpeg2 ? State::kPackStuffing : State::kCode;
        state_ = State::kSkip;
        break;
      }
      case State::kPackStuffing:
        count_ = block[i++] & 7;
        state_ = count_ == 0 ? State::kCode : State::kSkip;
        break;
      case State::kSkip: {
        const uint64_t take = std::min<uint64_t>(count_, n - i);
        i += take;
        count_ -= take;
        if (count_ == 0) {
          state_ = after_skip_;
          after_skip_ = State::kCode;
        }
        break;
      }
      case State::kLength:
        count_ = (count_ << 8) | block[i++];
        if (++code_bytes_ < 2) break;
        code_bytes_ = 0;
        take_length();
        break;
      case State::kSystemHeader: {
        const uint32_t index = header_index_++;
        const uint8_t byte = block[i++];
        if (index >= kSystemHeaderFixed && (index - kSystemHeaderFixed) % kStreamEntrySize == 0) {
          note_stream(byte);
        }
        if (--packet_left_ == 0) state_ = State::kCode;
        break;
      }
      case State::kVideoHeader: {
        --packet_left_;
        const auto result = pes_.take(block[i++]);
        if (result == PesHeaderReader::Result::kBroken) {
          damaged(offset_ + i - 1, "Error in packet header\n");
        } else if (result == PesHeaderReader::Result::kDone) {
          count_ = pes_.skip();
          if (count_ == 0) {
            start_payload();
          } else {
            state_ = State::kVideoHeaderSkip;
          }
        }
        break;
      }
      case State::kVideoHeaderSkip: {
        const uint64_t take = std::min<uint64_t>(count_, n - i);
        i += take;
        count_ -= take;
        packet_left_ -= static_cast<int64_t>(take);
        if (count_ == 0) start_payload();
        break;
      }
      case State::kPayload: {
        if (count_ == 0) {
          state_ = State::kCode;
          break;
        }
        const uint64_t take = std::min<uint64_t>(count_, n - i);
        step.payload_offset = i;
        step.payload_size = take;
        step.packet_start = std::exchange(packet_start_, false);
        step.stamps = pes_.stamps();
        i += take;
        count_ -= take;
        if (count_ == 0) state_ = State::kCode;
        step.consumed = i;
        offset_ += i;
        return step;
      }
      case State::kResync:
        code_ = (code_ << 8) | block[i++];
        if (code_ == kPackCode) {
          if (observer_ != nullptr) observer_->system_unit(offset_ + i - 4, uint8_t(code_));
          state_ = State::kPackFirst;
        }
        break;
    }
  }
  // A video packet whose payload is empty must not leave the walk waiting in the payload state.
  if (state_ == State::kPayload && count_ == 0) state_ = State::kCode;
  step.consumed = i;
  offset_ += i;
  return step;
}

}  // namespace tavik
