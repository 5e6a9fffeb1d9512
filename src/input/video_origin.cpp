#include "input/video_origin.h"

#include <cstddef>

#include "base/messages.h"

namespace tavik {

namespace {

struct ContainerNames {
  std::string_view name;
  std::string_view key;
};

// In the order of Container.
constexpr ContainerNames kNames[] = {
    {"MPEG video elementary stream", "elementary"},
    {"MPEG-1 system stream", "system-stream"},
    {"MPEG-2 program stream", "program-stream"},
    {"MPEG-2 transport stream", "transport-stream"},
    {"MPEG-2 transport stream (192-byte packets)", "m2ts"},
};

}  // namespace

std::string_view container_name(Container container) {
  return kNames[static_cast<size_t>(container)].name;
}

std::string_view container_key(Container container) {
  return kNames[static_cast<size_t>(container)].key;
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

std::string origin_text(const VideoOrigin& origin) {
  if (origin.container == Container::kElementary) return {};
  std::string text(container_name(origin.container));
  if (const std::string stream = video_stream_text(origin); !stream.empty()) text += ", " + stream;
  return text;
}

}  // namespace tavik
