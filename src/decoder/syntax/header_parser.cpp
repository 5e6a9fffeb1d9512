#include "decoder/syntax/header_parser.h"

#include <algorithm>
#include <cstdint>

#include "base/fatal_error.h"
#include "base/messages.h"
#include "base/picture_type.h"
#include "decoder/syntax/header_trace.h"
#include "decoder/syntax/scan_tables.h"

namespace tavik {

namespace {

// extension_start_code_identifier values (ISO/IEC 13818-2 Table 6-2).
enum ExtensionId : int {
  kSequenceExtension = 1,
  kSequenceDisplayExtension = 2,
  kQuantMatrixExtension = 3,
  kCopyrightExtension = 4,
  kSequenceScalableExtension = 5,
  kPictureDisplayExtension = 7,
  kPictureCodingExtension = 8,
  kPictureSpatialScalableExtension = 9,
  kPictureTemporalScalableExtension = 10,
};

constexpr int kDefaultNonIntraWeight = 16;

// A field of `bits` bits in two's complement.
[[nodiscard]] constexpr int to_signed(uint32_t value, int bits) {
  const int64_t half = int64_t{1} << (bits - 1);
  return static_cast<int>(value >= half ? value - 2 * half : value);
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

HeaderParser::HeaderParser(DecoderContext& ctx, HeaderEvents& events, int verbose_level,
                           bool all_sequences)
    : ctx_(ctx),
      reader_(ctx.layer.reader),
      events_(events),
      verbose_level_(verbose_level),
      all_sequences_(all_sequences) {}

HeaderRecord& HeaderParser::begin(HeaderKind kind, uint32_t code, int64_t bit_offset) {
  HeaderRecord& h = records_[static_cast<size_t>(kind)];
  h.kind = kind;
  h.bit_offset = bit_offset;
  std::fill_n(h.elements.begin(), h.element_count(), SyntaxElement{});
  h.elements[0] = {bit_offset, static_cast<int32_t>(code), 32};
  return h;
}

HeaderRecord& HeaderParser::begin(HeaderKind kind, uint32_t code) {
  return begin(kind, code, static_cast<int64_t>(reader_.consumed_bits()) - 32);
}

int HeaderParser::read(HeaderRecord& h, int element) {
  const ElementSpec& spec = h.spec().elements[element];
  SyntaxElement& e = h.elements[element];
  e.bit_offset = static_cast<int64_t>(reader_.consumed_bits());
  e.bits = spec.bits;
  const uint32_t raw = reader_.read_bits(spec.bits);
  e.value = spec.is_signed ? to_signed(raw, spec.bits) : static_cast<int32_t>(raw);
  return e.value;
}

void HeaderParser::read_range(HeaderRecord& h, int first, int last) {
  for (int element = first; element <= last; ++element) read(h, element);
}

void HeaderParser::read_matrix(HeaderRecord& h, int element, int slot,
                               std::array<int, 64>& matrix) {
  h.elements[element] = {static_cast<int64_t>(reader_.consumed_bits()), slot, 64 * 8};
  for (size_t i = 0; i < kZigzagScan.size(); ++i) {
    const auto value = static_cast<uint8_t>(reader_.read_bits(8));
    h.matrices[slot][i] = value;
    matrix[kZigzagScan[i]] = value;
  }
}

void HeaderParser::read_extra_information(HeaderRecord& h, int information, int last_bit) {
  const auto start = static_cast<int64_t>(reader_.consumed_bits());
  int64_t at = start;
  int32_t bytes = 0;
  while (reader_.read_bit()) {
    reader_.skip_bits(8);
    ++bytes;
    at = static_cast<int64_t>(reader_.consumed_bits());
  }
  if (bytes != 0) h.elements[information] = {start, bytes, static_cast<uint32_t>(9 * bytes)};
  h.elements[last_bit] = {at, 0, 1};
}

void HeaderParser::finish(HeaderRecord& h) {
  h.bit_end = static_cast<int64_t>(reader_.consumed_bits());
  if (verbose_level_ != 0) trace_header(h, verbose_level_, *ctx_.messages);
  events_.header_read(h);
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
        const int64_t bit_offset = sequence_end();
        const bool follows = sequence_follows();
        // The end code's bytes then count into the picture before it. The next sequence is
        // MPEG-1 unless a sequence extension follows its header.
        if (follows && all_sequences_) {
          ctx_.layer.mpeg2 = false;
          set_mpeg1_values(ctx_.vars);
          break;
        }
        events_.sequence_end_code(bit_offset >> 3, follows);
        return 0;
      }
      default:
        if (!ctx_.quiet)
          ctx_.messages->err(format_text("Unexpected startcode %08x (ignored)\n", code));
        break;
    }
  }
}

