#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "decoder/picture/macroblock_record.h"
#include "input/random_access.h"
#include "structure/stream_index.h"

namespace tavik {

// Told of one coded picture's macroblocks (valid during the call), with its field order: 1 for
// the second field of a frame coded as two field pictures, else 0.
using PictureMacroblocksEach =
    std::function<void(uint32_t picture, const PictureMacroblocks& macroblocks, int field_order)>;

// Decodes the coded pictures `first` to `last` (both included) from where the seek plan of
// `first` starts, reading the video through the index, and hands each one's macroblocks to
// `each`. Returns why the decode stopped short, or "".
[[nodiscard]] std::string decode_macroblocks(const StreamIndex& index, const RandomAccess& file,
                                             uint32_t first, uint32_t last,
                                             const PictureMacroblocksEach& each);

}  // namespace tavik
