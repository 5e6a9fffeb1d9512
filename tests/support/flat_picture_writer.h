#pragma once

#include <functional>

#include "support/field_writer_bits.h"

namespace tavik::test {

// The samples of one flat macroblock: every Y, every Cb and every Cr sample.
struct FlatMacroblock {
  int y = 128;
  int cb = 128;
  int cr = 128;
};

// Writes one slice of intra macroblocks whose blocks hold nothing but a DC coefficient, so that
// the decoded samples are known exactly. The DC predictors are kept as a decoder keeps them
// (reset at the slice start and by skipped macroblocks). 8-bit intra DC, DCT table zero, no
// dct_type: MPEG-1, or MPEG-2 with intra_dc_precision 0, intra_vlc_format 0 and
// frame_pred_frame_dct 1.
class FlatSlice {
 public:
  // Writes the slice start code and the slice header.
  FlatSlice(field_writer::BitWriter& w, int picture_coding_type, int slice_vertical_position);

  // macroblock_address_increment (with macroblock_escape from 34 on), then a coded intra
  // macroblock. An increment above 1 after the first macroblock skips macroblocks. In a D
  // picture the blocks carry their DC terms only and end_of_macroblock follows.
  void macroblock(int increment, FlatMacroblock mb);
  // macroblock_address_increment alone (escapes included), for tests that write the rest.
  void increment(int increment);

 private:
  void block(int component, int value);

  field_writer::BitWriter& w_;
  int picture_coding_type_;
  bool first_ = true;
  int dc_pred_[3] = {0, 0, 0};  // Y, Cb, Cr, as offsets from 128
};

// The picture header and picture coding extension of an MPEG-2 intra frame picture whose slices
// FlatSlice can write.
void flat_mpeg2_frame_picture_header(field_writer::BitWriter& w, int temporal_reference);

// One slice per macroblock row for rows first_row .. first_row + rows - 1, every macroblock
// coded, with the samples of `mb` (column, row).
void flat_rows(field_writer::BitWriter& w, int picture_coding_type, int mb_columns, int first_row,
               int rows, const std::function<FlatMacroblock(int, int)>& mb);

}  // namespace tavik::test