int64_t HeaderParser::sequence_end() {
  HeaderRecord& h = begin(HeaderKind::kSequenceEnd, kSequenceEndCode);
  finish(h);
  return h.bit_offset;
}

bool HeaderParser::sequence_follows() {
  reader_.next_start_code();
  return reader_.peek_bits(32) == kSequenceHeaderCode;
}

void HeaderParser::sequence_header() {
  using namespace elements::sequence_header;
  HeaderRecord& h = begin(HeaderKind::kSequenceHeader, kSequenceHeaderCode);
  LayerState& layer = ctx_.layer;
  read_range(h, kHorizontalSizeValue, kLoadIntraQuantiserMatrix);
  if (h.value(kLoadIntraQuantiserMatrix)) {
    read_matrix(h, kIntraQuantiserMatrix, 0, layer.intra_quantiser_matrix);
  } else {
    std::copy(kDefaultIntraQuantiserMatrix.begin(), kDefaultIntraQuantiserMatrix.end(),
              layer.intra_quantiser_matrix.begin());
  }
  if (read(h, kLoadNonIntraQuantiserMatrix)) {
    read_matrix(h, kNonIntraQuantiserMatrix, 1, layer.non_intra_quantiser_matrix);
  } else {
    layer.non_intra_quantiser_matrix.fill(kDefaultNonIntraWeight);
  }
  layer.chroma_intra_quantiser_matrix = layer.intra_quantiser_matrix;
  layer.chroma_non_intra_quantiser_matrix = layer.non_intra_quantiser_matrix;
  ctx_.vars.horizontal_size = h.value(kHorizontalSizeValue);
  ctx_.vars.vertical_size = h.value(kVerticalSizeValue);
  finish(h);
  extension_and_user_data();
}

void HeaderParser::group_of_pictures_header() {
  using namespace elements::group_of_pictures;
  HeaderRecord& h = begin(HeaderKind::kGroupOfPictures, kGroupStartCode);
  read_range(h, kDropFrameFlag, kBrokenLink);
  finish(h);
  extension_and_user_data();
}

void HeaderParser::picture_header() {
  using namespace elements::picture_header;
  HeaderRecord& h = begin(HeaderKind::kPictureHeader, kPictureStartCode);
  DecodingVariables& vars = ctx_.vars;
  ctx_.layer.picture_spatial_scalable = false;
  vars.temporal_reference = read(h, kTemporalReference);
  vars.picture_coding_type = read(h, kPictureCodingType);
  events_.picture_type_read(vars.picture_coding_type);
  read(h, kVbvDelay);
  if (vars.picture_coding_type == kPPicture || vars.picture_coding_type == kBPicture) {
    vars.full_forw = read(h, kFullPelForwardVector);
    vars.forw_r_size = read(h, kForwardFCode) - 1;
  }
  if (vars.picture_coding_type == kBPicture) {
    vars.full_back = read(h, kFullPelBackwardVector);
    vars.back_r_size = read(h, kBackwardFCode) - 1;
  }
  read_extra_information(h, kExtraInformation, kExtraBitPicture);
  finish(h);
  extension_and_user_data();
}

