#pragma once

#include "decoder/syntax/decoder_state.h"

namespace tavik {

// How the vectors of a macroblock are arranged (ISO/IEC 13818-2 Tables 6-17 and 6-18).
enum MotionVectorFormat : int { kMvFormatField = 0, kMvFormatFrame = 1 };

// motion_code (ISO/IEC 13818-2 Table B-10) with its sign: -16..16. An invalid code warns, sets
// the decode fault and gives 0.
[[nodiscard]] int read_motion_code(DecoderContext& ctx);

// dmvector (ISO/IEC 13818-2 Table B-11): "0" 0, "10" 1, "11" -1.
[[nodiscard]] int read_dmvector(DecoderContext& ctx);

// Adds one decoded vector difference to the predictor `pred` (half-sample units) and wraps the
// result into the range allowed by r_size. Full-pel vectors (MPEG-1) are reconstructed in whole
// samples and stored back doubled.
void update_vector_component(int& pred, int r_size, int motion_code, int motion_residual,
                             int full_pel_vector);

// One motion vector: horizontal then vertical component, each followed by its dmvector when
// `dmv` is set. With mvscale 1 a field vector is predicted from a frame vector (vertical halved
// before the update, doubled after).
void read_motion_vector(DecoderContext& ctx, int PMV[2], int dmvector[2], int h_r_size,
                        int v_r_size, int dmv, int mvscale, int full_pel_vector);

// The motion vectors of one direction s (0 forward, 1 backward) of an MPEG-2 macroblock, with
// their field selects (ISO/IEC 13818-2 6.2.5.2).
void read_motion_vectors(DecoderContext& ctx, int PMV[2][2][2], int dmvector[2],
                         int motion_vertical_field_select[2][2], int s, int motion_vector_count,
                         int mv_format, int h_r_size, int v_r_size, int dmv, int mvscale);

// The dual prime vectors to the opposite-parity fields (ISO/IEC 13818-2 7.6.3.6). For frame
// pictures DMV[0] predicts the top field from the bottom reference field and DMV[1] the bottom
// field from the top; field pictures use DMV[0] only.
void dual_prime_vectors(int DMV[2][2], const int dmvector[2], int mvx, int mvy,
                        int picture_structure, int top_field_first);

}  // namespace tavik
