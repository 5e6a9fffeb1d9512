#include "decoder/system_demux.h"

#include <algorithm>

#include "analysis/messages.h"

namespace tavik {

namespace {
constexpr uint32_t kEndCode = 0x000001B9;
constexpr uint32_t kPackCode = 0x000001BA;
constexpr uint32_t kSystemHeaderCode = 0x000001BB;
constexpr uint32_t kVideoStream0 = 0x000001E0;
constexpr uint64_t kPackHeaderRest = 8;  // system clock reference and mux rate
}  // namespace

void SystemDemux::fail(std::string text) {
  state_ = State::kFailed;
  error_ = std::move(text);
}

void SystemDemux::take_flag_byte(uint8_t byte) {
  if (byte >= 0x30 && byte <= 0x3F) {
    count_ = 9;  // presentation and decoding time stamps
    state_ = State::kVideoSkip;
  } else if (byte >= 0x20 && byte <= 0x2F) {
    count_ = 4;  // presentation time stamp
    state_ = State::kVideoSkip;
  } else if (byte == 0x0F) {
    count_ = static_cast<uint64_t>(std::max<int64_t>(packet_left_, 0));
    state_ = State::kPayload;
  } else {
    fail("Error in packet header\n");
  }
}

SystemDemux::Step SystemDemux::feed(std::span<const uint8_t> block) {
  Step step;
  size_t i = 0;
  const size_t n = block.size();
  while (i < n) {
    switch (state_) {
      case State::kEnded:
      case State::kFailed:
        step.consumed = n;
        return step;
      case State::kCode:
        code_ = (code_ << 8) | block[i++];
        if (++code_bytes_ < 4) break;
        code_bytes_ = 0;
        if (code_ == kEndCode) {
          state_ = State::kEnded;
        } else if (code_ == kPackCode) {
          count_ = kPackHeaderRest;
          state_ = State::kSkip;
        } else if (code_ == kVideoStream0) {
          state_ = State::kVideoLength;
        } else if (code_ >= kSystemHeaderCode) {
          state_ = State::kSkipLength;
        } else {
          fail(format_text("Unexpected startcode %08x in system layer\n", code_));
        }
        count_ = (state_ == State::kSkip) ? count_ : 0;
        break;
      case State::kSkip: {
        const uint64_t take = std::min<uint64_t>(count_, n - i);
        i += take;
        count_ -= take;
        if (count_ == 0) state_ = State::kCode;
        break;
      }
      case State::kSkipLength:
      case State::kVideoLength:
        count_ = (count_ << 8) | block[i++];
        if (++code_bytes_ < 2) break;
        code_bytes_ = 0;
        if (state_ == State::kSkipLength) {
          state_ = count_ == 0 ? State::kCode : State::kSkip;
        } else {
          packet_left_ = static_cast<int64_t>(count_);
          count_ = 0;
          state_ = State::kVideoStuffing;
        }
        break;
      case State::kVideoStuffing: {
        const uint8_t byte = block[i++];
        --packet_left_;
        if (byte == 0xFF) break;
        if (byte >= 0x40 && byte <= 0x7F) {
          state_ = State::kVideoStd;
        } else {
          take_flag_byte(byte);
        }
        break;
      }
      case State::kVideoStd:
        ++i;
        --packet_left_;
        state_ = State::kVideoFlags;
        break;
      case State::kVideoFlags:
        --packet_left_;
        take_flag_byte(block[i++]);
        break;
      case State::kVideoSkip: {
        const uint64_t take = std::min<uint64_t>(count_, n - i);
        i += take;
        count_ -= take;
        packet_left_ -= static_cast<int64_t>(take);
        if (count_ == 0) {
          count_ = static_cast<uint64_t>(std::max<int64_t>(packet_left_, 0));
          state_ = State::kPayload;
        }
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
        i += take;
        count_ -= take;
        if (count_ == 0) state_ = State::kCode;
        step.consumed = i;
        return step;
      }
    }
  }
  // A video packet whose payload is empty must not leave the walk waiting in the payload state.
  if (state_ == State::kPayload && count_ == 0) state_ = State::kCode;
  step.consumed = i;
  return step;
}

}  // namespace tavik