int HeaderParser::read_slice_header(uint32_t slice_start_code) {
  using namespace elements::slice_header;
  HeaderRecord& h = begin(HeaderKind::kSliceHeader, slice_start_code);
  LayerState& layer = ctx_.layer;
  if (layer.mpeg2 && ctx_.vars.vertical_size > 2800) read(h, kSliceVerticalPositionExtension);
  if (layer.scalable_mode == kDataPartitioning) {
    layer.priority_breakpoint = read(h, kPriorityBreakpoint);
  }
  layer.quantiser_scale =
      quantiser_scale_of(read(h, kQuantiserScaleCode), layer.mpeg2, layer.q_scale_type);
  const auto flag_at = static_cast<int64_t>(reader_.consumed_bits());
  if (reader_.read_bit()) {
    h.elements[kIntraSliceFlag] = {flag_at, 1, 1};
    read_range(h, kIntraSlice, kReservedBits);
    read_extra_information(h, kExtraInformation, kExtraBitSlice);
  } else {
    h.elements[kExtraBitSlice] = {flag_at, 0, 1};
  }
  finish(h);
  events_.slice_start(slice_start_code);
  return h.value(kSliceVerticalPositionExtension);
}

void HeaderParser::user_data() {
  HeaderRecord& h = begin(HeaderKind::kUserData, kUserDataStartCode);
  // The user data bytes run up to the next start code.
  const auto start = static_cast<int64_t>(reader_.consumed_bits());
  reader_.next_start_code();
  const auto end = static_cast<int64_t>(reader_.consumed_bits());
  if (end > start) {
    h.elements[elements::user_data::kUserData] = {start, static_cast<int32_t>((end - start) >> 3),
                                                  static_cast<uint32_t>(end - start)};
  }
  finish(h);
}

void HeaderParser::extension_and_user_data() {
  for (;;) {
    reader_.next_start_code();
    const uint32_t code = reader_.peek_bits(32);
    if (code == kUserDataStartCode) {
      reader_.read_bits32();
      user_data();
      continue;
    }
    if (code != kExtensionStartCode) return;
    reader_.read_bits32();
    const auto identifier_at = static_cast<int64_t>(reader_.consumed_bits());
    const int id = static_cast<int>(reader_.read_bits(4));
    const auto extension = [&](HeaderKind kind) -> HeaderRecord& {
      HeaderRecord& h = begin(kind, code, identifier_at - 32);
      h.elements[elements::extension::kIdentifier] = {identifier_at, id, 4};
      return h;
    };
    switch (id) {
      case kSequenceExtension:
        sequence_extension(extension(HeaderKind::kSequenceExtension));
        break;
      case kSequenceDisplayExtension:
        sequence_display_extension(extension(HeaderKind::kSequenceDisplayExtension));
        break;
      case kQuantMatrixExtension:
        quant_matrix_extension(extension(HeaderKind::kQuantMatrixExtension));
        break;
      case kSequenceScalableExtension:
        sequence_scalable_extension(extension(HeaderKind::kSequenceScalableExtension));
        break;
      case kPictureDisplayExtension:
        picture_display_extension(extension(HeaderKind::kPictureDisplayExtension));
        break;
      case kPictureCodingExtension:
        picture_coding_extension(extension(HeaderKind::kPictureCodingExtension));
        break;
      case kPictureSpatialScalableExtension:
        picture_spatial_scalable_extension(extension(HeaderKind::kPictureSpatialScalableExtension));
        break;
      case kPictureTemporalScalableExtension:
        throw FatalError("temporal scalability not supported\n");
      case kCopyrightExtension:
        // Read into its record, and reported as the decoder has always reported it.
        ctx_.messages->err(format_text("reserved extension start code ID %d\n", id));
        copyright_extension(extension(HeaderKind::kCopyrightExtension));
        break;
      default:
        // Reported whatever quiet says; the extension's bytes are skipped by the next search.
        ctx_.messages->err(format_text("reserved extension start code ID %d\n", id));
        break;
    }
  }
}

