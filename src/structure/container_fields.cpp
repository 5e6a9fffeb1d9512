#include "structure/container_fields.h"

#include <array>
#include <cstring>

#include "base/messages.h"

namespace tavik {

namespace {

constexpr size_t kMostHeaderBytes = 320;
constexpr uint8_t kPackCode = 0xBA;
constexpr uint8_t kSystemHeaderCode = 0xBB;
constexpr uint8_t kEndCode = 0xB9;
constexpr uint8_t kPaddingStream = 0xBE;
constexpr uint8_t kPrivateStream2 = 0xBF;

// Reads fields from bytes of the file that begin at `base`; past the bytes it reads zeros and
// reports that it ran out.
class FieldReader {
 public:
  FieldReader(const std::vector<uint8_t>& bytes, uint64_t base) : bytes_(bytes), base_(base) {}

  int64_t peek(uint32_t bits) const {
    int64_t value = 0;
    for (uint32_t i = 0; i < bits; ++i) {
      const uint64_t at = (bit_ + i) / 8;
      const int bit = at < bytes_.size() ? (bytes_[at] >> (7 - (bit_ + i) % 8)) & 1 : 0;
      value = value << 1 | bit;
    }
    return value;
  }
  int64_t read(std::vector<ContainerField>& fields, const char* name, uint32_t bits) {
    const int64_t value = peek(bits);
    fields.push_back({name, value, base_ * 8 + bit_, bits});
    bit_ += bits;
    return value;
  }
  // A time stamp: 3 + 15 + 15 bits, each part followed by a marker bit, in `bits` bits in all
  // from the current position (its 4-bit prefix already read).
  void time_stamp(std::vector<ContainerField>& fields, const char* name) {
    const uint64_t at = bit_;
    const int64_t high = peek(3);
    bit_ += 4;
    const int64_t middle = peek(15);
    bit_ += 16;
    const int64_t low = peek(15);
    bit_ += 16;
    fields.push_back({name, high << 30 | middle << 15 | low, base_ * 8 + at, 36});
  }
  void skip(uint64_t bits) { bit_ += bits; }
  [[nodiscard]] uint64_t byte() const { return bit_ / 8; }
  [[nodiscard]] bool ran_out() const { return bit_ > bytes_.size() * 8; }

