#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "input/container_demux.h"
#include "input/pes_header.h"

namespace tavik {

// Follows an ISO/IEC 13818-1 transport stream (188-byte packets, or 192-byte packets with a
// time code in front) and finds the payload of the first MPEG-1 or MPEG-2 video stream that the
// program association and program map tables name. Packets lost (a continuity counter gap) or
// marked as damaged are reported once each; the video then goes on with the next packet.
class TransportDemux final : public ContainerDemux {
 public:
  TransportDemux(Container container, Messages* warnings);

  Step feed(std::span<const uint8_t> block) override;

 private:
  enum class State {
    kTimeCode,  // the 4 bytes in front of a 192-byte packet
    kSync,
    kHeader,  // the three bytes after the sync byte
    kAdaptationLength,
    kAdaptationFlags,
    kAdaptationSkip,
    kSection,  // payload of the program association table or a program map table
    kVideo,    // payload of the chosen video stream
    kSkip,     // the rest of the packet
  };
  enum class Pes { kIdle, kStart, kHeader, kHeaderSkip, kPayload };

  void next_packet();
  void start_packet();
  void start_payload();
  void begin_section();
  void take_section_byte(uint8_t byte);
  void append_section_byte(uint8_t byte);
  void parse_section();
  void parse_program_map();
  void take_pes_start_byte(uint8_t byte);
  void pes_walked(size_t n);
  void report(const char* what);

  const size_t time_code_size_;
  State state_;
  uint64_t offset_ = 0;         // bytes fed before the current block
  uint64_t packet_offset_ = 0;  // where the current packet's sync byte lies
  bool sync_lost_ = false;
  uint8_t header_[3] = {};
  int header_bytes_ = 0;
  size_t count_ = 0;        // time code or adaptation field bytes left
  size_t packet_left_ = 0;  // bytes of the packet after the current one
  // The current packet's header fields.
  int pid_ = 0;
  int counter_ = 0;
  bool unit_start_ = false;
  bool has_payload_ = false;
  bool discontinuity_ = false;

  // The chosen video stream's continuity and packet assembly.
  int last_counter_ = -1;
  Pes pes_state_ = Pes::kIdle;
  uint8_t pes_start_[6] = {};
  int pes_start_bytes_ = 0;
  int64_t pes_left_ = -1;  // bytes of a bounded packet not yet walked; -1: unbounded
  size_t pes_skip_ = 0;
  PesHeaderReader pes_;
  bool packet_start_ = false;  // the payload due is the first of its packet

  // Table sections: the program map PIDs, the section being assembled and its PID.
  std::vector<int> program_map_pids_;
  std::vector<int> video_pids_;
  std::vector<uint8_t> section_;
  int section_pid_ = -1;
  bool collecting_ = false;
  bool pointer_due_ = false;  // the next payload byte is a pointer field
  int pointer_left_ = 0;      // bytes of an earlier section before the next section starts
};

}  // namespace tavik
