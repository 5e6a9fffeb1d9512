#include "support/header_writer.h"

namespace tavik::test::header_writer {

size_t here(BitWriter& w) {
  w.align();
  return w.bytes().size();
}

std::array<int, 64> zigzag_positions() {
  std::array<int, 64> order{};
  int i = 0;
  for (int diagonal = 0; diagonal < 15; ++diagonal) {
    for (int k = 0; k <= diagonal; ++k) {
      // Even diagonals run from bottom-left to top-right, odd ones the other way.
      const int row = diagonal % 2 == 0 ? diagonal - k : k;
      const int column = diagonal - row;
      if (row < 8 && column < 8) order[i++] = row * 8 + column;
    }
  }
  return order;
}

TestMatrix test_matrix(int base) {
  TestMatrix m;
  const auto order = zigzag_positions();
  for (int i = 0; i < 64; ++i) {
    m.transmitted[i] = base + i;
    m.raster[order[i]] = base + i;
  }
  return m;
}

namespace {

void put_matrix(BitWriter& w, const std::optional<TestMatrix>& matrix) {
  w.put(matrix ? 1 : 0, 1);
  if (matrix) {
    for (const int value : matrix->transmitted) w.put(uint32_t(value), 8);
  }
}

}  // namespace

void sequence_header(BitWriter& w, int width, int height, const std::optional<TestMatrix>& intra,
                     const std::optional<TestMatrix>& non_intra) {
  w.start_code(0xB3);
  w.put(uint32_t(width), 12);
  w.put(uint32_t(height), 12);
  w.put(2, 4);       // aspect_ratio_information
  w.put(3, 4);       // frame_rate_code
  w.put(20000, 18);  // bit_rate_value
  w.put(1, 1);
  w.put(112, 10);  // vbv_buffer_size
  w.put(0, 1);     // constrained_parameters_flag
  put_matrix(w, intra);
  put_matrix(w, non_intra);
}

void extension(BitWriter& w, int id) {
  w.start_code(0xB5);
  w.put(uint32_t(id), 4);
}

void sequence_extension(BitWriter& w, const SequenceExtension& e) {
  extension(w, 1);
  w.put(uint32_t(e.profile_and_level), 8);
  w.put(uint32_t(e.progressive_sequence), 1);
  w.put(uint32_t(e.chroma_format), 2);
  w.put(uint32_t(e.horizontal_size_extension), 2);
  w.put(uint32_t(e.vertical_size_extension), 2);
  w.put(7, 12);  // bit_rate_extension
  w.put(1, 1);
  w.put(9, 8);  // vbv_buffer_size_extension
  w.put(1, 1);  // low_delay
  w.put(2, 2);  // frame_rate_extension_n
  w.put(5, 5);  // frame_rate_extension_d
}

void sequence_display_extension(BitWriter& w, int matrix_coefficients) {
  extension(w, 2);
  w.put(5, 3);  // video_format
  w.put(1, 1);  // colour_description
  w.put(1, 8);
  w.put(4, 8);
  w.put(uint32_t(matrix_coefficients), 8);
  w.put(720, 14);
  w.put(1, 1);
  w.put(576, 14);
}

void quant_matrix_extension(BitWriter& w, const std::array<std::optional<TestMatrix>, 4>& m) {
  extension(w, 3);
  for (const auto& matrix : m) put_matrix(w, matrix);
}

void group_of_pictures(BitWriter& w, bool closed_gop) {
  w.start_code(0xB8);
  w.put(1, 1);   // drop_frame_flag
  w.put(1, 5);   // hours
  w.put(2, 6);   // minutes
  w.put(1, 1);   // marker
  w.put(3, 6);   // seconds
  w.put(14, 6);  // pictures
  w.put(closed_gop, 1);
  w.put(0, 1);  // broken_link
}

void picture_header(BitWriter& w, const PictureHeader& p) {
  w.start_code(0x00);
  w.put(uint32_t(p.temporal_reference), 10);
  w.put(uint32_t(p.type), 3);
  w.put(0xFFFF, 16);  // vbv_delay
  if (p.type == 2 || p.type == 3) {
    w.put(uint32_t(p.full_forw), 1);
    w.put(uint32_t(p.forward_f_code), 3);
  }
  if (p.type == 3) {
    w.put(uint32_t(p.full_back), 1);
    w.put(uint32_t(p.backward_f_code), 3);
  }
  for (const uint8_t byte : p.extra_information) {
    w.put(1, 1);
    w.put(byte, 8);
  }
  w.put(0, 1);
}

void picture_coding_extension(BitWriter& w, const PictureCoding& c) {
  extension(w, 8);
  for (const int f : c.f_code) w.put(uint32_t(f), 4);
  w.put(uint32_t(c.intra_dc_precision), 2);
  w.put(uint32_t(c.picture_structure), 2);
  w.put(uint32_t(c.top_field_first), 1);
  w.put(uint32_t(c.frame_pred_frame_dct), 1);
  w.put(uint32_t(c.concealment_motion_vectors), 1);
  w.put(uint32_t(c.q_scale_type), 1);
  w.put(uint32_t(c.intra_vlc_format), 1);
  w.put(uint32_t(c.alternate_scan), 1);
  w.put(uint32_t(c.repeat_first_field), 1);
  w.put(uint32_t(c.chroma_420_type), 1);
  w.put(uint32_t(c.progressive_frame), 1);
  w.put(c.composite_display ? 1 : 0, 1);
  if (c.composite_display) {
    w.put(1, 1);    // v_axis
    w.put(5, 3);    // field_sequence
    w.put(0, 1);    // sub_carrier
    w.put(99, 7);   // burst_amplitude
    w.put(200, 8);  // sub_carrier_phase
  }
}

void picture_display_extension(BitWriter& w, const std::vector<std::pair<int, int>>& offsets) {
  extension(w, 7);
  for (const auto& [horizontal, vertical] : offsets) {
    w.put(uint32_t(horizontal) & 0xFFFF, 16);
    w.put(1, 1);
    w.put(uint32_t(vertical) & 0xFFFF, 16);
    w.put(1, 1);
  }
}

void sequence_scalable_extension(BitWriter& w, int scalable_mode, const LowerLayer& lower) {
  extension(w, 5);
  w.put(uint32_t(scalable_mode), 2);
  w.put(3, 4);  // layer_id
  if (scalable_mode == 1) {
    w.put(uint32_t(lower.width), 14);
    w.put(1, 1);
    w.put(uint32_t(lower.height), 14);
    w.put(uint32_t(lower.horizontal_m), 5);
    w.put(uint32_t(lower.horizontal_n), 5);
    w.put(uint32_t(lower.vertical_m), 5);
    w.put(uint32_t(lower.vertical_n), 5);
  }
}

void picture_spatial_scalable_extension(BitWriter& w, int horizontal_offset, int vertical_offset,
                                        int lower_temporal_reference, int weight_table_index) {
  extension(w, 9);
  w.put(uint32_t(lower_temporal_reference), 10);
  w.put(1, 1);
  w.put(uint32_t(horizontal_offset) & 0x7FFF, 15);
  w.put(1, 1);
  w.put(uint32_t(vertical_offset) & 0x7FFF, 15);
  w.put(uint32_t(weight_table_index), 2);
  w.put(1, 1);
  w.put(1, 1);
}

void slice(BitWriter& w, uint8_t row, int data_bytes) {
  w.start_code(row);
  for (int i = 0; i < data_bytes; ++i) w.put(0x5A, 8);
}

void sequence_end(BitWriter& w) {
  w.start_code(0xB7);
}

}  // namespace tavik::test::header_writer
