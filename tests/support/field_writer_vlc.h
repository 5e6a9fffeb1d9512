#pragma once

#include "support/field_writer_bits.h"

namespace tavik::test::field_writer {

// Encoding side of the MPEG-2 variable-length code tables (ISO/IEC 13818-2 Annex B).

// macroblock_address_increment 1..33 (Table B.1); larger increments need macroblock_escape.
[[nodiscard]] VlcCode address_increment_code(int increment);
[[nodiscard]] VlcCode macroblock_escape_code();

// macroblock_type of I, P and B pictures (Tables B.2-B.4) for the flags used by this writer.
struct MacroblockKind {
  bool intra = false;
  bool forward = false;
  bool backward = false;
  bool pattern = false;
};
[[nodiscard]] VlcCode macroblock_type_code(int picture_coding_type, MacroblockKind kind);

// coded_block_pattern 0..63 for 4:2:0 (Table B.9).
[[nodiscard]] VlcCode coded_block_pattern_code(int cbp);

// motion_code -16..16, sign bit included (Table B.10).
[[nodiscard]] VlcCode motion_code_code(int motion_code);

// dct_dc_size_luminance / dct_dc_size_chrominance 0..11 (Tables B.12, B.13).
[[nodiscard]] VlcCode dc_size_code(bool luminance, int size);

// One run/level pair of DCT coefficient table zero (Table B.14), sign bit included; falls back to
// the 24-bit escape form. `first_of_non_intra` selects the short code of run 0, level +-1.
[[nodiscard]] VlcCode dct_coefficient_code(int run, int level, bool first_of_non_intra);
[[nodiscard]] VlcCode end_of_block_code();

}  // namespace tavik::test::field_writer
