#include "decoder/syntax/header_records.h"

#include <algorithm>
#include <array>

namespace tavik {

namespace {

// Element tables, one per header kind, in the order of the kind's Element enumeration.
constexpr ElementSpec kMarker{"marker_bit", 1, false, nullptr};
constexpr ElementSpec kExtensionCode{"extension_start_code", 32, false, nullptr};
constexpr ElementSpec kExtensionIdentifier{"extension_start_code_identifier", 4, false, nullptr};
constexpr uint16_t kMatrixBits = 64 * 8;

constexpr ElementSpec kSequenceHeader[] = {
    {"sequence_header_code", 32, false, nullptr},
    {"horizontal_size_value", 12, false, "  horizontal_size=%d\n"},
    {"vertical_size_value", 12, false, "  vertical_size=%d\n"},
    {"aspect_ratio_information", 4, false, "  aspect_ratio=%d\n"},
    {"frame_rate_code", 4, false, "  picture_rate=%d\n"},
    {"bit_rate_value", 18, false, "  bit_rate=%d\n"},
    kMarker,
    {"vbv_buffer_size_value", 10, false, "  vbv_buffer_size=%d\n"},
    {"constrained_parameters_flag", 1, false, "  constrained_parameters_flag=%d\n"},
    {"load_intra_quantiser_matrix", 1, false, "  load_intra_quantizer_matrix=%d\n"},
    {"intra_quantiser_matrix", kMatrixBits, false, nullptr},
    {"load_non_intra_quantiser_matrix", 1, false, "  load_non_intra_quantizer_matrix=%d\n"},
    {"non_intra_quantiser_matrix", kMatrixBits, false, nullptr},
};
static_assert(std::size(kSequenceHeader) == elements::sequence_header::kCount);

constexpr ElementSpec kSequenceExtension[] = {
    kExtensionCode,
    kExtensionIdentifier,
    {"profile_and_level_indication", 8, false, "  profile_and_level_indication=%d\n", 2,
     TraceDetail::kProfileAndLevel},
    {"progressive_sequence", 1, false, "  progressive_sequence=%d\n"},
    {"chroma_format", 2, false, "  chroma_format=%d\n"},
    {"horizontal_size_extension", 2, false, "  horizontal_size_extension=%d\n"},
    {"vertical_size_extension", 2, false, "  vertical_size_extension=%d\n"},
    {"bit_rate_extension", 12, false, "  bit_rate_extension=%d\n"},
    kMarker,
    {"vbv_buffer_size_extension", 8, false, "  vbv_buffer_size_extension=%d\n"},
    {"low_delay", 1, false, "  low_delay=%d\n"},
    {"frame_rate_extension_n", 2, false, "  frame_rate_extension_n=%d\n"},
    {"frame_rate_extension_d", 5, false, "  frame_rate_extension_d=%d\n"},
};
static_assert(std::size(kSequenceExtension) == elements::sequence_extension::kCount);

constexpr ElementSpec kSequenceDisplayExtension[] = {
    kExtensionCode,
    kExtensionIdentifier,
    {"video_format", 3, false, "  video_format=%d\n"},
    {"colour_description", 1, false, "  colour_description=%d\n"},
    {"colour_primaries", 8, false, "    colour_primaries=%d\n"},
    {"transfer_characteristics", 8, false, "    transfer_characteristics=%d\n"},
    {"matrix_coefficients", 8, false, "    matrix_coefficients=%d\n"},
    {"display_horizontal_size", 14, false, "  display_horizontal_size=%d\n"},
    kMarker,
    {"display_vertical_size", 14, false, "  display_vertical_size=%d\n"},
};
static_assert(std::size(kSequenceDisplayExtension) == elements::sequence_display_extension::kCount);

constexpr ElementSpec kSequenceScalableExtension[] = {
    kExtensionCode,
    kExtensionIdentifier,
    {"scalable_mode", 2, false, "  scalable_mode=%d\n"},
    {"layer_id", 4, false, "  layer_id=%d\n"},
    {"lower_layer_prediction_horizontal_size", 14, false,
     "    lower_layer_prediction_horiontal_size=%d\n"},
    kMarker,
    {"lower_layer_prediction_vertical_size", 14, false,
     "    lower_layer_prediction_vertical_size=%d\n"},
    {"horizontal_subsampling_factor_m", 5, false, "    horizontal_subsampling_factor_m=%d\n"},
    {"horizontal_subsampling_factor_n", 5, false, "    horizontal_subsampling_factor_n=%d\n"},
    {"vertical_subsampling_factor_m", 5, false, "    vertical_subsampling_factor_m=%d\n"},
    {"vertical_subsampling_factor_n", 5, false, "    vertical_subsampling_factor_n=%d\n"},
};
static_assert(std::size(kSequenceScalableExtension) ==
              elements::sequence_scalable_extension::kCount);

// The quant matrix extension's flags are traced from level 1 on.
constexpr ElementSpec kQuantMatrixExtension[] = {
    kExtensionCode,
    kExtensionIdentifier,
    {"load_intra_quantiser_matrix", 1, false, "  load_intra_quantiser_matrix=%d\n", 1},
    {"intra_quantiser_matrix", kMatrixBits, false, nullptr},
    {"load_non_intra_quantiser_matrix", 1, false, "  load_non_intra_quantiser_matrix=%d\n", 1},
    {"non_intra_quantiser_matrix", kMatrixBits, false, nullptr},
    {"load_chroma_intra_quantiser_matrix", 1, false, "  load_chroma_intra_quantiser_matrix=%d\n",
     1},
    {"chroma_intra_quantiser_matrix", kMatrixBits, false, nullptr},
    {"load_chroma_non_intra_quantiser_matrix", 1, false,
     "  load_chroma_non_intra_quantiser_matrix=%d\n", 1},
    {"chroma_non_intra_quantiser_matrix", kMatrixBits, false, nullptr},
};
static_assert(std::size(kQuantMatrixExtension) == elements::quant_matrix_extension::kCount);

constexpr ElementSpec kCopyrightExtension[] = {
    kExtensionCode,
    kExtensionIdentifier,
    {"copyright_flag", 1, false, nullptr},
    {"copyright_identifier", 8, false, nullptr},
    {"original_or_copy", 1, false, nullptr},
    {"reserved", 7, false, nullptr},
    kMarker,
    {"copyright_number_1", 20, false, nullptr},
    kMarker,
    {"copyright_number_2", 22, false, nullptr},
    kMarker,
    {"copyright_number_3", 22, false, nullptr},
};
static_assert(std::size(kCopyrightExtension) == elements::copyright_extension::kCount);

// The trace prints the time code on one line, a part from each of its elements.
constexpr ElementSpec kGroupOfPictures[] = {
    {"group_start_code", 32, false, nullptr},
    {"drop_frame_flag", 1, false, "  drop_flag=%d\n"},
    {"time_code_hours", 5, false, "  timecode %d"},
    {"time_code_minutes", 6, false, ":%02d"},
    kMarker,
    {"time_code_seconds", 6, false, ":%02d"},
    {"time_code_pictures", 6, false, ":%02d\n"},
    {"closed_gop", 1, false, "  closed_gop=%d\n"},
    {"broken_link", 1, false, "  broken_link=%d\n"},
};
static_assert(std::size(kGroupOfPictures) == elements::group_of_pictures::kCount);

constexpr ElementSpec kPictureHeader[] = {
    {"picture_start_code", 32, false, nullptr},
    {"temporal_reference", 10, false, "  temp_ref=%d\n"},
    {"picture_coding_type", 3, false, "  pict_type=%d\n"},
    {"vbv_delay", 16, false, "  vbv_delay=%d\n"},
    {"full_pel_forward_vector", 1, false, "  full_forw=%d\n"},
    {"forward_f_code", 3, false, "  forw_r_size=%d\n"},
    {"full_pel_backward_vector", 1, false, "  full_back=%d\n"},
    {"backward_f_code", 3, false, "  back_r_size=%d\n"},
    {"extra_information_picture", 0, false, nullptr},
    {"extra_bit_picture", 1, false, nullptr},
};
static_assert(std::size(kPictureHeader) == elements::picture_header::kCount);

constexpr ElementSpec kPictureCodingExtension[] = {
    kExtensionCode,
    kExtensionIdentifier,
    {"f_code[0][0]", 4, false, "  forward_horizontal_f_code=%d\n"},
    {"f_code[0][1]", 4, false, "  forward_vertical_f_code=%d\n"},
    {"f_code[1][0]", 4, false, "  backward_horizontal_f_code=%d\n"},
    {"f_code[1][1]", 4, false, "  backward_vertical_f_code=%d\n"},
    {"intra_dc_precision", 2, false, "  intra_dc_precision=%d\n"},
    {"picture_structure", 2, false, "  picture_structure=%d\n"},
    {"top_field_first", 1, false, "  top_field_first=%d\n"},
    {"frame_pred_frame_dct", 1, false, "  frame_pred_frame_dct=%d\n"},
    {"concealment_motion_vectors", 1, false, "  concealment_motion_vectors=%d\n"},
    {"q_scale_type", 1, false, "  q_scale_type=%d\n"},
    {"intra_vlc_format", 1, false, "  intra_vlc_format=%d\n"},
    {"alternate_scan", 1, false, "  alternate_scan=%d\n"},
    {"repeat_first_field", 1, false, "  repeat_first_field=%d\n"},
    {"chroma_420_type", 1, false, "  chroma_420_type=%d\n"},
    {"progressive_frame", 1, false, "  progressive_frame=%d\n"},
    {"composite_display_flag", 1, false, "  composite_display_flag=%d\n"},
    {"v_axis", 1, false, "    v_axis=%d\n"},
    {"field_sequence", 3, false, "    field_sequence=%d\n"},
    {"sub_carrier", 1, false, "    sub_carrier=%d\n"},
    {"burst_amplitude", 7, false, "    burst_amplitude=%d\n"},
    {"sub_carrier_phase", 8, false, "    sub_carrier_phase=%d\n"},
};
static_assert(std::size(kPictureCodingExtension) == elements::picture_coding_extension::kCount);

constexpr ElementSpec kPictureDisplayExtension[] = {
    kExtensionCode,
    kExtensionIdentifier,
    {"frame_centre_horizontal_offset[0]", 16, true, "  frame_centre_horizontal_offset[0]=%d\n"},
    kMarker,
    {"frame_centre_vertical_offset[0]", 16, true, "  frame_centre_vertical_offset[0]=%d\n"},
    kMarker,
    {"frame_centre_horizontal_offset[1]", 16, true, "  frame_centre_horizontal_offset[1]=%d\n"},
    kMarker,
    {"frame_centre_vertical_offset[1]", 16, true, "  frame_centre_vertical_offset[1]=%d\n"},
    kMarker,
    {"frame_centre_horizontal_offset[2]", 16, true, "  frame_centre_horizontal_offset[2]=%d\n"},
    kMarker,
    {"frame_centre_vertical_offset[2]", 16, true, "  frame_centre_vertical_offset[2]=%d\n"},
    kMarker,
};
static_assert(std::size(kPictureDisplayExtension) == elements::picture_display_extension::kCount);

constexpr ElementSpec kPictureSpatialScalableExtension[] = {
    kExtensionCode,
    kExtensionIdentifier,
    {"lower_layer_temporal_reference", 10, false, "  lower_layer_temporal_reference=%d\n"},
    kMarker,
    {"lower_layer_horizontal_offset", 15, true, "  lower_layer_horizontal_offset=%d\n"},
    kMarker,
    {"lower_layer_vertical_offset", 15, true, "  lower_layer_vertical_offset=%d\n"},
    {"spatial_temporal_weight_code_table_index", 2, false,
     "  spatial_temporal_weight_code_table_index=%d\n"},
    {"lower_layer_progressive_frame", 1, false, "  lower_layer_progressive_frame=%d\n"},
    {"lower_layer_deinterlaced_field_select", 1, false,
     "  lower_layer_deinterlaced_field_select=%d\n"},
};
static_assert(std::size(kPictureSpatialScalableExtension) ==
              elements::picture_spatial_scalable_extension::kCount);

constexpr ElementSpec kUserData[] = {
    {"user_data_start_code", 32, false, nullptr},
    {"user_data", 0, false, nullptr},
};
static_assert(std::size(kUserData) == elements::user_data::kCount);

constexpr ElementSpec kSliceHeader[] = {
    {"slice_start_code", 32, false, nullptr},
    {"slice_vertical_position_extension", 3, false, "  slice_vertical_position_extension=%d\n", 4},
    {"priority_breakpoint", 7, false, "  priority_breakpoint=%d\n", 4},
    {"quantiser_scale_code", 5, false, "  quantizer_scale_code=%d\n", 4},
    {"intra_slice_flag", 1, false, nullptr},
    {"intra_slice", 1, false, nullptr},
    {"reserved_bits", 7, false, nullptr},
    {"extra_information_slice", 0, false, nullptr},
    {"extra_bit_slice", 1, false, nullptr},
};
static_assert(std::size(kSliceHeader) == elements::slice_header::kCount);

constexpr ElementSpec kSequenceEnd[] = {{"sequence_end_code", 32, false, nullptr}};
static_assert(std::size(kSequenceEnd) == elements::sequence_end::kCount);

constexpr uint8_t kNotTraced = 255;

// Indexed by HeaderKind.
constexpr HeaderSpec kHeaderSpecs[] = {
    {"sequence_header", "sequence header", 1, true, kSequenceHeader},
    {"sequence_extension", "sequence extension", 1, true, kSequenceExtension},
    {"sequence_display_extension", "sequence display extension", 1, true,
     kSequenceDisplayExtension},
    {"sequence_scalable_extension", "sequence scalable extension", 1, true,
     kSequenceScalableExtension},
    {"quant_matrix_extension", "quant matrix extension", 1, true, kQuantMatrixExtension},
    {"copyright_extension", "copyright extension", kNotTraced, true, kCopyrightExtension},
    {"group_of_pictures_header", "group of pictures", 1, true, kGroupOfPictures},
    {"picture_header", "picture header", 1, true, kPictureHeader},
    {"picture_coding_extension", "picture coding extension", 1, true, kPictureCodingExtension},
    {"picture_display_extension", "picture display extension", 1, true, kPictureDisplayExtension},
    {"picture_spatial_scalable_extension", "picture spatial scalable extension", 1, true,
     kPictureSpatialScalableExtension},
    {"user_data", "user data", 1, false, kUserData},
    {"slice", "slice header", 3, true, kSliceHeader},
    {"sequence_end_code", "sequence end", kNotTraced, true, kSequenceEnd},
};
static_assert(std::size(kHeaderSpecs) == kHeaderKinds);

constexpr size_t kLongest = [] {
  size_t longest = 0;
  for (const HeaderSpec& spec : kHeaderSpecs) longest = std::max(longest, spec.elements.size());
  return longest;
}();
static_assert(kLongest <= kMaxHeaderElements);

}  // namespace

const HeaderSpec& header_spec(HeaderKind kind) {
  return kHeaderSpecs[static_cast<size_t>(kind)];
}

}  // namespace tavik
