#pragma once

#include <array>

#include "support/field_writer_bits.h"

namespace tavik::test::field_writer {

// picture_coding_type values.
constexpr int kIntraPicture = 1;
constexpr int kPredictedPicture = 2;
constexpr int kBidirectionalPicture = 3;

// Sequence header and sequence extension of an interlaced Main Profile, Main Level 4:2:0
// sequence at 25 frames a second with the default quantiser matrices.
void write_sequence_header(BitWriter& bits, int horizontal_size, int vertical_size);

// GOP header; `first_frame` (counted from the start of the stream) gives the time code.
void write_gop_header(BitWriter& bits, int first_frame, bool closed_gop);

struct FieldPictureHeader {
  int temporal_reference = 0;
  int picture_coding_type = 1;  // 1 I, 2 P, 3 B
  int picture_structure = 1;    // 1 top field, 2 bottom field
  // f_code[s][t]: s 0 forward, 1 backward; t 0 horizontal, 1 vertical. 15 when unused.
  std::array<std::array<int, 2>, 2> f_code = {{{15, 15}, {15, 15}}};
};

// Picture header and picture coding extension of one field picture.
void write_picture_headers(BitWriter& bits, const FieldPictureHeader& header);

void write_sequence_end(BitWriter& bits);

}  // namespace tavik::test::field_writer