 private:
  const std::vector<uint8_t>& bytes_;
  uint64_t base_;
  uint64_t bit_ = 0;
};

std::vector<uint8_t> bytes_at(const RandomAccess& file, uint64_t offset, size_t size) {
  std::vector<uint8_t> bytes(size);
  bytes.resize(file.read_at(offset, bytes));
  return bytes;
}

// A packet header's fields after its length: the ISO/IEC 13818-1 form (two flag bytes and the
// header data length) or the ISO/IEC 11172-1 form (stuffing, STD buffer, time stamps).
void packet_header_fields(FieldReader& r, std::vector<ContainerField>& fields) {
  if (r.peek(2) == 2) {
    r.read(fields, "'10'", 2);
    r.read(fields, "PES_scrambling_control", 2);
    r.read(fields, "PES_priority", 1);
    r.read(fields, "data_alignment_indicator", 1);
    r.read(fields, "copyright", 1);
    r.read(fields, "original_or_copy", 1);
    const int64_t flags = r.read(fields, "PTS_DTS_flags", 2);
    r.read(fields, "ESCR_flag", 1);
    r.read(fields, "ES_rate_flag", 1);
    r.read(fields, "DSM_trick_mode_flag", 1);
    r.read(fields, "additional_copy_info_flag", 1);
    r.read(fields, "PES_CRC_flag", 1);
    r.read(fields, "PES_extension_flag", 1);
    r.read(fields, "PES_header_data_length", 8);
    if ((flags & 2) != 0) {
      r.skip(4);
      r.time_stamp(fields, "PTS");
    }
    if (flags == 3) {
      r.skip(4);
      r.time_stamp(fields, "DTS");
    }
    return;
  }
  int stuffing = 0;
  while (r.peek(8) == 0xFF && stuffing < 16) {
    r.skip(8);
    ++stuffing;
  }
  if (r.peek(2) == 1) {
    r.skip(2);
    r.read(fields, "STD_buffer_scale", 1);
    r.read(fields, "STD_buffer_size", 13);
  }
  const int64_t prefix = r.peek(4);
  if (prefix == 2 || prefix == 3) {
    r.skip(4);
    r.time_stamp(fields, "PTS");
    if (prefix == 3) {
      r.skip(4);
      r.time_stamp(fields, "DTS");
    }
  }
}

}  // namespace

int64_t field_value(const std::vector<ContainerField>& fields, const char* name) {
  for (const ContainerField& field : fields) {
    if (std::strcmp(field.name, name) == 0) return field.value;
  }
  return -1;
}

std::string system_unit_name(uint8_t code) {
  switch (code) {
    case kPackCode:
      return "pack_header";
    case kSystemHeaderCode:
      return "system_header";
    case kEndCode:
      return "end_code";
    default:
      return format_text("PES_packet 0x%02X", code);
  }
}

std::vector<ContainerField> transport_packet_fields(const RandomAccess& file, uint64_t offset,
                                                    uint64_t packet_size) {
  const std::vector<uint8_t> bytes = bytes_at(file, offset, size_t(packet_size));
  FieldReader r(bytes, offset);
  std::vector<ContainerField> fields;
  if (packet_size > 188) {
    r.read(fields, "copy_permission_indicator", 2);
    r.read(fields, "arrival_time_stamp", 30);
  }
  r.read(fields, "sync_byte", 8);
  r.read(fields, "transport_error_indicator", 1);
  const int64_t unit_start = r.read(fields, "payload_unit_start_indicator", 1);
  r.read(fields, "transport_priority", 1);
  r.read(fields, "PID", 13);
  r.read(fields, "transport_scrambling_control", 2);
  const int64_t control = r.read(fields, "adaptation_field_control", 2);
  r.read(fields, "continuity_counter", 4);
  if ((control & 2) != 0) {
    const int64_t length = r.read(fields, "adaptation_field_length", 8);
    if (length > 0) r.read(fields, "discontinuity_indicator", 1);
    r.skip(uint64_t(length) * 8 - (length > 0 ? 1 : 0));
  }
  if ((control & 1) != 0 && unit_start != 0 && r.byte() + 9 <= bytes.size() && r.peek(24) == 1) {
    r.read(fields, "packet_start_code_prefix", 24);
    r.read(fields, "stream_id", 8);
    r.read(fields, "PES_packet_length", 16);
    packet_header_fields(r, fields);
  }
  if (bytes.size() < packet_size)
    fields.push_back({"damaged: the packet is cut", 0, offset * 8, 0});
  return fields;
}

std::vector<ContainerField> system_unit_fields(const RandomAccess& file, uint64_t offset,
                                               uint64_t& bytes_out) {
  const std::vector<uint8_t> bytes = bytes_at(file, offset, kMostHeaderBytes);
  FieldReader r(bytes, offset);
  std::vector<ContainerField> fields;
  bytes_out = 0;
  r.read(fields, "start_code", 32);
  const uint8_t code = bytes.size() >= 4 ? bytes[3] : 0;
  if (code == kEndCode) {
    bytes_out = 4;
  } else if (code == kPackCode) {
    if (r.peek(2) == 1) {
      r.skip(2);
      const int64_t high = r.peek(3);
      r.skip(4);
      const int64_t middle = r.peek(15);
      r.skip(16);
      const int64_t low = r.peek(15);
      r.skip(16);
      fields.push_back(
          {"system_clock_reference_base", high << 30 | middle << 15 | low, offset * 8 + 34, 36});
      r.read(fields, "system_clock_reference_extension", 9);
      r.skip(1);
      r.read(fields, "program_mux_rate", 22);
      r.skip(7);
      const int64_t stuffing = r.read(fields, "pack_stuffing_length", 3);
      bytes_out = 14 + uint64_t(stuffing);
    } else {
      r.skip(4);
      r.time_stamp(fields, "system_clock_reference");
      r.skip(1);
      r.read(fields, "mux_rate", 22);
      bytes_out = 12;
    }
  } else {
    const int64_t length =
        r.read(fields, code == kSystemHeaderCode ? "header_length" : "PES_packet_length", 16);
    bytes_out = 6 + uint64_t(length);
    if (code == kSystemHeaderCode) {
      r.skip(1);
      r.read(fields, "rate_bound", 22);
      r.skip(1);
      r.read(fields, "audio_bound", 6);
      r.skip(2);
      r.skip(1);
      r.read(fields, "video_bound", 5);
      r.skip(8);
      while (r.byte() + 3 <= 6 + uint64_t(length) && r.peek(1) == 1 &&
             r.byte() + 3 <= bytes.size()) {
        r.read(fields, "stream_id", 8);
        r.skip(16);
      }
    } else if (code != kPaddingStream && code != kPrivateStream2) {
      packet_header_fields(r, fields);
    }
  }
  if (r.ran_out()) fields.push_back({"damaged: the header is cut", 0, offset * 8, 0});
  return fields;
}

}  // namespace tavik
