#include "input/transport_demux.h"

#include <algorithm>
#include <utility>

namespace tavik {

namespace {
constexpr uint8_t kSyncByte = 0x47;
constexpr size_t kPacketBody = 184;  // bytes after the 4-byte packet header
constexpr size_t kTimeCodeSize = 4;
constexpr int kAssociationPid = 0;
constexpr uint8_t kAssociationTable = 0x00;
constexpr uint8_t kProgramMapTable = 0x02;
constexpr size_t kMaxSection = 1024;
constexpr size_t kSectionHeader = 8;  // table id up to the last section number
constexpr size_t kCrcSize = 4;
constexpr size_t kMaxPids = 64;
constexpr uint8_t kStuffingByte = 0xFF;

// The name of a video stream type that is not read, or empty.
[[nodiscard]] std::string_view other_video_name(uint8_t type) {
  switch (type) {
    case 0x10:
      return "MPEG-4 Part 2 video";
    case 0x1B:
      return "H.264 video";
    case 0x24:
      return "H.265 video";
    case 0xEA:
      return "VC-1 video";
    default:
      return {};
  }
}

[[nodiscard]] bool is_mpeg_video_type(uint8_t type) {
  return type == 0x01 || type == 0x02;
}

[[nodiscard]] bool is_audio_type(uint8_t type) {
  switch (type) {
    case 0x03:  // MPEG-1 audio
    case 0x04:  // MPEG-2 audio
    case 0x0F:  // AAC
    case 0x11:  // AAC in LATM
    case 0x81:  // AC-3
    case 0x87:  // E-AC-3
      return true;
    default:
      return false;
  }
}

[[nodiscard]] bool holds(const std::vector<int>& pids, int pid) {
  return std::find(pids.begin(), pids.end(), pid) != pids.end();
}

// Adds a PID to a bounded list; false when it was there already or the list is full.
bool add_pid(std::vector<int>& pids, int pid) {
  if (holds(pids, pid) || pids.size() >= kMaxPids) return false;
  pids.push_back(pid);
  return true;
}
}  // namespace

TransportDemux::TransportDemux(Container container, Messages* warnings)
    : ContainerDemux(container, warnings),
      time_code_size_(container == Container::kTransport192 ? kTimeCodeSize : 0),
      state_(time_code_size_ != 0 ? State::kTimeCode : State::kSync),
      count_(time_code_size_) {
  section_.reserve(kMaxSection);
}

void TransportDemux::report(const char* what) {
  warn(format_text("Transport stream damaged at byte %llu: %s\n",
                   static_cast<unsigned long long>(packet_offset_), what));
}

void TransportDemux::next_packet() {
  state_ = time_code_size_ != 0 ? State::kTimeCode : State::kSync;
  count_ = time_code_size_;
}

void TransportDemux::start_packet() {
  const bool damaged = (header_[0] & 0x80) != 0;
  unit_start_ = (header_[0] & 0x40) != 0;
  pid_ = ((header_[0] & 0x1F) << 8) | header_[1];
  const int control = (header_[2] >> 4) & 3;
  counter_ = header_[2] & 0x0F;
  has_payload_ = (control & 1) != 0;
  discontinuity_ = false;
  packet_left_ = kPacketBody;
  if (observer_ != nullptr) observer_->transport_packet(packet_offset_, pid_);
  if (damaged) {
    // Its PID may be wrong too: the packet is dropped, and the gap it leaves is not reported
    // a second time.
    report("transport error indicator set");
    last_counter_ = -1;
    state_ = State::kSkip;
  } else if ((control & 2) != 0) {
    state_ = State::kAdaptationLength;
  } else {
    start_payload();
  }
}

void TransportDemux::start_payload() {
  state_ = State::kSkip;
  if (!has_payload_ || packet_left_ == 0) return;
  if (pid_ == origin_.stream) {
    if (last_counter_ >= 0 && !discontinuity_) {
      if (counter_ == last_counter_) return;  // a duplicate packet
      if (counter_ != ((last_counter_ + 1) & 15)) {
        report("packets lost (continuity counter gap)");
        // A packet header cut by the gap is not read on.
        if (pes_state_ != Pes::kPayload) pes_state_ = Pes::kIdle;
      }
    }
    last_counter_ = counter_;
    if (unit_start_) {
      pes_state_ = Pes::kStart;
      pes_start_bytes_ = 0;
    }
    state_ = State::kVideo;
  } else if (pid_ == kAssociationPid || holds(program_map_pids_, pid_)) {
    if (unit_start_) {
      pointer_due_ = true;
      if (section_pid_ != pid_) section_.clear();
    } else if (!collecting_ || section_pid_ != pid_) {
      return;
    }
    state_ = State::kSection;
  }
}

void TransportDemux::begin_section() {
  section_.clear();
  collecting_ = true;
  section_pid_ = pid_;
}

void TransportDemux::take_section_byte(uint8_t byte) {
  if (pointer_due_) {
    pointer_due_ = false;
    pointer_left_ = byte;
    if (pointer_left_ == 0) begin_section();
    return;
  }
  if (pointer_left_ > 0) {
    // The end of a section begun in an earlier packet.
    if (collecting_ && !section_.empty()) append_section_byte(byte);
    if (--pointer_left_ == 0) begin_section();
    return;
  }
  if (!collecting_) return;
  if (section_.empty() && byte == kStuffingByte) {
    collecting_ = false;
    return;
  }
  append_section_byte(byte);
}

void TransportDemux::append_section_byte(uint8_t byte) {
  section_.push_back(byte);
  if (section_.size() < 3) return;
  const size_t size = 3 + (size_t(section_[1] & 0x0F) << 8 | section_[2]);
  if (size > kMaxSection) {
    collecting_ = false;
    section_.clear();
  } else if (section_.size() == size) {
    parse_section();
    section_.clear();
  }
}

void TransportDemux::parse_section() {
  const std::vector<uint8_t>& s = section_;
  if (s.size() < kSectionHeader + kCrcSize) return;
  const size_t end = s.size() - kCrcSize;
  if (section_pid_ == kAssociationPid) {
    if (s[0] != kAssociationTable) return;
    for (size_t j = kSectionHeader; j + 4 <= end; j += 4) {
      const int program = s[j] << 8 | s[j + 1];
      const int pid = (s[j + 2] & 0x1F) << 8 | s[j + 3];
      if (program != 0 && pid != kAssociationPid && add_pid(program_map_pids_, pid) &&
          observer_ != nullptr) {
        observer_->program_map_pid(pid);
      }
    }
  } else if (s[0] == kProgramMapTable) {
    parse_program_map();
  }
}

void TransportDemux::parse_program_map() {
  const std::vector<uint8_t>& s = section_;
  constexpr size_t kFixed = kSectionHeader + 4;  // PCR PID and program info length
  if (s.size() < kFixed + kCrcSize) return;
  const size_t end = s.size() - kCrcSize;
  size_t j = kFixed + (size_t(s[10] & 0x0F) << 8 | s[11]);
  while (j + 5 <= end) {
    const uint8_t type = s[j];
    const int pid = (s[j + 1] & 0x1F) << 8 | s[j + 2];
    j += 5 + (size_t(s[j + 3] & 0x0F) << 8 | s[j + 4]);
    if (is_audio_type(type)) audio_seen_ = true;
    const bool mpeg_video = is_mpeg_video_type(type);
    const std::string_view other = other_video_name(type);
    if (!mpeg_video && other.empty()) continue;
    if (add_pid(video_pids_, pid)) origin_.video_streams = int32_t(video_pids_.size());
    if (mpeg_video && origin_.stream < 0 && pid != kAssociationPid) origin_.stream = pid;
    if (!mpeg_video && other_video_.empty()) other_video_ = other;
  }
}

void TransportDemux::take_pes_start_byte(uint8_t byte) {
  pes_start_[pes_start_bytes_++] = byte;
  if (pes_start_bytes_ < 6) return;
  const bool video = pes_start_[0] == 0 && pes_start_[1] == 0 && pes_start_[2] == 1 &&
                     (pes_start_[3] & 0xF0) == 0xE0;
  if (!video) {
    pes_state_ = Pes::kIdle;
    return;
  }
  const int length = pes_start_[4] << 8 | pes_start_[5];
  pes_left_ = length == 0 ? -1 : length;
  pes_.start();
  pes_state_ = Pes::kHeader;
}

void TransportDemux::pes_walked(size_t n) {
  if (pes_left_ >= 0) pes_left_ = std::max<int64_t>(pes_left_ - int64_t(n), 0);
}

ContainerDemux::Step TransportDemux::feed(std::span<const uint8_t> block) {
  Step step;
  size_t i = 0;
  const size_t n = block.size();
  // Bytes of the packet passed over whole.
  const auto pass = [&](size_t limit) {
    const size_t take = std::min({limit, packet_left_, n - i});
    i += take;
    packet_left_ -= take;
    return take;
  };
  while (i < n) {
    switch (state_) {
      case State::kTimeCode: {
        const size_t take = std::min(count_, n - i);
        i += take;
        count_ -= take;
        if (count_ == 0) state_ = State::kSync;
        continue;
      }
      case State::kSync:
        if (block[i] != kSyncByte) {
          if (!sync_lost_) {
            packet_offset_ = offset_ + i;
            report("sync byte missing");
            sync_lost_ = true;
            last_counter_ = -1;
          }
          ++i;
          continue;
        }
        sync_lost_ = false;
        packet_offset_ = offset_ + i;
        ++i;
        header_bytes_ = 0;
        state_ = State::kHeader;
        continue;
      case State::kHeader:
        header_[header_bytes_++] = block[i++];
        if (header_bytes_ == 3) start_packet();
        continue;
      case State::kAdaptationLength: {
        const size_t length = block[i++];
        --packet_left_;
        if (length > packet_left_) {
          state_ = State::kSkip;  // a broken adaptation field: the packet is dropped
        } else if (length == 0) {
          start_payload();
        } else {
          count_ = length;
          state_ = State::kAdaptationFlags;
        }
        break;
      }
      case State::kAdaptationFlags:
        discontinuity_ = (block[i++] & 0x80) != 0;
        --packet_left_;
        if (--count_ == 0) {
          start_payload();
        } else {
          state_ = State::kAdaptationSkip;
        }
        break;
      case State::kAdaptationSkip:
        count_ -= pass(count_);
        if (count_ == 0) start_payload();
        break;
      case State::kSection:
        take_section_byte(block[i++]);
        --packet_left_;
        break;
      case State::kSkip:
        pass(packet_left_);
        break;
      case State::kVideo:
        switch (pes_state_) {
          case Pes::kIdle:
            pass(packet_left_);
            break;
          case Pes::kStart:
            take_pes_start_byte(block[i++]);
            --packet_left_;
            break;
          case Pes::kHeader: {
            const auto result = pes_.take(block[i++]);
            --packet_left_;
            pes_walked(1);
            if (result == PesHeaderReader::Result::kBroken) {
              pes_state_ = Pes::kIdle;
            } else if (result == PesHeaderReader::Result::kDone) {
              pes_skip_ = pes_.skip();
              pes_state_ = pes_skip_ != 0 ? Pes::kHeaderSkip : Pes::kPayload;
              packet_start_ = true;
            }
            break;
          }
          case Pes::kHeaderSkip: {
            const size_t take = pass(pes_skip_);
            pes_skip_ -= take;
            pes_walked(take);
            if (pes_skip_ == 0) pes_state_ = Pes::kPayload;
            break;
          }
          case Pes::kPayload: {
            if (pes_left_ == 0) {
              pes_state_ = Pes::kIdle;  // the bounded packet is over
              break;
            }
            const size_t start = i;
            const size_t take = pass(pes_left_ < 0 ? packet_left_ : size_t(pes_left_));
            pes_walked(take);
            if (packet_left_ == 0) next_packet();
            step.payload_offset = start;
            step.payload_size = take;
            step.packet_start = std::exchange(packet_start_, false);
            step.stamps = pes_.stamps();
            step.consumed = i;
            offset_ += i;
            return step;
          }
        }
        break;
    }
    if (packet_left_ == 0) next_packet();
  }
  step.consumed = i;
  offset_ += i;
  return step;
}

}  // namespace tavik
