#pragma once

#include <array>
#include <string>
#include <string_view>

#include "decoder/picture/macroblock_record.h"

namespace tavik {

// What a macroblock's record tells, field by field, as the macroblocks CSV has its columns and
// the structure tree its elements: position, type flags, motion, quantiser, pattern, vectors
// (half samples, with their field selects; empty when the macroblock has no such vector), bits.
inline constexpr std::array<std::string_view, 31> kMacroblockFieldNames = {"address",
                                                                           "column",
                                                                           "row",
                                                                           "x",
                                                                           "y",
                                                                           "skipped",
                                                                           "intra",
                                                                           "forward",
                                                                           "backward",
                                                                           "pattern",
                                                                           "quant",
                                                                           "motion_type",
                                                                           "dct_type",
                                                                           "quantiser_scale",
                                                                           "coded_block_pattern",
                                                                           "forward0_x",
                                                                           "forward0_y",
                                                                           "forward0_select",
                                                                           "forward1_x",
                                                                           "forward1_y",
                                                                           "forward1_select",
                                                                           "backward0_x",
                                                                           "backward0_y",
                                                                           "backward0_select",
                                                                           "backward1_x",
                                                                           "backward1_y",
                                                                           "backward1_select",
                                                                           "dmvector_x",
                                                                           "dmvector_y",
                                                                           "bits",
                                                                           "weight_type"};

using MacroblockFields = std::array<std::string, kMacroblockFieldNames.size()>;

// The fields of the macroblock at `address` of the picture; `field_order` is 1 for the second
// field of a frame coded as two field pictures (its place on the frame), else 0.
[[nodiscard]] MacroblockFields macroblock_fields(const PictureMacroblocks& picture, int address,
                                                 int field_order);

}  // namespace tavik
