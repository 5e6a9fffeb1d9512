#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tavik {

// The container the video stream is read from.
enum class Container : uint8_t {
  kElementary,    // a video elementary stream
  kSystem,        // an ISO/IEC 11172-1 system stream
  kProgram,       // an ISO/IEC 13818-1 program stream
  kTransport,     // an ISO/IEC 13818-1 transport stream of 188-byte packets
  kTransport192,  // the same with a 4-byte time code before each packet (.m2ts)
};

// Where the measured video comes from.
struct VideoOrigin {
  Container container = Container::kElementary;
  int32_t stream = -1;        // stream id, or PID in a transport stream; -1: none chosen yet
  int32_t video_streams = 0;  // video streams the container declared or carried so far
};

// "MPEG-2 program stream".
[[nodiscard]] std::string_view container_name(Container container);
// The short name used in machine-readable output ("program-stream").
[[nodiscard]] std::string_view container_key(Container container);
// The stream that was analysed, as "video stream 0xE0" or "video PID 0x100", with the number of
// video streams when there are several; empty for an elementary stream or when none was chosen.
[[nodiscard]] std::string video_stream_text(const VideoOrigin& origin);
// The container with the stream analysed ("MPEG-1 system stream, video stream 0xE0"), shown
// beside the summary; empty for an elementary stream.
[[nodiscard]] std::string origin_text(const VideoOrigin& origin);

}  // namespace tavik
