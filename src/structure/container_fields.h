#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "input/random_access.h"

namespace tavik {

// One field of a container's unit as read from the file: its name in ISO/IEC 13818-1 (or
// 11172-1), its value and where its bits lie in the file.
struct ContainerField {
  const char* name = "";
  int64_t value = 0;
  uint64_t bit_offset = 0;
  uint32_t bits = 0;
};

// The fields of the transport packet at `offset` (its time code first in a 192-byte packet),
// and of the packet header that begins in its payload.
[[nodiscard]] std::vector<ContainerField> transport_packet_fields(const RandomAccess& file,
                                                                  uint64_t offset,
                                                                  uint64_t packet_size);
// The fields of the pack header, system header or packet header whose start code is at
// `offset`; `bytes` is set to the unit's length where its header tells it (0 otherwise).
[[nodiscard]] std::vector<ContainerField> system_unit_fields(const RandomAccess& file,
                                                             uint64_t offset, uint64_t& bytes);

// The value of the field of that name, or -1.
[[nodiscard]] int64_t field_value(const std::vector<ContainerField>& fields, const char* name);

// "pack_header", "system_header", "PES_packet 0xE0", "program_end_code" ...
[[nodiscard]] std::string system_unit_name(uint8_t code);

}  // namespace tavik
