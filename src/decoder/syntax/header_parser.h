#pragma once

#include <array>
#include <cstdint>

#include "base/start_codes.h"
#include "decoder/syntax/decoder_state.h"
#include "decoder/syntax/header_events.h"
#include "decoder/syntax/header_records.h"

namespace tavik {

// The values that MPEG-1 video, which does not code them, implies: progressive frames, 4:2:0.
void set_mpeg1_values(DecodingVariables& vars);

// Walks the stream from one picture header to the next. Every header is read into a record of
// its kind, which fills the decoder context's values and goes to `events` (with the picture
// start codes, picture types, slices and the sequence end code), and to the header trace.
class HeaderParser {
 public:
  HeaderParser(DecoderContext& ctx, HeaderEvents& events, int verbose_level, bool all_sequences);

  // Reads start codes and headers up to a picture header (returns 1, the picture's slices
  // follow) or the sequence end code (returns 0). With all_sequences, a sequence end code
  // followed by another sequence header is passed over and the walk goes on.
  [[nodiscard]] int read_headers();

  // Reads a slice header; its start code (given) has been consumed. Returns
  // slice_vertical_position_extension (0 when the stream has none).
  [[nodiscard]] int read_slice_header(uint32_t slice_start_code);

 private:
  void sequence_header();
  void group_of_pictures_header();
  void picture_header();
  void extension_and_user_data();
  void user_data();
  void sequence_extension(HeaderRecord& h);
  void sequence_display_extension(HeaderRecord& h);
  void quant_matrix_extension(HeaderRecord& h);
  void sequence_scalable_extension(HeaderRecord& h);
  void copyright_extension(HeaderRecord& h);
  void picture_display_extension(HeaderRecord& h);
  void picture_coding_extension(HeaderRecord& h);
  void picture_spatial_scalable_extension(HeaderRecord& h);
  // Reads the sequence end code into its record; returns its offset.
  int64_t sequence_end();

  // After a sequence end code: true when another sequence header follows.
  [[nodiscard]] bool sequence_follows();

  // The record of `kind`, emptied, for a header whose start code `code` begins at
  // `bit_offset`, or has just been read.
  HeaderRecord& begin(HeaderKind kind, uint32_t code, int64_t bit_offset);
  HeaderRecord& begin(HeaderKind kind, uint32_t code);
  // Reads one element, or each element of [first, last], in turn.
  int read(HeaderRecord& h, int element);
  void read_range(HeaderRecord& h, int first, int last);
  // The same for a header that the stream's decoders need not know (an extension taken for a
  // reserved one): false, with the element not read, when a start code prefix begins at a byte
  // boundary within its bits, so that a damaged header never swallows the next start code.
  [[nodiscard]] bool read_before_start_code(HeaderRecord& h, int element);
  // Reads a quantiser matrix into the record's slot `slot`, and into `matrix` (raster order).
  void read_matrix(HeaderRecord& h, int element, int slot, std::array<int, 64>& matrix);
  // The extra bytes behind a picture or slice header, each after a 1 bit, and the 0 bit ending
  // them.
  void read_extra_information(HeaderRecord& h, int information, int last_bit);
  // The header is complete: it is traced and reported.
  void finish(HeaderRecord& h);

  DecoderContext& ctx_;
  BitReader& reader_;
  HeaderEvents& events_;
  int verbose_level_;
  bool all_sequences_;
  std::array<HeaderRecord, kHeaderKinds> records_{};
};

}  // namespace tavik