void HeaderParser::sequence_extension(HeaderRecord& h) {
  using namespace elements::sequence_extension;
  DecodingVariables& vars = ctx_.vars;
  ctx_.layer.mpeg2 = true;
  ctx_.layer.scalable_mode = kNotScalable;
  read_range(h, kProfileAndLevelIndication, kFrameRateExtensionD);
  vars.progressive_sequence = h.value(kProgressiveSequence);
  vars.chroma_format = h.value(kChromaFormat);
  vars.horizontal_size = (vars.horizontal_size & 0xFFF) | (h.value(kHorizontalSizeExtension) << 12);
  vars.vertical_size = (vars.vertical_size & 0xFFF) | (h.value(kVerticalSizeExtension) << 12);
  finish(h);
}

void HeaderParser::sequence_display_extension(HeaderRecord& h) {
  using namespace elements::sequence_display_extension;
  read_range(h, kVideoFormat, kColourDescription);
  if (h.value(kColourDescription)) {
    read_range(h, kColourPrimaries, kMatrixCoefficients);
    ctx_.vars.matrix_coefficients = h.value(kMatrixCoefficients);
  }
  read_range(h, kDisplayHorizontalSize, kDisplayVerticalSize);
  finish(h);
}

void HeaderParser::quant_matrix_extension(HeaderRecord& h) {
  using namespace elements::quant_matrix_extension;
  LayerState& layer = ctx_.layer;
  if (read(h, kLoadIntraQuantiserMatrix)) {
    read_matrix(h, kIntraQuantiserMatrix, 0, layer.intra_quantiser_matrix);
    layer.chroma_intra_quantiser_matrix = layer.intra_quantiser_matrix;
  }
  if (read(h, kLoadNonIntraQuantiserMatrix)) {
    read_matrix(h, kNonIntraQuantiserMatrix, 1, layer.non_intra_quantiser_matrix);
    layer.chroma_non_intra_quantiser_matrix = layer.non_intra_quantiser_matrix;
  }
  if (read(h, kLoadChromaIntraQuantiserMatrix)) {
    read_matrix(h, kChromaIntraQuantiserMatrix, 2, layer.chroma_intra_quantiser_matrix);
  }
  if (read(h, kLoadChromaNonIntraQuantiserMatrix)) {
    read_matrix(h, kChromaNonIntraQuantiserMatrix, 3, layer.chroma_non_intra_quantiser_matrix);
  }
  finish(h);
}

void HeaderParser::sequence_scalable_extension(HeaderRecord& h) {
  using namespace elements::sequence_scalable_extension;
  DecodingVariables& vars = ctx_.vars;
  LayerState& layer = ctx_.layer;
  layer.scalable_mode = read(h, kScalableMode) + 1;
  read(h, kLayerId);
  if (layer.scalable_mode == kSpatialScalability) {
    read_range(h, kLowerLayerPredictionHorizontalSize, kVerticalSubsamplingFactorN);
    vars.lower_layer_prediction_horizontal_size = h.value(kLowerLayerPredictionHorizontalSize);
    vars.lower_layer_prediction_vertical_size = h.value(kLowerLayerPredictionVerticalSize);
    vars.horizontal_subsampling_factor_m = h.value(kHorizontalSubsamplingFactorM);
    vars.horizontal_subsampling_factor_n = h.value(kHorizontalSubsamplingFactorN);
    vars.vertical_subsampling_factor_m = h.value(kVerticalSubsamplingFactorM);
    vars.vertical_subsampling_factor_n = h.value(kVerticalSubsamplingFactorN);
  }
  if (layer.scalable_mode == kTemporalScalability) {
    throw FatalError("temporal scalability not implemented\n");
  }
  finish(h);
}

void HeaderParser::copyright_extension(HeaderRecord& h) {
  using namespace elements::copyright_extension;
  for (int element = kCopyrightFlag; element <= kCopyrightNumber3; ++element) {
    if (!read_before_start_code(h, element)) break;
  }
  finish(h);
}

