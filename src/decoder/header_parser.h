#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "analysis/analysis_store.h"
#include "analysis/start_code_scanner.h"
#include "decoder/decoder_state.h"
#include "decoder/stream_info.h"

namespace tavik {

// Start codes of the video elementary stream (ISO/IEC 13818-2 Table 6-1).
inline constexpr uint32_t kPictureStartCode = 0x00000100;
inline constexpr uint32_t kFirstSliceStartCode = 0x00000101;
inline constexpr uint32_t kLastSliceStartCode = 0x000001AF;
inline constexpr uint32_t kUserDataStartCode = 0x000001B2;
inline constexpr uint32_t kSequenceHeaderCode = 0x000001B3;
inline constexpr uint32_t kExtensionStartCode = 0x000001B5;
inline constexpr uint32_t kSequenceEndCode = 0x000001B7;
inline constexpr uint32_t kGroupStartCode = 0x000001B8;
inline constexpr uint32_t kPackStartCode = 0x000001BA;

[[nodiscard]] constexpr bool is_slice_start_code(uint32_t code) {
  return code >= kFirstSliceStartCode && code <= kLastSliceStartCode;
}

// The values that MPEG-1 video, which does not code them, implies: progressive frames, 4:2:0.
void set_mpeg1_values(DecodingVariables& vars);

// Walks the stream from one picture header to the next, keeps the header values in the
// decoder context, and drives the start-code scanner at every picture start code and at the
// sequence end code. Every header read is reported to `info`.
class HeaderParser {
 public:
  HeaderParser(DecoderContext& ctx, StartCodeScanner& scanner, AnalysisStore& store,
               StreamInfo& info, int verbose_level, bool all_sequences);

  // Reads start codes and headers up to a picture header (returns 1, the picture's slices
  // follow) or the sequence end code (returns 0). With all_sequences, a sequence end code
  // followed by another sequence header is passed over and the walk goes on.
  [[nodiscard]] int read_headers();

  // Reads a slice header; its start code has been consumed. Returns
  // slice_vertical_position_extension (0 when the stream has none).
  [[nodiscard]] int read_slice_header();

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
  StartCodeScanner& scanner_;
  AnalysisStore& store_;
  StreamInfo& info_;
  int verbose_level_;
  bool all_sequences_;
};

}  // namespace tavik
