#pragma once

#include <array>
#include <cstdint>

#include "decoder/syntax/decoder_state.h"

namespace tavik {

// Look-up tables of the variable-length codes of the macroblock and block layers
// (ISO/IEC 13818-2 Annex B, ISO/IEC 11172-2 Annex B). Each table is indexed by a fixed number
// of leading bits of the window, minus the index of its first entry; a code shorter than the
// index fills every entry that begins with it.

// One entry of a value table: the decoded value and the code length; length 0 marks bits that
// begin no code.
struct VlcEntry {
  uint8_t value = 0;
  uint8_t length = 0;
};

// A value table and the number of leading bits that index it (from entry 0).
struct VlcLookup {
  const VlcEntry* entries;
  int index_bits;
};

// macroblock_address_increment (Table B-1), from the next 11 bits v: v >= 128 index the short
// table by v >> 6, v >= 24 the long table by v; below 24 are escape, stuffing and invalid bits.
inline constexpr int kAddressIncrementShortFirst = 2;
inline constexpr int kAddressIncrementLongFirst = 24;
inline constexpr uint32_t kMacroblockEscape = 0b0000'0001'000;
inline constexpr uint32_t kMacroblockStuffing = 0b0000'0001'111;
inline constexpr int kMacroblockEscapeIncrement = 33;
extern const std::array<VlcEntry, 30> kAddressIncrementShort;
extern const std::array<VlcEntry, 104> kAddressIncrementLong;

// macroblock_type by picture_coding_type 1..4: I (Table B-2), P (B-3), B (B-4), and the one-bit
// type of MPEG-1 D pictures.
extern const std::array<VlcLookup, 4> kMacroblockTypeTables;
// macroblock_type of spatially scalable I, P and B pictures (Tables B-5, B-6, B-7).
extern const std::array<VlcLookup, 3> kSpatialMacroblockTypeTables;

// coded_block_pattern (Table B-9), from the next 9 bits v: v >= 128 index the first table by
// v >> 4, v >= 8 the second by v >> 1, smaller values the third directly (0 begins no code).
inline constexpr int kCodedBlockPatternFirst5 = 8;
inline constexpr int kCodedBlockPatternFirst8 = 4;
extern const std::array<VlcEntry, 24> kCodedBlockPattern5;
extern const std::array<VlcEntry, 60> kCodedBlockPattern8;
extern const std::array<VlcEntry, 8> kCodedBlockPattern9;

// dct_dc_size_luminance (Table B-12) and dct_dc_size_chrominance (Table B-13): the next 5 bits
// index the first table unless they are all ones; then the next 9 (luminance) or 10
// (chrominance) bits index the second, from its first entry.
inline constexpr uint32_t kDcSizeLongPrefix = 0b11111;
inline constexpr int kDcSizeLuminanceLongFirst = 0b1'1111'0000;
inline constexpr int kDcSizeChrominanceLongFirst = 0b11'1110'0000;
extern const std::array<VlcEntry, 31> kDcSizeLuminance5;
extern const std::array<VlcEntry, 16> kDcSizeLuminance9;
extern const std::array<VlcEntry, 31> kDcSizeChrominance5;
extern const std::array<VlcEntry, 32> kDcSizeChrominance10;

// DCT coefficient codes: run and level (the sign bit follows the code), or a run of
// kEndOfBlock or kEscape; kUnlistedCode marks bits that begin no code. The length excludes the
// sign bit.
inline constexpr uint8_t kEndOfBlock = 64;
inline constexpr uint8_t kEscape = 65;
inline constexpr uint8_t kUnlistedCode = 66;
struct DctCode {
  uint8_t run = kUnlistedCode;
  uint8_t level = 0;
  uint8_t length = 0;
};

// With w the next 32 bits: w >= 0x04000000 index the short codes by (w >> 24) - 4, then
// w >= 0x00800000 the medium codes by (w >> 19) - 16, then w >= 0x00100000 the long codes by
// (w >> 16) - 16; a window with twelve leading zeros begins no code.
inline constexpr uint32_t kDctShortBound = 0x0400'0000;
inline constexpr uint32_t kDctMediumBound = 0x0080'0000;
inline constexpr uint32_t kDctLongBound = 0x0010'0000;
inline constexpr int kDctShortFirst = 4;
inline constexpr int kDctMediumFirst = 16;
inline constexpr int kDctLongFirst = 16;
struct DctCoefficientTable {
  std::array<DctCode, 252> short_codes;   // up to 8 bits
  std::array<DctCode, 112> medium_codes;  // 10 to 13 bits
};

// Table B-14 (MPEG-1; MPEG-2 non-intra blocks, and intra blocks with intra_vlc_format 0).
extern const DctCoefficientTable kDctCoefficientsZero;
// Table B-15 (MPEG-2 intra blocks with intra_vlc_format 1).
extern const DctCoefficientTable kDctCoefficientsOne;
// The codes of 14 to 16 bits, the same in both tables.
extern const std::array<DctCode, 112> kDctLongCodes;

}  // namespace tavik