bool HeaderParser::read_before_start_code(HeaderRecord& h, int element) {
  SyntaxElement read_so_far{static_cast<int64_t>(reader_.consumed_bits()), 0, 0};
  const int bits = h.spec().elements[element].bits;
  for (int left = bits; left > 0;) {
    const int in_byte = static_cast<int>(reader_.consumed_bits() & 7);
    if (in_byte == 0 && reader_.peek_bits(24) == 1) return false;
    const int take = std::min(left, 8 - in_byte);
    read_so_far.value = (read_so_far.value << take) | static_cast<int32_t>(reader_.read_bits(take));
    left -= take;
  }
  read_so_far.bits = static_cast<uint32_t>(bits);
  h.elements[element] = read_so_far;
  return true;
}

void HeaderParser::picture_display_extension(HeaderRecord& h) {
  using namespace elements::picture_display_extension;
  const DecodingVariables& vars = ctx_.vars;
  // ISO/IEC 13818-2 6.3.12: the number of frame centre offsets.
  int count = 1;
  if (!vars.progressive_sequence && vars.picture_structure == 3) {
    count = vars.repeat_first_field ? 3 : 2;
  }
  read_range(h, kFirstOffset, kFirstOffset + count * kElementsPerOffset - 1);
  finish(h);
}

void HeaderParser::picture_coding_extension(HeaderRecord& h) {
  using namespace elements::picture_coding_extension;
  DecodingVariables& vars = ctx_.vars;
  LayerState& layer = ctx_.layer;
  read_range(h, kForwardHorizontalFCode, kCompositeDisplayFlag);
  if (h.value(kCompositeDisplayFlag)) read_range(h, kVAxis, kSubCarrierPhase);
  vars.forw_hor_r_size = h.value(kForwardHorizontalFCode) - 1;
  vars.forw_vert_r_size = h.value(kForwardVerticalFCode) - 1;
  vars.back_hor_r_size = h.value(kBackwardHorizontalFCode) - 1;
  vars.back_vert_r_size = h.value(kBackwardVerticalFCode) - 1;
  vars.intra_dc_precision = h.value(kIntraDcPrecision);
  vars.picture_structure = h.value(kPictureStructure);
  vars.top_field_first = h.value(kTopFieldFirst);
  vars.frame_pred_frame_dct = h.value(kFramePredFrameDct);
  vars.concealment_motion_vectors = h.value(kConcealmentMotionVectors);
  layer.q_scale_type = h.value(kQScaleType);
  vars.intra_vlc_format = h.value(kIntraVlcFormat);
  layer.alternate_scan = h.value(elements::picture_coding_extension::kAlternateScan);
  vars.repeat_first_field = h.value(kRepeatFirstField);
  vars.progressive_frame = h.value(kProgressiveFrame);
  finish(h);
}

void HeaderParser::picture_spatial_scalable_extension(HeaderRecord& h) {
  using namespace elements::picture_spatial_scalable_extension;
  DecodingVariables& vars = ctx_.vars;
  ctx_.layer.picture_spatial_scalable = true;
  read_range(h, kLowerLayerTemporalReference, kLowerLayerDeinterlacedFieldSelect);
  vars.lower_layer_temporal_reference = h.value(kLowerLayerTemporalReference);
  vars.lower_layer_horizontal_offset = h.value(kLowerLayerHorizontalOffset);
  vars.lower_layer_vertical_offset = h.value(kLowerLayerVerticalOffset);
  vars.spatial_temporal_weight_code_table_index = h.value(kSpatialTemporalWeightCodeTableIndex);
  vars.lower_layer_progressive_frame = h.value(kLowerLayerProgressiveFrame);
  vars.lower_layer_deinterlaced_field_select = h.value(kLowerLayerDeinterlacedFieldSelect);
  finish(h);
}

}  // namespace tavik
