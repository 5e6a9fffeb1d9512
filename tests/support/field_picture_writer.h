#pragma once

#include <cstdint>
#include <vector>

#include "support/moving_frames.h"

namespace tavik::test {

// A writer of MPEG-2 Main Profile elementary streams made only of field pictures, for checking
// decoders on field prediction. Frames are interlaced: even lines are the top field.
struct FieldStreamOptions {
  bool top_field_first = true;  // the first field picture of each frame is the top (else bottom)
  int gop_size = 6;             // frames per GOP
  int b_frames = 2;             // B frames between reference frames (0 allowed)
  int quantiser_scale_code = 4;
  bool use_16x8 = true;  // allow 16x8 motion compensation (some macroblocks are made to use it)
  bool closed_gop = true;
};

// What the writer put in the stream, counted per field picture and per macroblock.
struct FieldStreamStats {
  int top_field_pictures = 0;
  int bottom_field_pictures = 0;
  int i_field_pictures = 0;
  int p_field_pictures = 0;
  int b_field_pictures = 0;
  int p_fields_of_i_frames = 0;  // second fields of I frames, predicted from their first field
  int intra_macroblocks = 0;
  int skipped_p_macroblocks = 0;
  int skipped_b_macroblocks = 0;
  // Coded predicted macroblocks by direction and by field_motion_type.
  int forward_macroblocks = 0;
  int backward_macroblocks = 0;
  int interpolated_macroblocks = 0;
  int field_motion_macroblocks = 0;
  int motion_16x8_macroblocks = 0;
  // Coded motion vectors by the field motion_vertical_field_select picks.
  int same_parity_vectors = 0;
  int opposite_parity_vectors = 0;
  int same_frame_vectors = 0;  // second fields predicted from the first field of their frame
};

struct FieldStream {
  std::vector<uint8_t> bytes;
  FieldStreamStats stats;
  std::vector<YuvFrame> decoded;  // the writer's own decode, in display order: what a decoder
                                  // must output, up to inverse DCT rounding
};

// Codes `frames` (at least one, all width x height, both multiples of 16) in display order. The
// coded height is rounded up to a multiple of 32; the sequence header carries the true size.
// Throws std::invalid_argument on frames of the wrong size or a quantiser_scale_code out of
// 1..31.
FieldStream encode_field_picture_stream(const std::vector<YuvFrame>& frames, int width, int height,
                                        const FieldStreamOptions& options);

// Just the stream's bytes.
std::vector<uint8_t> write_field_picture_stream(const std::vector<YuvFrame>& frames, int width,
                                                int height, const FieldStreamOptions& options);

}  // namespace tavik::test
