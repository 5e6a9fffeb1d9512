#include "support/system_stream_builder.h"

namespace tavik::test {

void SystemStreamBuilder::code(uint8_t id) {
  bytes_.insert(bytes_.end(), {0x00, 0x00, 0x01, id});
}

void SystemStreamBuilder::length(size_t n) {
  bytes_.push_back(static_cast<uint8_t>(n >> 8));
  bytes_.push_back(static_cast<uint8_t>(n));
}

SystemStreamBuilder& SystemStreamBuilder::pack() {
  code(0xBA);
  // SCR with its marker bits, then the mux rate.
  bytes_.insert(bytes_.end(), {0x21, 0x00, 0x01, 0x00, 0x01, 0x80, 0x1B, 0x91});
  return *this;
}

SystemStreamBuilder& SystemStreamBuilder::other_packet(uint8_t stream_id, size_t n, uint8_t fill) {
  code(stream_id);
  length(n);
  bytes_.insert(bytes_.end(), n, fill);
  return *this;
}

SystemStreamBuilder& SystemStreamBuilder::video_packet(std::span<const uint8_t> payload,
                                                       int stuffing, bool std_fields,
                                                       TimeStamps time_stamps) {
  std::vector<uint8_t> header(static_cast<size_t>(stuffing), 0xFF);
  if (std_fields) header.insert(header.end(), {0x60, 0x2E});
  switch (time_stamps) {
    case TimeStamps::kNone:
      header.push_back(0x0F);
      break;
    case TimeStamps::kPts:
      header.insert(header.end(), {0x21, 0x00, 0x01, 0x00, 0x01});
      break;
    case TimeStamps::kPtsDts:
      header.insert(header.end(), {0x31, 0x00, 0x01, 0x00, 0x01, 0x11, 0x00, 0x01, 0x00, 0x01});
      break;
  }
  return raw_video_packet(header, payload);
}

SystemStreamBuilder& SystemStreamBuilder::raw_video_packet(std::span<const uint8_t> header,
                                                           std::span<const uint8_t> payload) {
  code(0xE0);
  length(header.size() + payload.size());
  bytes_.insert(bytes_.end(), header.begin(), header.end());
  bytes_.insert(bytes_.end(), payload.begin(), payload.end());
  video_.insert(video_.end(), payload.begin(), payload.end());
  return *this;
}

SystemStreamBuilder& SystemStreamBuilder::end() {
  code(0xB9);
  return *this;
}

SystemStreamBuilder& SystemStreamBuilder::raw(std::span<const uint8_t> bytes) {
  bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
  return *this;
}

}  // namespace tavik::test
