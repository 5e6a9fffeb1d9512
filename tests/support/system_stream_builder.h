#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace tavik::test {

// Builds ISO/IEC 11172-1 system streams byte by byte for the demultiplexer's tests.
class SystemStreamBuilder {
 public:
  // Time stamps carried by a video packet header.
  enum class TimeStamps { kNone, kPts, kPtsDts };

  // Pack start code, system clock reference and mux rate (12 bytes).
  SystemStreamBuilder& pack();
  // A packet of any stream passed over whole (system header 0xBB, padding 0xBE, audio 0xC0 …).
  SystemStreamBuilder& other_packet(uint8_t stream_id, size_t length, uint8_t fill = 0xAB);
  // A packet of video stream 0 with an ISO/IEC 11172-1 packet header.
  SystemStreamBuilder& video_packet(std::span<const uint8_t> payload, int stuffing = 0,
                                    bool std_fields = false,
                                    TimeStamps time_stamps = TimeStamps::kNone);
  // A video packet whose header is given raw (for broken or MPEG-2 headers).
  SystemStreamBuilder& raw_video_packet(std::span<const uint8_t> header,
                                        std::span<const uint8_t> payload);
  // The ISO 11172 end code.
  SystemStreamBuilder& end();
  SystemStreamBuilder& raw(std::span<const uint8_t> bytes);

  [[nodiscard]] const std::vector<uint8_t>& bytes() const { return bytes_; }
  // The video payload put in so far, in order.
  [[nodiscard]] const std::vector<uint8_t>& video() const { return video_; }

 private:
  void code(uint8_t id);
  void length(size_t n);

  std::vector<uint8_t> bytes_;
  std::vector<uint8_t> video_;
};

}  // namespace tavik::test
