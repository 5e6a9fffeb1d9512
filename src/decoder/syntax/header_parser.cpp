#include "decoder/syntax/header_parser.h"

#include <algorithm>
#include <cstdint>

#include "base/fatal_error.h"
#include "base/messages.h"
#include "base/picture_type.h"
#include "decoder/syntax/scan_tables.h"

namespace tavik {

namespace {

// extension_start_code_identifier values (ISO/IEC 13818-2 Table 6-2).
enum ExtensionId : int {
  kSequenceExtension = 1,
  kSequenceDisplayExtension = 2,
  kQuantMatrixExtension = 3,
  kSequenceScalableExtension = 5,
  kPictureDisplayExtension = 7,
  kPictureCodingExtension = 8,
  kPictureSpatialScalableExtension = 9,
  kPictureTemporalScalableExtension = 10,
};

constexpr int kDefaultNonIntraWeight = 16;

// A field of `bits` bits in two's complement.
[[nodiscard]] constexpr int to_signed(int value, int bits) {
  const int half = 1 << (bits - 1);
  return value >= half ? value - 2 * half : value;
}

}  // namespace

void set_mpeg1_values(DecodingVariables& vars) {
  vars.progressive_sequence = 1;
  vars.progressive_frame = 1;
  vars.picture_structure = 3;
  vars.frame_pred_frame_dct = 1;
  vars.chroma_format = 1;
  vars.matrix_coefficients = 5;
}

HeaderParser::HeaderParser(DecoderContext& ctx, HeaderEvents& events, StreamInfo& info,
                           int verbose_level, bool all_sequences)
    : ctx_(ctx),
      reader_(ctx.layer.reader),
      events_(events),
      info_(info),
      verbose_level_(verbose_level),
      all_sequences_(all_sequences) {}

long long HeaderParser::header_byte() const {
  return static_cast<long long>(reader_.consumed_bits() >> 3) - 4;
}

int HeaderParser::read_headers() {
  for (;;) {
    reader_.next_start_code();
    const uint32_t code = reader_.read_bits32();
    switch (code) {
      case kPictureStartCode:
        events_.picture_start_code();
        picture_header();
        return 1;
      case kSequenceHeaderCode:
        sequence_header();
        break;
      case kGroupStartCode:
        group_of_pictures_header();
        break;
      case kSequenceEndCode: {
        const long long byte = header_byte();
        info_.sequence_end_read();
        if (sequence_follows()) {
          // The end code's bytes then count into the picture before it. The next sequence is
          // MPEG-1 unless a sequence extension follows its header.
          if (all_sequences_) {
            ctx_.layer.mpeg2 = false;
            set_mpeg1_values(ctx_.vars);
            break;
          }
          info_.stopped_at = byte;
        }
        events_.sequence_end_code();
        return 0;
      }
      default:
        if (!ctx_.quiet)
          ctx_.messages->err(format_text("Unexpected startcode %08x (ignored)\n", code));
        break;
    }
  }
}

bool HeaderParser::sequence_follows() {
  reader_.next_start_code();
  return reader_.peek_bits(32) == kSequenceHeaderCode;
}

void HeaderParser::load_matrix(std::array<int, 64>& matrix) {
  for (const uint8_t position : kZigzagScan) matrix[position] = read_field(8);
}

void HeaderParser::skip_extra_information() {
  while (reader_.read_bit()) reader_.skip_bits(8);
}

void HeaderParser::sequence_header() {
  const long long byte = header_byte();
  DecodingVariables& vars = ctx_.vars;
  LayerState& layer = ctx_.layer;
  vars.horizontal_size = read_field(12);
  vars.vertical_size = read_field(12);
  const int aspect_ratio = read_field(4);
  const int picture_rate = read_field(4);
  const int bit_rate = read_field(18);
  reader_.skip_bits(1);  // marker
  const int vbv_buffer_size = read_field(10);
  const int constrained_parameters_flag = read_field(1);
  info_.sequence_header_read();
  SequenceValues& values = info_.current;
  values.horizontal_size = vars.horizontal_size;
  values.vertical_size = vars.vertical_size;
  values.aspect_ratio_information = aspect_ratio;
  values.frame_rate_code = picture_rate;
  values.bit_rate_value = bit_rate;
  values.vbv_buffer_size_value = vbv_buffer_size;

  const int load_intra_quantiser_matrix = read_field(1);
  if (load_intra_quantiser_matrix) {
    load_matrix(layer.intra_quantiser_matrix);
  } else {
    std::copy(kDefaultIntraQuantiserMatrix.begin(), kDefaultIntraQuantiserMatrix.end(),
              layer.intra_quantiser_matrix.begin());
  }
  const int load_non_intra_quantiser_matrix = read_field(1);
  if (load_non_intra_quantiser_matrix) {
    load_matrix(layer.non_intra_quantiser_matrix);
  } else {
    layer.non_intra_quantiser_matrix.fill(kDefaultNonIntraWeight);
  }
  layer.chroma_intra_quantiser_matrix = layer.intra_quantiser_matrix;
  layer.chroma_non_intra_quantiser_matrix = layer.non_intra_quantiser_matrix;

  if (tracing(1)) print(format_text("sequence header (byte %lld)\n", byte));
  if (tracing(2)) {
    print(format_text("  horizontal_size=%d\n", vars.horizontal_size));
    print(format_text("  vertical_size=%d\n", vars.vertical_size));
    print(format_text("  aspect_ratio=%d\n", aspect_ratio));
    print(format_text("  picture_rate=%d\n", picture_rate));
    print(format_text("  bit_rate=%d\n", bit_rate));
    print(format_text("  vbv_buffer_size=%d\n", vbv_buffer_size));
    print(format_text("  constrained_parameters_flag=%d\n", constrained_parameters_flag));
    print(format_text("  load_intra_quantizer_matrix=%d\n", load_intra_quantiser_matrix));
    print(format_text("  load_non_intra_quantizer_matrix=%d\n", load_non_intra_quantiser_matrix));
  }
  extension_and_user_data();
}

void HeaderParser::group_of_pictures_header() {
  const long long byte = header_byte();
  const int drop_frame_flag = read_field(1);
  const int hours = read_field(5);
  const int minutes = read_field(6);
  reader_.skip_bits(1);  // marker
  const int seconds = read_field(6);
  const int pictures = read_field(6);
  const int closed_gop = read_field(1);
  const int broken_link = read_field(1);
  info_.group_read(closed_gop != 0);

  if (tracing(1)) print(format_text("group of pictures (byte %lld)\n", byte));
  if (tracing(2)) {
    print(format_text("  drop_flag=%d\n", drop_frame_flag));
    print(format_text("  timecode %d:%02d:%02d:%02d\n", hours, minutes, seconds, pictures));
    print(format_text("  closed_gop=%d\n", closed_gop));
    print(format_text("  broken_link=%d\n", broken_link));
  }
  extension_and_user_data();
}

void HeaderParser::picture_header() {
  const long long byte = header_byte();
  DecodingVariables& vars = ctx_.vars;
  ctx_.layer.picture_spatial_scalable = false;
  vars.temporal_reference = read_field(10);
  vars.picture_coding_type = read_field(3);
  events_.picture_type_read(vars.picture_coding_type);
  const int vbv_delay = read_field(16);
  const bool has_forward =
      vars.picture_coding_type == kPPicture || vars.picture_coding_type == kBPicture;
  const bool has_backward = vars.picture_coding_type == kBPicture;
  int forward_f_code = 0;
  int backward_f_code = 0;
  if (has_forward) {
    vars.full_forw = read_field(1);
    forward_f_code = read_field(3);
    vars.forw_r_size = forward_f_code - 1;
  }
  if (has_backward) {
    vars.full_back = read_field(1);
    backward_f_code = read_field(3);
    vars.back_r_size = backward_f_code - 1;
  }
  skip_extra_information();
  info_.picture_header_read();

  if (tracing(1)) print(format_text("picture header (byte %lld)\n", byte));
  if (tracing(2)) {
    print(format_text("  temp_ref=%d\n", vars.temporal_reference));
    print(format_text("  pict_type=%d\n", vars.picture_coding_type));
    print(format_text("  vbv_delay=%d\n", vbv_delay));
    if (has_forward) {
      print(format_text("  full_forw=%d\n", vars.full_forw));
      print(format_text("  forw_r_size=%d\n", forward_f_code));
    }
    if (has_backward) {
      print(format_text("  full_back=%d\n", vars.full_back));
      print(format_text("  back_r_size=%d\n", backward_f_code));
    }
  }
  extension_and_user_data();
}

int HeaderParser::read_slice_header(uint32_t slice_start_code) {
  const long long byte = header_byte();
  LayerState& layer = ctx_.layer;
  const bool has_extension = layer.mpeg2 && ctx_.vars.vertical_size > 2800;
  const int slice_vertical_position_extension = has_extension ? read_field(3) : 0;
  if (layer.scalable_mode == kDataPartitioning) layer.priority_breakpoint = read_field(7);
  const int quantiser_scale_code = read_field(5);
  layer.quantiser_scale = quantiser_scale_of(quantiser_scale_code, layer.mpeg2, layer.q_scale_type);
  if (reader_.read_bit()) {
    reader_.skip_bits(8);  // intra_slice and reserved_bits
    skip_extra_information();
  }

  if (tracing(3)) print(format_text("slice header (byte %lld)\n", byte));
  if (tracing(4)) {
    if (has_extension) {
      print(format_text("  slice_vertical_position_extension=%d\n",
                        slice_vertical_position_extension));
    }
    if (layer.scalable_mode == kDataPartitioning) {
      print(format_text("  priority_breakpoint=%d\n", layer.priority_breakpoint));
    }
    print(format_text("  quantizer_scale_code=%d\n", quantiser_scale_code));
  }
  events_.slice_start(slice_start_code);
  return slice_vertical_position_extension;
}

void HeaderParser::extension_and_user_data() {
  for (;;) {
    reader_.next_start_code();
    const uint32_t code = reader_.peek_bits(32);
    if (code == kUserDataStartCode) {
      if (verbose_level_ != 0) print("user data\n");
      // The user data bytes are passed over by the next start code search.
      reader_.read_bits32();
      continue;
    }
    if (code != kExtensionStartCode) return;
    reader_.read_bits32();
    const int id = read_field(4);
    switch (id) {
      case kSequenceExtension:
        sequence_extension();
        break;
      case kSequenceDisplayExtension:
        sequence_display_extension();
        break;
      case kQuantMatrixExtension:
        quant_matrix_extension();
        break;
      case kSequenceScalableExtension:
        sequence_scalable_extension();
        break;
      case kPictureDisplayExtension:
        picture_display_extension();
        break;
      case kPictureCodingExtension:
        picture_coding_extension();
        break;
      case kPictureSpatialScalableExtension:
        picture_spatial_scalable_extension();
        break;
      case kPictureTemporalScalableExtension:
        throw FatalError("temporal scalability not supported\n");
      default:
        // Reported whatever quiet says; the extension's bytes are skipped by the next search.
        ctx_.messages->err(format_text("reserved extension start code ID %d\n", id));
        break;
    }
  }
}

void HeaderParser::sequence_extension() {
  const long long byte = header_byte();
  DecodingVariables& vars = ctx_.vars;
  LayerState& layer = ctx_.layer;
  layer.mpeg2 = true;
  layer.scalable_mode = kNotScalable;
  const int profile_and_level_indication = read_field(8);
  vars.progressive_sequence = read_field(1);
  vars.chroma_format = read_field(2);
  const int horizontal_size_extension = read_field(2);
  const int vertical_size_extension = read_field(2);
  const int bit_rate_extension = read_field(12);
  reader_.skip_bits(1);  // marker
  const int vbv_buffer_size_extension = read_field(8);
  const int low_delay = read_field(1);
  const int frame_rate_extension_n = read_field(2);
  const int frame_rate_extension_d = read_field(5);
  vars.horizontal_size = (vars.horizontal_size & 0xFFF) | (horizontal_size_extension << 12);
  vars.vertical_size = (vars.vertical_size & 0xFFF) | (vertical_size_extension << 12);
  SequenceValues& values = info_.current;
  values.mpeg2 = true;
  values.horizontal_size = vars.horizontal_size;
  values.vertical_size = vars.vertical_size;
  values.profile_and_level_indication = profile_and_level_indication;
  values.progressive_sequence = vars.progressive_sequence;
  values.chroma_format = vars.chroma_format;
  values.bit_rate_value |= int64_t{bit_rate_extension} << 18;
  values.vbv_buffer_size_value |= int64_t{vbv_buffer_size_extension} << 10;
  values.frame_rate_extension_n = frame_rate_extension_n;
  values.frame_rate_extension_d = frame_rate_extension_d;

  if (tracing(1)) print(format_text("sequence extension (byte %lld)\n", byte));
  if (tracing(2)) {
    print(format_text("  profile_and_level_indication=%d\n", profile_and_level_indication));
    if (profile_and_level_indication < 128) {
      print(format_text("    profile=%d, level=%d\n", profile_and_level_indication >> 4,
                        profile_and_level_indication & 15));
    }
    print(format_text("  progressive_sequence=%d\n", vars.progressive_sequence));
    print(format_text("  chroma_format=%d\n", vars.chroma_format));
    print(format_text("  horizontal_size_extension=%d\n", horizontal_size_extension));
    print(format_text("  vertical_size_extension=%d\n", vertical_size_extension));
    print(format_text("  bit_rate_extension=%d\n", bit_rate_extension));
    print(format_text("  vbv_buffer_size_extension=%d\n", vbv_buffer_size_extension));
    print(format_text("  low_delay=%d\n", low_delay));
    print(format_text("  frame_rate_extension_n=%d\n", frame_rate_extension_n));
    print(format_text("  frame_rate_extension_d=%d\n", frame_rate_extension_d));
  }
}

void HeaderParser::sequence_display_extension() {
  const long long byte = header_byte();
  const int video_format = read_field(3);
  const int colour_description = read_field(1);
  int colour_primaries = 0;
  int transfer_characteristics = 0;
  if (colour_description) {
    colour_primaries = read_field(8);
    transfer_characteristics = read_field(8);
    ctx_.vars.matrix_coefficients = read_field(8);
  }
  const int display_horizontal_size = read_field(14);
  reader_.skip_bits(1);  // marker
  const int display_vertical_size = read_field(14);
  info_.current.display_horizontal_size = display_horizontal_size;
  info_.current.display_vertical_size = display_vertical_size;

  if (tracing(1)) print(format_text("sequence display extension (byte %lld)\n", byte));
  if (tracing(2)) {
    print(format_text("  video_format=%d\n", video_format));
    print(format_text("  colour_description=%d\n", colour_description));
    if (colour_description) {
      print(format_text("    colour_primaries=%d\n", colour_primaries));
      print(format_text("    transfer_characteristics=%d\n", transfer_characteristics));
      print(format_text("    matrix_coefficients=%d\n", ctx_.vars.matrix_coefficients));
    }
    print(format_text("  display_horizontal_size=%d\n", display_horizontal_size));
    print(format_text("  display_vertical_size=%d\n", display_vertical_size));
  }
}

void HeaderParser::quant_matrix_extension() {
  const long long byte = header_byte();
  LayerState& layer = ctx_.layer;
  const int load_intra_quantiser_matrix = read_field(1);
  if (load_intra_quantiser_matrix) {
    load_matrix(layer.intra_quantiser_matrix);
    layer.chroma_intra_quantiser_matrix = layer.intra_quantiser_matrix;
  }
  const int load_non_intra_quantiser_matrix = read_field(1);
  if (load_non_intra_quantiser_matrix) {
    load_matrix(layer.non_intra_quantiser_matrix);
    layer.chroma_non_intra_quantiser_matrix = layer.non_intra_quantiser_matrix;
  }
  const int load_chroma_intra_quantiser_matrix = read_field(1);
  if (load_chroma_intra_quantiser_matrix) load_matrix(layer.chroma_intra_quantiser_matrix);
  const int load_chroma_non_intra_quantiser_matrix = read_field(1);
  if (load_chroma_non_intra_quantiser_matrix) load_matrix(layer.chroma_non_intra_quantiser_matrix);

  if (tracing(1)) {
    print(format_text("quant matrix extension (byte %lld)\n", byte));
    print(format_text("  load_intra_quantiser_matrix=%d\n", load_intra_quantiser_matrix));
    print(format_text("  load_non_intra_quantiser_matrix=%d\n", load_non_intra_quantiser_matrix));
    print(format_text("  load_chroma_intra_quantiser_matrix=%d\n",
                      load_chroma_intra_quantiser_matrix));
    print(format_text("  load_chroma_non_intra_quantiser_matrix=%d\n",
                      load_chroma_non_intra_quantiser_matrix));
  }
}

void HeaderParser::sequence_scalable_extension() {
  const long long byte = header_byte();
  DecodingVariables& vars = ctx_.vars;
  LayerState& layer = ctx_.layer;
  const int scalable_mode = read_field(2);
  layer.scalable_mode = scalable_mode + 1;
  const int layer_id = read_field(4);
  if (layer.scalable_mode == kSpatialScalability) {
    vars.lower_layer_prediction_horizontal_size = read_field(14);
    reader_.skip_bits(1);  // marker
    vars.lower_layer_prediction_vertical_size = read_field(14);
    vars.horizontal_subsampling_factor_m = read_field(5);
    vars.horizontal_subsampling_factor_n = read_field(5);
    vars.vertical_subsampling_factor_m = read_field(5);
    vars.vertical_subsampling_factor_n = read_field(5);
  }
  if (layer.scalable_mode == kTemporalScalability) {
    throw FatalError("temporal scalability not implemented\n");
  }

  if (tracing(1)) print(format_text("sequence scalable extension (byte %lld)\n", byte));
  if (tracing(2)) {
    print(format_text("  scalable_mode=%d\n", scalable_mode));
    print(format_text("  layer_id=%d\n", layer_id));
    if (layer.scalable_mode == kSpatialScalability) {
      print(format_text("    lower_layer_prediction_horiontal_size=%d\n",
                        vars.lower_layer_prediction_horizontal_size));
      print(format_text("    lower_layer_prediction_vertical_size=%d\n",
                        vars.lower_layer_prediction_vertical_size));
      print(format_text("    horizontal_subsampling_factor_m=%d\n",
                        vars.horizontal_subsampling_factor_m));
      print(format_text("    horizontal_subsampling_factor_n=%d\n",
                        vars.horizontal_subsampling_factor_n));
      print(format_text("    vertical_subsampling_factor_m=%d\n",
                        vars.vertical_subsampling_factor_m));
      print(format_text("    vertical_subsampling_factor_n=%d\n",
                        vars.vertical_subsampling_factor_n));
    }
  }
}

void HeaderParser::picture_display_extension() {
  const long long byte = header_byte();
  const DecodingVariables& vars = ctx_.vars;
  // ISO/IEC 13818-2 6.3.12: the number of frame centre offsets.
  int count = 1;
  if (!vars.progressive_sequence && vars.picture_structure == 3) {
    count = vars.repeat_first_field ? 3 : 2;
  }
  std::array<int, 3> horizontal_offset{};
  std::array<int, 3> vertical_offset{};
  for (int i = 0; i < count; ++i) {
    horizontal_offset[i] = to_signed(read_field(16), 16);
    reader_.skip_bits(1);  // marker
    vertical_offset[i] = to_signed(read_field(16), 16);
    reader_.skip_bits(1);  // marker
  }

  if (tracing(1)) print(format_text("picture display extension (byte %lld)\n", byte));
  if (tracing(2)) {
    for (int i = 0; i < count; ++i) {
      print(format_text("  frame_centre_horizontal_offset[%d]=%d\n", i, horizontal_offset[i]));
      print(format_text("  frame_centre_vertical_offset[%d]=%d\n", i, vertical_offset[i]));
    }
  }
}

void HeaderParser::picture_coding_extension() {
  const long long byte = header_byte();
  DecodingVariables& vars = ctx_.vars;
  LayerState& layer = ctx_.layer;
  std::array<int, 4> f_code{};
  for (int& code : f_code) code = read_field(4);
  vars.forw_hor_r_size = f_code[0] - 1;
  vars.forw_vert_r_size = f_code[1] - 1;
  vars.back_hor_r_size = f_code[2] - 1;
  vars.back_vert_r_size = f_code[3] - 1;
  vars.intra_dc_precision = read_field(2);
  vars.picture_structure = read_field(2);
  vars.top_field_first = read_field(1);
  vars.frame_pred_frame_dct = read_field(1);
  vars.concealment_motion_vectors = read_field(1);
  layer.q_scale_type = read_field(1);
  vars.intra_vlc_format = read_field(1);
  layer.alternate_scan = read_field(1);
  vars.repeat_first_field = read_field(1);
  const int chroma_420_type = read_field(1);
  vars.progressive_frame = read_field(1);
  const int composite_display_flag = read_field(1);
  info_.picture_coding_extension_read(vars);
  int v_axis = 0;
  int field_sequence = 0;
  int sub_carrier = 0;
  int burst_amplitude = 0;
  int sub_carrier_phase = 0;
  if (composite_display_flag) {
    v_axis = read_field(1);
    field_sequence = read_field(3);
    sub_carrier = read_field(1);
    burst_amplitude = read_field(7);
    sub_carrier_phase = read_field(8);
  }

  if (tracing(1)) print(format_text("picture coding extension (byte %lld)\n", byte));
  if (tracing(2)) {
    print(format_text("  forward_horizontal_f_code=%d\n", f_code[0]));
    print(format_text("  forward_vertical_f_code=%d\n", f_code[1]));
    print(format_text("  backward_horizontal_f_code=%d\n", f_code[2]));
    print(format_text("  backward_vertical_f_code=%d\n", f_code[3]));
    print(format_text("  intra_dc_precision=%d\n", vars.intra_dc_precision));
    print(format_text("  picture_structure=%d\n", vars.picture_structure));
    print(format_text("  top_field_first=%d\n", vars.top_field_first));
    print(format_text("  frame_pred_frame_dct=%d\n", vars.frame_pred_frame_dct));
    print(format_text("  concealment_motion_vectors=%d\n", vars.concealment_motion_vectors));
    print(format_text("  q_scale_type=%d\n", layer.q_scale_type));
    print(format_text("  intra_vlc_format=%d\n", vars.intra_vlc_format));
    print(format_text("  alternate_scan=%d\n", layer.alternate_scan));
    print(format_text("  repeat_first_field=%d\n", vars.repeat_first_field));
    print(format_text("  chroma_420_type=%d\n", chroma_420_type));
    print(format_text("  progressive_frame=%d\n", vars.progressive_frame));
    print(format_text("  composite_display_flag=%d\n", composite_display_flag));
    if (composite_display_flag) {
      print(format_text("    v_axis=%d\n", v_axis));
      print(format_text("    field_sequence=%d\n", field_sequence));
      print(format_text("    sub_carrier=%d\n", sub_carrier));
      print(format_text("    burst_amplitude=%d\n", burst_amplitude));
      print(format_text("    sub_carrier_phase=%d\n", sub_carrier_phase));
    }
  }
}

void HeaderParser::picture_spatial_scalable_extension() {
  const long long byte = header_byte();
  DecodingVariables& vars = ctx_.vars;
  ctx_.layer.picture_spatial_scalable = true;
  vars.lower_layer_temporal_reference = read_field(10);
  reader_.skip_bits(1);  // marker
  vars.lower_layer_horizontal_offset = to_signed(read_field(15), 15);
  reader_.skip_bits(1);  // marker
  vars.lower_layer_vertical_offset = to_signed(read_field(15), 15);
  vars.spatial_temporal_weight_code_table_index = read_field(2);
  vars.lower_layer_progressive_frame = read_field(1);
  vars.lower_layer_deinterlaced_field_select = read_field(1);

  if (tracing(1)) print(format_text("picture spatial scalable extension (byte %lld)\n", byte));
  if (tracing(2)) {
    print(
        format_text("  lower_layer_temporal_reference=%d\n", vars.lower_layer_temporal_reference));
    print(format_text("  lower_layer_horizontal_offset=%d\n", vars.lower_layer_horizontal_offset));
    print(format_text("  lower_layer_vertical_offset=%d\n", vars.lower_layer_vertical_offset));
    print(format_text("  spatial_temporal_weight_code_table_index=%d\n",
                      vars.spatial_temporal_weight_code_table_index));
    print(format_text("  lower_layer_progressive_frame=%d\n", vars.lower_layer_progressive_frame));
    print(format_text("  lower_layer_deinterlaced_field_select=%d\n",
                      vars.lower_layer_deinterlaced_field_select));
  }
}

}  // namespace tavik
