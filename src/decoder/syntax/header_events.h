#pragma once

namespace tavik {

// What the header parser tells the session as it walks the stream, in stream order. The session
// measures the stream from these; a parser that only reads slice headers is given none.
class HeaderEvents {
 public:
  virtual ~HeaderEvents() = default;
  // A picture start code was met; its picture header is read next.
  virtual void picture_start_code() {}
  // The picture header's picture_coding_type has been read.
  virtual void picture_type_read(int picture_coding_type) {}
  // The walk ends at a sequence end code (with every sequence walked, only at the last one).
  virtual void sequence_end_code() {}
  // A slice header has been read; its start code was the one given.
  virtual void slice_start(unsigned slice_start_code) {}
};

}  // namespace tavik
