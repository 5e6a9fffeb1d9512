#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "decoder/syntax/header_records.h"
#include "input/random_access.h"
#include "structure/stream_index.h"

namespace tavik {

// Reads the elements of one header again, from the file, when they are asked for: the run of
// headers it belongs to (a sequence, group or picture header with its extensions and user
// data), after the sequence header in force where the run's syntax depends on it. The last
// runs read are kept.
class HeaderReader {
 public:
  HeaderReader(const StreamIndex& index, const RandomAccess& file);
  ~HeaderReader();

  // The record of a header entry, or of a slice header; its offsets are in the video stream.
  // A header that cannot be read again (cut, or not read by the walk in its run) is given with
  // its start code alone.
  [[nodiscard]] const HeaderRecord& header(uint32_t header);
  [[nodiscard]] const HeaderRecord& slice(uint32_t slice);

  // The video bytes [begin, end), from the file (fewer past the end of the video).
  [[nodiscard]] std::vector<uint8_t> video_bytes(uint64_t begin, uint64_t end) const;

 private:
  struct Cached {
    uint64_t key = ~uint64_t{0};
    uint64_t last_use = 0;
    std::vector<HeaderRecord> records;
  };
  class Parse;

  [[nodiscard]] uint32_t run_head(uint32_t header) const;
  [[nodiscard]] uint32_t run_last(uint32_t head) const;
  // Reads a run of headers into `parse`'s records, whose offsets are then in the video stream.
  void read_run(Parse& parse, uint32_t head) const;
  [[nodiscard]] Cached& slot(uint64_t key, bool& found);

  const StreamIndex& index_;
  const RandomAccess& file_;
  std::vector<Cached> cache_;
  uint64_t uses_ = 0;
  HeaderRecord fallback_;
};

}  // namespace tavik
