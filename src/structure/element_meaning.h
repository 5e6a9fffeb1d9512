#pragma once

#include <string>

#include "decoder/syntax/header_records.h"

namespace tavik {

// What an element's value means where the standard gives it a meaning ("25 fps" for
// frame_rate_code 3, "P" for picture_coding_type 2, "4:2:0" for chroma_format 1); empty where
// the value speaks for itself. `mpeg2`: the header belongs to an MPEG-2 sequence.
[[nodiscard]] std::string element_meaning(const HeaderRecord& record, int element, bool mpeg2);

// "I", "P", "B", "D", or "?" for another picture_coding_type.
[[nodiscard]] const char* picture_type_letter(int picture_coding_type);

}  // namespace tavik
