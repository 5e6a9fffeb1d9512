#pragma once

#include <cstdint>
#include <string_view>

#include "decoder/syntax/coded_values.h"
#include "decoder/syntax/header_records.h"
#include "input/video_origin.h"

namespace tavik {

// The values of a sequence header and its extensions, as coded.
struct SequenceValues {
  bool mpeg2 = false;
  int horizontal_size = 0;
  int vertical_size = 0;
  int aspect_ratio_information = 0;
  int frame_rate_code = 0;
  int frame_rate_extension_n = 0;
  int frame_rate_extension_d = 0;
  int64_t bit_rate_value = 0;             // in units of 400 bit/s, extension included
  int64_t vbv_buffer_size_value = 0;      // in units of 16384 bits, extension included
  int profile_and_level_indication = -1;  // -1 without a sequence extension
  int chroma_format = 1;
  int progressive_sequence = 1;
  int low_delay = 0;
  int display_horizontal_size = 0;  // 0 without a sequence display extension
  int display_vertical_size = 0;
};

// Frames per second from frame_rate_code and its extension, in lowest terms; 0/1 for a reserved
// code.
[[nodiscard]] Rational frame_rate(const SequenceValues& values);

// What a walk over the stream's headers has seen, from the records of the headers read.
struct StreamInfo {
  Container container = Container::kElementary;
  uint64_t skipped_bytes = 0;  // bytes before the first sequence or pack header, not measured
  SequenceValues sequence;     // in force at the first picture
  SequenceValues current;      // of the last sequence header read
  int64_t sequences = 0;
  int64_t closed_gops = 0;
  int64_t open_gops = 0;
  int64_t pictures = 0;            // picture headers (a field picture counts once)
  int64_t fields = 0;              // display time in fields, repeated fields included
  int64_t top_field_first = 0;     // interlaced frames shown top field first
  int64_t bottom_field_first = 0;  // interlaced frames shown bottom field first
  // Offset in the video stream of the sequence end code that ended the walk while another
  // sequence header followed it; -1 when none did.
  int64_t stopped_at = -1;

  void header_read(const HeaderRecord& record);

 private:
  void sequence_header_read(const HeaderRecord& h);
  void sequence_extension_read(const HeaderRecord& h);
  void picture_header_read();
  void picture_coding_extension_read(const HeaderRecord& h);

  bool in_sequence_ = false;
  bool second_field_due_ = false;
};

}  // namespace tavik
