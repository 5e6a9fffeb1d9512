#include "support/field_writer_headers.h"

#include "support/header_writer.h"

namespace tavik::test::field_writer {

namespace {

constexpr uint8_t kSequenceHeaderCode = 0xB3;
constexpr uint8_t kExtensionStartCode = 0xB5;
constexpr uint8_t kGroupStartCode = 0xB8;
constexpr int kSequenceExtensionId = 1;
constexpr int kFramesPerSecond = 25;

}  // namespace

void write_sequence_header(BitWriter& bits, int horizontal_size, int vertical_size) {
  bits.start_code(kSequenceHeaderCode);
  bits.put(uint32_t(horizontal_size), 12);
  bits.put(uint32_t(vertical_size), 12);
  bits.put(1, 4);       // aspect_ratio_information: square samples
  bits.put(3, 4);       // frame_rate_code: 25
  bits.put(37500, 18);  // bit_rate_value: 15 Mbit/s in units of 400 bit/s
  bits.put(1, 1);       // marker_bit
  bits.put(112, 10);    // vbv_buffer_size_value: the Main Level maximum
  bits.put(0, 1);       // constrained_parameters_flag
  bits.put(0, 1);       // load_intra_quantiser_matrix
  bits.put(0, 1);       // load_non_intra_quantiser_matrix

  bits.start_code(kExtensionStartCode);
  bits.put(kSequenceExtensionId, 4);
  bits.put(0x48, 8);  // profile_and_level_indication: Main Profile at Main Level
  bits.put(0, 1);     // progressive_sequence
  bits.put(1, 2);     // chroma_format: 4:2:0
  bits.put(0, 2);     // horizontal_size_extension
  bits.put(0, 2);     // vertical_size_extension
  bits.put(0, 12);    // bit_rate_extension
  bits.put(1, 1);     // marker_bit
  bits.put(0, 8);     // vbv_buffer_size_extension
  bits.put(0, 1);     // low_delay
  bits.put(0, 2);     // frame_rate_extension_n
  bits.put(0, 5);     // frame_rate_extension_d
}

void write_gop_header(BitWriter& bits, int first_frame, bool closed_gop) {
  const int seconds = first_frame / kFramesPerSecond;
  bits.start_code(kGroupStartCode);
  bits.put(0, 1);  // drop_frame_flag
  bits.put(uint32_t(seconds / 3600), 5);
  bits.put(uint32_t(seconds / 60 % 60), 6);
  bits.put(1, 1);  // marker_bit
  bits.put(uint32_t(seconds % 60), 6);
  bits.put(uint32_t(first_frame % kFramesPerSecond), 6);
  bits.put(closed_gop ? 1 : 0, 1);
  bits.put(0, 1);  // broken_link
}

void write_picture_headers(BitWriter& bits, const FieldPictureHeader& header) {
  // MPEG-1 f_codes are unused in MPEG-2 (7); vbv_delay marks a variable bit rate.
  header_writer::picture_header(
      bits, {.temporal_reference = header.temporal_reference, .type = header.picture_coding_type});
  // 8-bit DC, linear quantiser, zigzag scan, B-14 for intra blocks, no concealment vectors.
  // top_field_first is 0 in field pictures: the coding order gives the field order.
  header_writer::picture_coding_extension(
      bits, {.f_code = {header.f_code[0][0], header.f_code[0][1], header.f_code[1][0],
                        header.f_code[1][1]},
             .intra_dc_precision = 0,
             .picture_structure = header.picture_structure,
             .top_field_first = 0,
             .frame_pred_frame_dct = 0,
             .concealment_motion_vectors = 0,
             .q_scale_type = 0,
             .intra_vlc_format = 0,
             .alternate_scan = 0,
             .repeat_first_field = 0,
             .chroma_420_type = 0,
             .progressive_frame = 0});
}

void write_sequence_end(BitWriter& bits) {
  header_writer::sequence_end(bits);
}

}  // namespace tavik::test::field_writer
