#include "input/input_probe.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

#include "base/fatal_error.h"
#include "input/container_demux.h"
#include "input/start_code_search.h"
#include "input/video_source.h"

namespace tavik {

namespace {

constexpr std::string_view kReadsMpeg = ": Tavik reads MPEG-1 and MPEG-2 video";
constexpr size_t kHeadSize = 4096;
constexpr size_t kSearchBlock = size_t{1} << 16;
constexpr size_t kVideoHeadSize = 64;
constexpr size_t kPacketsChecked = 5;
constexpr size_t kPacketSize = 188;
constexpr size_t kTimeCodeSize = 4;
constexpr uint8_t kSyncByte = 0x47;
constexpr uint8_t kSequenceHeader = 0xB3;
constexpr uint8_t kPackHeader = 0xBA;

// Fills `head` as far as the input goes; returns the bytes read.
size_t read_head(ByteInput& input, std::span<uint8_t> head) {
  size_t have = 0;
  while (have < head.size()) {
    const size_t got = input.read_some(head.data() + have, head.size() - have);
    if (got == 0) break;
    have += got;
  }
  return have;
}

[[nodiscard]] bool begins_with(std::span<const uint8_t> bytes, std::string_view text,
                               size_t at = 0) {
  return bytes.size() >= at + text.size() &&
         std::memcmp(bytes.data() + at, text.data(), text.size()) == 0;
}

// Sync bytes at the start of every packet that the head holds (at least one whole packet).
[[nodiscard]] bool is_transport(std::span<const uint8_t> head, size_t time_code) {
  const size_t packet = kPacketSize + time_code;
  if (head.size() < packet) return false;
  const size_t packets = std::min(kPacketsChecked, head.size() / packet);
  for (size_t k = 0; k < packets; ++k) {
    if (head[time_code + k * packet] != kSyncByte) return false;
  }
  return true;
}

// The byte after the input's first start code prefix and the byte after it (-1: none).
struct FirstCode {
  int code = -1;
  int next = -1;
};

FirstCode first_start_code(ByteInput& input) {
  std::vector<uint8_t> buffer(kSearchBlock + kTimeCodeSize);
  size_t have = 0;
  for (;;) {
    const size_t got = input.read_some(buffer.data() + have, kSearchBlock);
    have += got;
    const uint8_t* const begin = buffer.data();
    const uint8_t* const found = find_start_code(begin, begin + have);
    const auto at = static_cast<size_t>(found - begin);
    if (at + 4 < have) return {found[3], found[4]};
    if (got == 0) return {at + 3 < have ? found[3] : -1, -1};
    // Keep what may begin a start code: the prefix found, or the last two bytes.
    const size_t keep_from = at < have ? at : have - std::min<size_t>(have, 2);
    std::memmove(buffer.data(), begin + keep_from, have - keep_from);
    have -= keep_from;
  }
}

[[nodiscard]] bool holds_sequence_header(std::span<const uint8_t> bytes) {
  static constexpr uint8_t kCode[] = {0x00, 0x00, 0x01, kSequenceHeader};
  return std::search(bytes.begin(), bytes.end(), std::begin(kCode), std::end(kCode)) != bytes.end();
}

// The kind of video that the first start code of the bytes begins, when it is not MPEG-1 or
// MPEG-2 video ("H.264 video"); empty when unknown.
[[nodiscard]] std::string_view other_video_kind(std::span<const uint8_t> bytes) {
  const uint8_t* const begin = bytes.data();
  const uint8_t* const end = begin + bytes.size();
  const uint8_t* const p = find_start_code(begin, end);
  if (end - p < 5) return {};
  const uint8_t code = p[3];
  // A visual object sequence, or a video object followed by its video object layer (whose
  // groups of planes begin 00 00 01 B3 too).
  if (code == 0xB0 ||
      (code <= 0x1F && end - p >= 8 && p[4] == 0 && p[5] == 0 && p[6] == 1 && (p[7] >> 4) == 2)) {
    return "MPEG-4 Part 2 video";
  }
  if (holds_sequence_header(bytes)) return {};
  // Network abstraction units come after a four-byte prefix 00 00 00 01.
  if (p == begin || p[-1] != 0) return {};
  const int hevc_type = (code >> 1) & 0x3F;
  if ((code & 0x81) == 0 && p[4] == 0x01 && (hevc_type >= 32 && hevc_type <= 35)) {
    return "H.265 video";
  }
  // Access unit delimiter, supplemental information, sequence parameter set.
  if (code == 0x09 || code == 0x06 || code == 0x27 || code == 0x47 || code == 0x67) {
    return "H.264 video";
  }
  return {};
}

[[nodiscard]] std::string not_supported(std::string_view what) {
  return std::string(what) + " not supported" + std::string(kReadsMpeg);
}

[[nodiscard]] bool is_audio(std::span<const uint8_t> head) {
  const bool frame_sync = head.size() >= 2 && head[0] == 0xFF && (head[1] & 0xE0) == 0xE0;
  const bool ac3 = head.size() >= 2 && head[0] == 0x0B && head[1] == 0x77;
  return frame_sync || ac3 || begins_with(head, "ID3") || begins_with(head, "fLaC") ||
         (begins_with(head, "RIFF") && begins_with(head, "WAVE", 8));
}

[[nodiscard]] std::string no_video_text(Container container, const ContainerDemux& demux) {
  if (!demux.other_video().empty()) return not_supported(std::string(demux.other_video()) + " is");
  const std::string the = "The " + std::string(container_name(container));
  // A video stream declared but never carried: a file cut short, or an empty recording.
  if (demux.origin().video_streams > 0) return the + " carries no video data";
  return the + (demux.audio_seen() ? " holds audio and no video" : " holds no video") +
         std::string(kReadsMpeg);
}

// What a file of another format is, told by its signature; empty when it has none of them.
std::string other_format(std::span<const uint8_t> head) {
  if (begins_with(head, "\x89PNG\r\n\x1A\n")) return not_supported("PNG images are");
  for (const std::string_view box : {"ftyp", "moov", "mdat", "free", "wide"}) {
    if (begins_with(head, box, 4)) return not_supported("MP4 and QuickTime files are");
  }
  if (begins_with(head, "RIFF") && begins_with(head, "AVI ", 8)) {
    return not_supported("AVI files are");
  }
  if (begins_with(head, "\x1A\x45\xDF\xA3")) return not_supported("Matroska and WebM files are");
  if (is_audio(head)) return "The file holds audio and no video" + std::string(kReadsMpeg);
  return {};
}

}  // namespace

std::string unsupported_input_reason(std::span<const uint8_t> head) {
  if (head.empty()) return "The file is empty";
  if (std::string format = other_format(head); !format.empty()) return format;
  const std::string_view video = other_video_kind(head);
  if (!video.empty()) return not_supported(std::string(video) + " is");
  return {};
}

Container detect_container(ByteInput& input) {
  input.rewind();
  std::vector<uint8_t> head(kHeadSize);
  head.resize(read_head(input, head));
  input.rewind();
  // Other formats may hold MPEG start codes (a Matroska file's codec data): they go first.
  if (std::string format = other_format(head); !format.empty()) {
    throw FatalError(std::string(kNotMpegText) + format + "\n");
  }
  if (is_transport(head, 0)) return Container::kTransport;
  if (is_transport(head, kTimeCodeSize)) return Container::kTransport192;
  const FirstCode first = first_start_code(input);
  input.rewind();
  if (first.code == kSequenceHeader) return Container::kElementary;
  // The 13818-1 pack header begins with the bits 01, the 11172-1 one with 0010.
  if (first.code == kPackHeader) {
    return first.next >= 0 && (first.next >> 6) == 1 ? Container::kProgram : Container::kSystem;
  }
  const std::string reason = unsupported_input_reason(head);
  if (reason.empty()) throw UnrecognisedInput();
  throw FatalError(std::string(kNotMpegText) + reason + "\n");
}

void check_container_video(ByteInput& input, Container container) {
  input.rewind();
  ContainerSource source(input, make_demux(container));
  std::vector<uint8_t> head(kVideoHeadSize);
  size_t have = 0;
  try {
    while (have < head.size()) have += source.read(head.data() + have, head.size() - have);
  } catch (const FatalError&) {
    // A broken container layer before any video is the container's own error.
    if (!source.video_found()) throw;
  }
  input.rewind();
  if (!source.video_found()) throw FatalError(no_video_text(container, source.demux()) + "\n");
  head.resize(have);
  const std::string_view video = other_video_kind(head);
  if (!video.empty()) throw FatalError(not_supported(std::string(video) + " is") + "\n");
}

}  // namespace tavik
