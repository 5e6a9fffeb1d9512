#pragma once

#include "decoder/decoder_state.h"

namespace tavik {

// The variable-length elements of the macroblock layer, read from the current layer. On an
// invalid code each writes its warning, sets ctx.decode_fault and returns a value that the
// caller discards.

// macroblock_address_increment (>= 1): every macroblock_escape adds 33; macroblock_stuffing is
// skipped in MPEG-1 and MPEG-2 streams alike.
[[nodiscard]] int read_address_increment(DecoderContext& ctx);

// macroblock_type as type bits (kMbIntra, ...) for ctx.vars.picture_coding_type.
// Scalable layers (spatial or SNR) are not supported: their types are invalid codes.
[[nodiscard]] int read_macroblock_type(DecoderContext& ctx);

// coded_block_pattern, 0..63.
[[nodiscard]] int read_coded_block_pattern(DecoderContext& ctx);

}  // namespace tavik
