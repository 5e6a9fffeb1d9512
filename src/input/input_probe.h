#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "base/fatal_error.h"
#include "input/byte_input.h"
#include "input/video_origin.h"

namespace tavik {

// The engine's text for input that is neither an MPEG video nor an MPEG system stream.
inline constexpr std::string_view kNotMpegText = "This not a valid MPEG system or video stream\n";

// Input in which neither an MPEG start code nor another format was recognised; its what() is
// the not-MPEG text alone. A capture cut in the middle of a stream throws it, and may still be
// read from a sequence or pack header further on.
class UnrecognisedInput final : public FatalError {
 public:
  UnrecognisedInput() : FatalError(std::string(kNotMpegText)) {}
};

// Tells the container from the input's first bytes: a transport stream by its sync bytes, the
// others by the first start code (a sequence header: an elementary stream; a pack header: a
// system stream, or a program stream when the pack header has the ISO/IEC 13818-1 form).
// Anything else throws FatalError with the engine's text and, on the line after it, what the
// input is when that can be told (UnrecognisedInput when it cannot). The input is rewound.
[[nodiscard]] Container detect_container(ByteInput& input);

// Reads the start of the video stream that the container's demultiplexer chooses and throws
// FatalError naming what the container holds when it is not MPEG video. The input is rewound.
void check_container_video(ByteInput& input, Container container);

// What the bytes at the start of a file are, when they are known not to be MPEG video ("H.264
// video is not supported: Tavik reads MPEG-1 and MPEG-2 video"), or empty.
[[nodiscard]] std::string unsupported_input_reason(std::span<const uint8_t> head);

}  // namespace tavik
