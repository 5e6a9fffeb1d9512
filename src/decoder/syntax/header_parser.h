#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "base/start_codes.h"
#include "decoder/syntax/decoder_state.h"
#include "decoder/syntax/header_events.h"
#include "decoder/syntax/stream_info.h"

namespace tavik {

// The values that MPEG-1 video, which does not code them, implies: progressive frames, 4:2:0.
void set_mpeg1_values(DecodingVariables& vars);

// Walks the stream from one picture header to the next and keeps the header values in the
// decoder context. It tells `events` of every picture start code, picture type and slice, and
// of the sequence end code; every header read is reported to `info`.
class HeaderParser {
 public:
  HeaderParser(DecoderContext& ctx, HeaderEvents& events, StreamInfo& info, int verbose_level,
               bool all_sequences);

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
  void sequence_extension();
  void sequence_display_extension();
  void quant_matrix_extension();
  void sequence_scalable_extension();
  void picture_display_extension();
  void picture_coding_extension();
  void picture_spatial_scalable_extension();

  // After a sequence end code: true when another sequence header follows.
  [[nodiscard]] bool sequence_follows();
  void load_matrix(std::array<int, 64>& matrix);
  void skip_extra_information();

  // The offset of the start code of the header whose reading begins now.
  [[nodiscard]] long long header_byte() const;
  [[nodiscard]] bool tracing(int level) const { return verbose_level_ >= level; }
  void print(const std::string& text) { ctx_.messages->out(text); }

  int read_field(int n) { return static_cast<int>(reader_.read_bits(n)); }

  DecoderContext& ctx_;
  BitReader& reader_;
  HeaderEvents& events_;
  StreamInfo& info_;
  int verbose_level_;
  bool all_sequences_;
};

}  // namespace tavik
