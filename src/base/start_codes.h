#pragma once

#include <cstdint>

namespace tavik {

// Start codes of the video elementary stream (ISO/IEC 13818-2 Table 6-1) and the pack start
// code of the system layer.
inline constexpr uint32_t kPictureStartCode = 0x00000100;
inline constexpr uint32_t kFirstSliceStartCode = 0x00000101;
inline constexpr uint32_t kLastSliceStartCode = 0x000001AF;
inline constexpr uint32_t kUserDataStartCode = 0x000001B2;
inline constexpr uint32_t kSequenceHeaderCode = 0x000001B3;
inline constexpr uint32_t kExtensionStartCode = 0x000001B5;
inline constexpr uint32_t kSequenceEndCode = 0x000001B7;
inline constexpr uint32_t kGroupStartCode = 0x000001B8;
inline constexpr uint32_t kPackStartCode = 0x000001BA;

[[nodiscard]] constexpr bool is_slice_start_code(uint32_t code) {
  return code >= kFirstSliceStartCode && code <= kLastSliceStartCode;
}

}  // namespace tavik
