#pragma once

#include "decoder/syntax/decoder_state.h"

namespace tavik {

// The variable-length elements of the macroblock layer, read from the current layer. On an
// invalid code each writes its warning, sets ctx.decode_fault and returns a value that the
// caller discards.

// macroblock_address_increment (>= 1): every macroblock_escape adds 33; macroblock_stuffing is
// skipped in MPEG-1 and MPEG-2 streams alike.
[[nodiscard]] int read_address_increment(DecoderContext& ctx);

// macroblock_type as type bits (kMbIntra, ...) for ctx.vars.picture_coding_type, from the
// spatially scalable tables when the picture has a picture spatial scalable extension. SNR
// scalable layers are not decoded: their types are invalid codes.
[[nodiscard]] int read_macroblock_type(DecoderContext& ctx);

// The spatial-temporal weight type 0..8 of a macroblock of type `mb_type`: top + 3 x bottom,
// each field's weight of the spatial prediction being 0 (0), 1/2 (1) or 1 (2). Reads
// spatial_temporal_weight_code when the type carries one and the picture's table index is not 0.
[[nodiscard]] int read_spatial_temporal_weight_type(DecoderContext& ctx, int mb_type);

// spatial_temporal_weight_class of each weight type.
inline constexpr int kSpatialTemporalWeightClass[9] = {0, 1, 2, 1, 1, 2, 3, 3, 4};
// The weight type of a macroblock predicted from the lower layer alone.
inline constexpr int kSpatialOnlyWeightType = 8;

// coded_block_pattern, 0..63.
[[nodiscard]] int read_coded_block_pattern(DecoderContext& ctx);

}  // namespace tavik
