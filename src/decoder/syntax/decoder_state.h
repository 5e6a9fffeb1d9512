#pragma once

#include <array>
#include <cstdint>

#include "base/messages.h"
#include "decoder/syntax/bit_reader.h"

namespace tavik {

// The stream's decoding variables, named as in ISO/IEC 13818-2. The header parser writes them;
// the picture, block and motion layers and the display read them.
struct DecodingVariables {
  int horizontal_size = 0;
  int vertical_size = 0;
  int full_forw = 0;
  int forw_r_size = 0;
  int full_back = 0;
  int back_r_size = 0;
  int progressive_sequence = 0;
  int chroma_format = 1;  // 1 = 4:2:0, 2 = 4:2:2, 3 = 4:4:4
  int matrix_coefficients = 5;
  int forw_hor_r_size = 0;
  int forw_vert_r_size = 0;
  int back_hor_r_size = 0;
  int back_vert_r_size = 0;
  int intra_dc_precision = 0;
  int picture_structure = 3;  // 1 top field, 2 bottom field, 3 frame
  int top_field_first = 0;
  int frame_pred_frame_dct = 1;
  int concealment_motion_vectors = 0;
  int intra_vlc_format = 0;
  int repeat_first_field = 0;
  int progressive_frame = 0;
  int temporal_reference = 0;
  int picture_coding_type = 0;  // 1 I, 2 P, 3 B, 4 D
  // Spatial scalability: the lower layer's size, its upsampling and its place.
  int lower_layer_prediction_horizontal_size = 0;
  int lower_layer_prediction_vertical_size = 0;
  int horizontal_subsampling_factor_m = 0;
  int horizontal_subsampling_factor_n = 0;
  int vertical_subsampling_factor_m = 0;
  int vertical_subsampling_factor_n = 0;
  int lower_layer_temporal_reference = 0;
  int lower_layer_horizontal_offset = 0;
  int lower_layer_vertical_offset = 0;
  int spatial_temporal_weight_code_table_index = 0;
  int lower_layer_progressive_frame = 0;
  int lower_layer_deinterlaced_field_select = 0;
};

enum ScalableMode : int {
  kNotScalable = 0,
  kDataPartitioning = 1,
  kSpatialScalability = 2,
  kSnrScalability = 3,
  kTemporalScalability = 4,
};

// Bits of macroblock_type.
enum MacroblockTypeBits : int {
  kMbIntra = 1,
  kMbPattern = 2,
  kMbBackward = 4,
  kMbForward = 8,
  kMbQuant = 16,
  // Spatially scalable pictures: a spatial_temporal_weight_code may follow the type, and a
  // type whose only permitted weight class is 4 is predicted from the lower layer alone.
  kMbWeightCode = 32,
  kMbSpatialOnly = 64,
};

// The decoded layer: its bit reader, quantiser matrices, layer flags and block area.
// A quantiser matrix times quantiser_scale in the picture's scan order; scale -1: not built.
struct ScaledMatrix {
  int quantiser_scale = -1;
  std::array<int32_t, 64> values{};
  // The raster position of each scan index: beside the values, so that one register reaches
  // both.
  std::array<uint8_t, 64> positions{};
};

struct LayerState {
  BitReader reader;
  std::array<int, 64> intra_quantiser_matrix{};  // raster order
  std::array<int, 64> non_intra_quantiser_matrix{};
  std::array<int, 64> chroma_intra_quantiser_matrix{};
  std::array<int, 64> chroma_non_intra_quantiser_matrix{};
  bool mpeg2 = false;  // once a sequence extension has been read
  int scalable_mode = kNotScalable;
  int q_scale_type = 0;
  int alternate_scan = 0;
  bool picture_spatial_scalable = false;
  int priority_breakpoint = 0;
  int quantiser_scale = 0;
  // Intra and non-intra, luminance and chrominance matrices scaled for the block readers, each
  // built for the last quantiser_scale it served.
  std::array<ScaledMatrix, 4> scaled_matrices{};
  // 12 blocks of 64 dequantised coefficients, raster order (row * 8 + column).
  alignas(32) int16_t block[12][64]{};
  // Set by the intra block readers: the block holds its DC alone, and at most the mismatch
  // control's +-1 in its last coefficient.
  bool dc_only[12]{};

  // The matrices, the scan or MPEG-1/2 may have changed (they change between pictures only):
  // the scaled matrices are built afresh.
  void rescale_matrices() {
    for (ScaledMatrix& scaled : scaled_matrices) scaled.quantiser_scale = -1;
  }
};

// Sizes of the frame store, derived from the headers when a session's first picture is decoded.
struct FrameGeometry {
  int mb_columns = 0;
  int mb_rows = 0;
  int coded_width = 0;
  int coded_height = 0;
  int chroma_width = 0;
  int chroma_height = 0;
  int blocks_per_macroblock = 6;
  int chroma_format = 1;
};

// The three planes of one frame set: Y, Cb, Cr, row-major, no padding.
struct FramePlanes {
  uint8_t* plane[3] = {nullptr, nullptr, nullptr};
};

// The state shared by the picture, macroblock, block and motion layers of one session.
struct DecoderContext {
  explicit DecoderContext(Messages& sink) : messages(&sink) {}

  LayerState layer;
  DecodingVariables vars;
  FrameGeometry geometry;
  Messages* messages;
  // Set by a variable-length decoder that meets an invalid code; the picture layer then
  // resynchronises at the next slice.
  bool decode_fault = false;
  bool trace_enabled = false;
  bool quiet = false;

  // Warnings of the variable-length decoders ("Invalid ... code\n").
  void warn(const char* text) {
    if (!quiet) messages->err(text);
  }
};

}  // namespace tavik
