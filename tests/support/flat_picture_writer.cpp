#include "support/flat_picture_writer.h"

#include <cstdlib>

#include "support/field_writer_vlc.h"
#include "support/header_writer.h"

namespace tavik::test {

using field_writer::BitWriter;

namespace {

constexpr int kDPicture = 4;
constexpr int kQuantiserScaleCode = 8;
constexpr int kEscapeIncrement = 33;

int bit_length(int magnitude) {
  int size = 0;
  while (magnitude >> size) ++size;
  return size;
}

}  // namespace

FlatSlice::FlatSlice(BitWriter& w, int picture_coding_type, int slice_vertical_position)
    : w_(w), picture_coding_type_(picture_coding_type) {
  w_.start_code(uint8_t(slice_vertical_position));
  w_.put(kQuantiserScaleCode, 5);
  w_.put(0, 1);  // extra_bit_slice
}

void FlatSlice::increment(int increment) {
  for (; increment > kEscapeIncrement; increment -= kEscapeIncrement) {
    w_.put(field_writer::macroblock_escape_code());
  }
  w_.put(field_writer::address_increment_code(increment));
}

void FlatSlice::macroblock(int increment, FlatMacroblock mb) {
  if (!first_ && increment > 1) dc_pred_[0] = dc_pred_[1] = dc_pred_[2] = 0;
  first_ = false;
  this->increment(increment);
  if (picture_coding_type_ == kDPicture) {
    w_.put(1, 1);  // the only macroblock_type of a D picture
  } else {
    w_.put(field_writer::macroblock_type_code(picture_coding_type_, {.intra = true}));
  }
  for (int comp = 0; comp < 4; ++comp) block(0, mb.y);
  block(1, mb.cb);
  block(2, mb.cr);
  if (picture_coding_type_ == kDPicture) w_.put(1, 1);  // end_of_macroblock
}

void FlatSlice::block(int component, int value) {
  const int diff = (value - 128) - dc_pred_[component];
  dc_pred_[component] = value - 128;
  const int size = bit_length(std::abs(diff));
  w_.put(field_writer::dc_size_code(component == 0, size));
  if (size > 0) w_.put(uint32_t(diff > 0 ? diff : diff + (1 << size) - 1), size);
  if (picture_coding_type_ != kDPicture) w_.put(field_writer::end_of_block_code());
}

void flat_mpeg2_frame_picture_header(BitWriter& w, int temporal_reference) {
  header_writer::picture_header(w, {.temporal_reference = temporal_reference, .type = 1});
  header_writer::picture_coding_extension(w, {.f_code = {15, 15, 15, 15},
                                              .intra_dc_precision = 0,
                                              .picture_structure = 3,
                                              .frame_pred_frame_dct = 1,
                                              .concealment_motion_vectors = 0,
                                              .q_scale_type = 0,
                                              .intra_vlc_format = 0,
                                              .alternate_scan = 0});
}

void flat_rows(BitWriter& w, int picture_coding_type, int mb_columns, int first_row, int rows,
               const std::function<FlatMacroblock(int, int)>& mb) {
  for (int row = first_row; row < first_row + rows; ++row) {
    FlatSlice slice(w, picture_coding_type, row + 1);
    for (int column = 0; column < mb_columns; ++column) slice.macroblock(1, mb(column, row));
  }
}

}  // namespace tavik::test
