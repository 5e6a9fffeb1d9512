#pragma once

#include <cstdint>
#include <string>

#include "decoder/syntax/header_events.h"
#include "input/container_demux.h"
#include "input/video_source.h"
#include "structure/stream_index.h"

namespace tavik {

// Fills a stream index from the header records of a headers walk, from the positions of the
// video's bytes in the input and from the container's units. Costs one entry per header and one
// offset per slice. It must hear of the payload too: a header beyond the video bytes it was told
// of is taken for the end codes a video source gives past the end of its input.
class IndexBuilder final : public HeaderEvents, public PayloadObserver, public ContainerObserver {
 public:
  explicit IndexBuilder(StreamIndex& index) : index_(index) {}

  void header_read(const HeaderRecord& record) override;
  void video_payload(uint64_t video_offset, uint64_t input_offset, size_t size) override;
  void system_unit(uint64_t offset, uint8_t code) override;
  void transport_packet(uint64_t offset, int pid) override;
  void program_map_pid(int pid) override;

  // The walk ended with `error` (empty: at the end of the stream); marks what it cut.
  void finish(Container container, uint64_t file_size, uint64_t skipped_bytes,
              const std::string& error = {});

 private:
  enum class Level { kNone, kSequence, kGroup, kPicture };

  uint32_t ensure_sequence();
  uint32_t ensure_group();
  // Appends the header's entry; false when its owner holds as many as it can.
  bool add_header(const HeaderRecord& record, Owner owner, uint32_t owner_index);
  void add_to_level(const HeaderRecord& record);
  void add_slice(const HeaderRecord& record);

  StreamIndex& index_;
  Level level_ = Level::kNone;
  bool in_sequence_ = false;
  bool group_open_ = false;
  uint32_t sequence_header_ = kNoIndex;
};

}  // namespace tavik
