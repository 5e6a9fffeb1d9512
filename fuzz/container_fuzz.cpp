// Walks any bytes with the container readers. The first byte picks the container and the size
// of the blocks: the video payload, the end and the stream chosen must not depend on how the
// bytes are split (the decoder and the scanner read in blocks of different sizes), and nothing
// may crash, hang or read outside a buffer. The bytes are then measured through a session,
// which probes them first.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "analysis/analysis_store.h"
#include "base/fatal_error.h"
#include "base/messages.h"
#include "input/container_demux.h"
#include "session/decoding_session.h"

namespace {

constexpr std::array kContainers = {tavik::Container::kSystem, tavik::Container::kProgram,
                                    tavik::Container::kTransport, tavik::Container::kTransport192};

struct Walk {
  std::vector<uint8_t> video;
  bool ended = false;
  bool failed = false;
  int32_t stream = -1;
  int32_t video_streams = 0;

  bool operator==(const Walk&) const = default;
};

Walk walk(tavik::Container container, std::span<const uint8_t> bytes, size_t block_size) {
  tavik::CollectedMessages warnings;
  const auto demux = tavik::make_demux(container, &warnings);
  Walk result;
  for (size_t start = 0; start < bytes.size(); start += block_size) {
    const auto block = bytes.subspan(start, std::min(block_size, bytes.size() - start));
    for (size_t pos = 0; pos < block.size();) {
      const auto step = demux->feed(block.subspan(pos));
      if (step.consumed == 0 || step.payload_offset + step.payload_size > block.size() - pos) {
        __builtin_trap();
      }
      const auto payload = block.subspan(pos + step.payload_offset, step.payload_size);
      result.video.insert(result.video.end(), payload.begin(), payload.end());
      pos += step.consumed;
    }
  }
  result.ended = demux->ended();
  result.failed = demux->failed();
  result.stream = demux->origin().stream;
  result.video_streams = demux->origin().video_streams;
  return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t pick = data[0];
  const std::span<const uint8_t> bytes(data + 1, size - 1);
  const tavik::Container container = kContainers[pick % kContainers.size()];
  const size_t block_size = 1 + pick / kContainers.size();
  if (walk(container, bytes, bytes.size() + 1) != walk(container, bytes, block_size)) {
    __builtin_trap();
  }

  tavik::AnalysisStore store;
  tavik::CollectedMessages messages;
  tavik::SessionListener listener;
  tavik::DecodingSession session(store, messages, listener, {.decode_pictures = false});
  try {
    session.open_memory(bytes);
    while (session.decode_step()) {
    }
  } catch (const tavik::FatalError&) {
  }
  return 0;
}
