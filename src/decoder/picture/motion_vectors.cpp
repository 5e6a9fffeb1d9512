#include "decoder/picture/motion_vectors.h"

#include <algorithm>
#include <cstdint>

namespace tavik {

namespace {

// A motion_code magnitude and the length of its code without the sign bit.
struct MotionCodeEntry {
  int8_t value;
  int8_t length;
};

// ISO/IEC 13818-2 Table B-10, looked up with the 10 bits that start with the leading 0:
// window >= 64 by its top 4 bits, >= 24 by its top 7 bits, >= 12 directly.
constexpr MotionCodeEntry kMotionCodeShort[8] = {{0, 0}, {3, 4}, {2, 3}, {2, 3},
                                                 {1, 2}, {1, 2}, {1, 2}, {1, 2}};
constexpr MotionCodeEntry kMotionCodeMedium[8] = {{0, 0}, {0, 0}, {0, 0}, {7, 7},
                                                  {6, 7}, {5, 7}, {4, 6}, {4, 6}};
constexpr MotionCodeEntry kMotionCodeLong[12] = {{16, 10}, {15, 10}, {14, 10}, {13, 10},
                                                 {12, 10}, {11, 10}, {10, 9},  {10, 9},
                                                 {9, 9},   {9, 9},   {8, 9},   {8, 9}};

// Reads one component's motion_code and motion_residual and updates its predictor.
void read_vector_component(DecoderContext& ctx, int& pred, int r_size, int full_pel_vector) {
  // f_code 0 is forbidden and gives r_size -1: a damaged header's 0 is taken as 1.
  r_size = std::max(r_size, 0);
  const int motion_code = read_motion_code(ctx);
  const int motion_residual =
      (r_size != 0 && motion_code != 0) ? static_cast<int>(ctx.layer.reader.read_bits(r_size)) : 0;
  update_vector_component(pred, r_size, motion_code, motion_residual, full_pel_vector);
}

// v / 2 and 3v / 2 rounded away from zero on halves, as the dual prime scaling requires.
int half(int v) {
  return (v + (v > 0 ? 1 : 0)) >> 1;
}
int three_half(int v) {
  return (3 * v + (v > 0 ? 1 : 0)) >> 1;
}

}  // namespace

int read_motion_code(DecoderContext& ctx) {
  BitReader& reader = ctx.layer.reader;
  if (reader.peek_bits(1) == 1) {
    reader.skip_bits(1);
    return 0;
  }
  const uint32_t code = reader.peek_bits(10);
  MotionCodeEntry entry;
  if (code >= 64) {
    entry = kMotionCodeShort[code >> 6];
  } else if (code >= 24) {
    entry = kMotionCodeMedium[code >> 3];
  } else if (code >= 12) {
    entry = kMotionCodeLong[code - 12];
  } else {
    ctx.warn("Invalid motion_vector code\n");
    ctx.decode_fault = true;
    return 0;
  }
  reader.skip_bits(entry.length);
  return reader.read_bit() ? -entry.value : entry.value;
}

int read_dmvector(DecoderContext& ctx) {
  BitReader& reader = ctx.layer.reader;
  if (reader.read_bit() == 0) return 0;
  return reader.read_bit() ? -1 : 1;
}

void update_vector_component(int& pred, int r_size, int motion_code, int motion_residual,
                             int full_pel_vector) {
  const int lim = 16 << r_size;
  int vector = full_pel_vector ? (pred >> 1) : pred;
  if (motion_code > 0) {
    vector += ((motion_code - 1) << r_size) + motion_residual + 1;
    if (vector >= lim) vector -= 2 * lim;
  } else if (motion_code < 0) {
    vector -= ((-motion_code - 1) << r_size) + motion_residual + 1;
    if (vector < -lim) vector += 2 * lim;
  }
  pred = full_pel_vector ? vector * 2 : vector;
}

void read_motion_vector(DecoderContext& ctx, int PMV[2], int dmvector[2], int h_r_size,
                        int v_r_size, int dmv, int mvscale, int full_pel_vector) {
  read_vector_component(ctx, PMV[0], h_r_size, full_pel_vector);
  if (dmv) dmvector[0] = read_dmvector(ctx);
  if (mvscale) PMV[1] >>= 1;
  read_vector_component(ctx, PMV[1], v_r_size, full_pel_vector);
  if (mvscale) PMV[1] *= 2;
  if (dmv) dmvector[1] = read_dmvector(ctx);
}

void read_motion_vectors(DecoderContext& ctx, int PMV[2][2][2], int dmvector[2],
                         int motion_vertical_field_select[2][2], int s, int motion_vector_count,
                         int mv_format, int h_r_size, int v_r_size, int dmv, int mvscale) {
  BitReader& reader = ctx.layer.reader;
  if (motion_vector_count == 1) {
    if (mv_format == kMvFormatField && !dmv) {
      motion_vertical_field_select[0][s] = motion_vertical_field_select[1][s] = reader.read_bit();
    }
    read_motion_vector(ctx, PMV[0][s], dmvector, h_r_size, v_r_size, dmv, mvscale, 0);
    PMV[1][s][0] = PMV[0][s][0];
    PMV[1][s][1] = PMV[0][s][1];
  } else {
    motion_vertical_field_select[0][s] = reader.read_bit();
    read_motion_vector(ctx, PMV[0][s], dmvector, h_r_size, v_r_size, dmv, mvscale, 0);
    motion_vertical_field_select[1][s] = reader.read_bit();
    read_motion_vector(ctx, PMV[1][s], dmvector, h_r_size, v_r_size, dmv, mvscale, 0);
  }
}

void dual_prime_vectors(int DMV[2][2], const int dmvector[2], int mvx, int mvy,
                        int picture_structure, int top_field_first) {
  if (picture_structure == 3) {
    // The field nearer in time is scaled by 1/2, the farther one by 3/2.
    const bool top_near = top_field_first != 0;
    DMV[0][0] = (top_near ? half(mvx) : three_half(mvx)) + dmvector[0];
    DMV[0][1] = (top_near ? half(mvy) : three_half(mvy)) + dmvector[1] - 1;
    DMV[1][0] = (top_near ? three_half(mvx) : half(mvx)) + dmvector[0];
    DMV[1][1] = (top_near ? three_half(mvy) : half(mvy)) + dmvector[1] + 1;
  } else {
    DMV[0][0] = half(mvx) + dmvector[0];
    DMV[0][1] = half(mvy) + dmvector[1] + (picture_structure == 1 ? -1 : 1);
  }
}

}  // namespace tavik
