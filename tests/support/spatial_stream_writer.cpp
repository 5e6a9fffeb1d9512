#include "support/spatial_stream_writer.h"

#include <cstdlib>

#include "support/field_writer_vlc.h"

namespace tavik::test {

using field_writer::BitWriter;
using field_writer::VlcCode;

namespace {

// macroblock_type codes of Tables B-5 and B-6: I "Coded, Compatible" and "Not Coded,
// Compatible" (weight class 4); P "MC, Coded" and "MC, Not Coded" with a weight code.
constexpr VlcCode kICoded{0b1, 1};
constexpr VlcCode kINotCoded{0b0001, 4};
constexpr VlcCode kPCoded{0b011, 3};
constexpr VlcCode kPNotCoded{0b0011, 4};
constexpr int kQuantiserScaleCode = 8;  // quantiser_scale 16 with q_scale_type 0

void macroblock(BitWriter& w, const SpatialPicture& p) {
  const bool coded = p.residual != 0;
  w.put(field_writer::address_increment_code(1));
  if (p.type == 1) {
    w.put(coded ? kICoded : kINotCoded);
  } else {
    w.put(coded ? kPCoded : kPNotCoded);
    if (p.weight_table_index != 0) w.put(uint32_t(p.weight_code), 2);
    w.put(field_writer::motion_code_code(0));  // horizontal
    w.put(field_writer::motion_code_code(0));  // vertical
  }
  if (!coded) return;
  w.put(field_writer::coded_block_pattern_code(63));
  for (int block = 0; block < 6; ++block) {
    w.put(field_writer::dct_coefficient_code(0, p.residual, true));
    w.put(field_writer::end_of_block_code());
  }
}

}  // namespace

std::vector<uint8_t> spatial_stream(const SpatialSequence& s,
                                    const std::vector<SpatialPicture>& pictures) {
  namespace hw = header_writer;
  BitWriter w;
  hw::sequence_header(w, s.width, s.height);
  hw::sequence_extension(w, {.progressive_sequence = s.progressive_sequence});
  hw::sequence_scalable_extension(w, 1, s.lower);
  const int columns = (s.width + 15) / 16;
  const int rows = s.progressive_sequence ? (s.height + 15) / 16 : 2 * ((s.height + 31) / 32);
  for (size_t i = 0; i < pictures.size(); ++i) {
    const SpatialPicture& p = pictures[i];
    hw::picture_header(w, {.temporal_reference = int(i), .type = p.type, .forward_f_code = 1});
    hw::picture_coding_extension(w, {.f_code = {1, 1, 15, 15},
                                     .intra_dc_precision = 0,
                                     .frame_pred_frame_dct = 1,
                                     .concealment_motion_vectors = 0,
                                     .q_scale_type = 0,
                                     .intra_vlc_format = 0,
                                     .alternate_scan = 0,
                                     .progressive_frame = 1});
    hw::picture_spatial_scalable_extension(w, p.horizontal_offset, p.vertical_offset,
                                           p.lower_temporal_reference, p.weight_table_index);
    for (int row = 0; row < rows; ++row) {
      w.start_code(uint8_t(row + 1));
      w.put(kQuantiserScaleCode, 5);
      w.put(0, 1);  // extra_bit_slice
      for (int column = 0; column < columns; ++column) macroblock(w, p);
    }
  }
  hw::sequence_end(w);
  return w.bytes();
}

}  // namespace tavik::test
