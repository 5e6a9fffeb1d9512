#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "support/field_writer_bits.h"

// Writers of the headers of a video elementary stream (ISO/IEC 13818-2 6.2), with fixed values
// in the fields that the tests do not vary.
namespace tavik::test::header_writer {

using field_writer::BitWriter;

// Byte-aligns and returns the offset of the start code written next.
size_t here(BitWriter& w);

// Raster positions in zigzag order, by walking the anti-diagonals of the 8x8 block.
std::array<int, 64> zigzag_positions();

// A matrix in raster order and the same values as transmitted (zigzag order).
struct TestMatrix {
  std::array<int, 64> raster{};
  std::array<int, 64> transmitted{};
};
// Values base, base + 1, … in transmission order.
TestMatrix test_matrix(int base);

void sequence_header(BitWriter& w, int width, int height,
                     const std::optional<TestMatrix>& intra = std::nullopt,
                     const std::optional<TestMatrix>& non_intra = std::nullopt);

struct SequenceExtension {
  int profile_and_level = 0x48;
  int progressive_sequence = 0;
  int chroma_format = 1;
  int horizontal_size_extension = 0;
  int vertical_size_extension = 0;
};

// An extension start code and its identifier.
void extension(BitWriter& w, int id);
void sequence_extension(BitWriter& w, const SequenceExtension& e = {});
void sequence_display_extension(BitWriter& w, int matrix_coefficients);
void quant_matrix_extension(BitWriter& w, const std::array<std::optional<TestMatrix>, 4>& m);
// The lower layer of a spatially scalable sequence: its size and the subsampling factors.
struct LowerLayer {
  int width = 352;
  int height = 288;
  int horizontal_m = 1;
  int horizontal_n = 2;
  int vertical_m = 3;
  int vertical_n = 4;
};
// scalable_mode is the 2-bit code; code 1 (spatial) writes `lower`.
void sequence_scalable_extension(BitWriter& w, int scalable_mode, const LowerLayer& lower = {});
void group_of_pictures(BitWriter& w, bool closed_gop = true);

struct PictureHeader {
  int temporal_reference = 0;
  int type = 1;
  int full_forw = 0;
  int forward_f_code = 7;
  int full_back = 0;
  int backward_f_code = 7;
  std::vector<uint8_t> extra_information = {};
};
void picture_header(BitWriter& w, const PictureHeader& p);

struct PictureCoding {
  std::array<int, 4> f_code = {1, 2, 3, 4};
  int intra_dc_precision = 2;
  int picture_structure = 3;
  int top_field_first = 1;
  int frame_pred_frame_dct = 0;
  int concealment_motion_vectors = 1;
  int q_scale_type = 1;
  int intra_vlc_format = 1;
  int alternate_scan = 1;
  int repeat_first_field = 0;
  int chroma_420_type = 1;
  int progressive_frame = 0;
  bool composite_display = false;
};
void picture_coding_extension(BitWriter& w, const PictureCoding& c);
void picture_display_extension(BitWriter& w, const std::vector<std::pair<int, int>>& offsets);
// Both lower-layer flags 1.
void picture_spatial_scalable_extension(BitWriter& w, int horizontal_offset, int vertical_offset,
                                        int lower_temporal_reference = 77,
                                        int weight_table_index = 2);

// A slice start code and slice data bytes that hold no start code prefix.
void slice(BitWriter& w, uint8_t row, int data_bytes = 5);
void sequence_end(BitWriter& w);

}  // namespace tavik::test::header_writer
