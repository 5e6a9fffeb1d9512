#include "analysis/video_origin.h"

#include "analysis/messages.h"

namespace tavik {

std::string_view container_name(Container container) {
  switch (container) {
    case Container::kElementary:
      return "MPEG video elementary stream";
    case Container::kSystem:
      return "MPEG-1 system stream";
    case Container::kProgram:
      return "MPEG-2 program stream";
    case Container::kTransport:
      return "MPEG-2 transport stream";
    case Container::kTransport192:
      return "MPEG-2 transport stream (192-byte packets)";
  }
  return {};
}

std::string_view container_key(Container container) {
  switch (container) {
    case Container::kElementary:
      return "elementary";
    case Container::kSystem:
      return "system-stream";
    case Container::kProgram:
      return "program-stream";
    case Container::kTransport:
      return "transport-stream";
    case Container::kTransport192:
      return "m2ts";
  }
  return {};
}

std::string video_stream_text(const VideoOrigin& origin) {
  if (origin.container == Container::kElementary || origin.stream < 0) return {};
  const bool transport =
      origin.container == Container::kTransport || origin.container == Container::kTransport192;
  std::string text =
      format_text(transport ? "video PID 0x%X" : "video stream 0x%X", unsigned(origin.stream));
  if (origin.video_streams > 1) {
    text += format_text(" (one of %d video streams)", int(origin.video_streams));
  }
  return text;
}

}  // namespace tavik
