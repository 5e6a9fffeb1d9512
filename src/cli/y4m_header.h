#pragma once

#include <string>
#include <string_view>

#include "decoder/picture/frame_output.h"
#include "decoder/syntax/stream_info.h"

namespace tavik::cli {

// Before each frame's planes in a YUV4MPEG2 file.
inline constexpr std::string_view kY4mFrameHeader = "FRAME\n";

// The first line of a YUV4MPEG2 file for frames of these plane sizes: size, frame rate,
// interlacing, sample aspect ratio and chroma format, from the headers read so far.
[[nodiscard]] std::string y4m_stream_header(const StreamInfo& info, const PlaneSizes& sizes);

}  // namespace tavik::cli
