#pragma once

#include <cstdint>

#include "decoder/syntax/header_records.h"

namespace tavik {

// What the header parser tells the session as it walks the stream, in stream order. The session
// measures the stream from these; a parser that only reads slice headers is given none.
class HeaderEvents {
 public:
  virtual ~HeaderEvents() = default;
  // A header, an extension, user data, a slice header or the sequence end code has been read.
  // The record is the parser's own and is filled afresh by the next header of its kind.
  virtual void header_read(const HeaderRecord& record) {}
  // A picture start code was met; its picture header is read next.
  virtual void picture_start_code() {}
  // The picture header's picture_coding_type has been read.
  virtual void picture_type_read(int picture_coding_type) {}
  // The walk ends at the sequence end code at `byte` of the video stream; `sequence_follows`:
  // another sequence header comes after it, which the walk does not go into.
  virtual void sequence_end_code(int64_t byte, bool sequence_follows) {}
  // A slice header has been read; its start code was the one given.
  virtual void slice_start(uint32_t slice_start_code) {}
};

}  // namespace tavik
