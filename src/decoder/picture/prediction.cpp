#include "decoder/picture/prediction.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "decoder/dsp/dsp.h"
#include "decoder/picture/motion_vectors.h"
#include "decoder/scalable/spatial_prediction.h"

namespace tavik {

namespace {

// A predicted area: w x h samples at column x, row y. Rows count in units of `pitch` plane lines
// (1 in a frame, 2 in a field: the vertical interpolation neighbour is one unit down), and the
// area's rows lie `step` units apart (2 when one field of a frame is predicted with a frame
// vector).
struct Area {
  int pitch;
  int step;
  int w;
  int h;
  int x;
  int y;
};

// Local copy of a reference area that reaches outside the plane: at most 16 rows plus the
// interpolation line, 16 samples plus the interpolation column.
constexpr int kEdgeStride = 17;
constexpr int kEdgeLines = 17;

// Where a prediction reads and writes: one plane, or both chrominance planes, which share
// their size. A field (src_field, dst_field 1 = bottom) starts one line further.
struct PlaneJob {
  const uint8_t* const* src;
  uint8_t* const* dst;
  int planes;
  int src_field;
  int dst_field;
  int width;
  int height;
};

// A reference area that reaches outside the plane, fetched with its coordinates clamped to the
// plane, keeping the field parity of the lines. The kernel advances source and destination rows
// alike, so it runs on local copies of both. Out of line: the common path stays small.
// row0 and col0: the area's first reference line (from the field's first) and column.
[[gnu::noinline]] void predict_clamped(PredictFn kernel, const uint8_t* src, uint8_t* out,
                                       const PlaneJob& p, const Area& a, int row0, int col0, int dx,
                                       int dy, bool average) {
  const int h_half = dx & 1;
  const int lines = a.step * (a.h - 1) + 1 + (dy & 1);
  const int first_line = row0 & (a.pitch - 1);  // the parity kept: row0 modulo the pitch
  const int last_line = first_line + a.pitch * ((p.height - 1 - first_line) / a.pitch);
  const int row_step = a.step * kEdgeStride;
  const int lx2 = a.step * a.pitch * p.width;
  uint8_t edge[kEdgeLines * kEdgeStride];
  uint8_t predicted[kEdgeLines * kEdgeStride];
  for (int m = 0; m < lines; ++m) {
    const uint8_t* line = src + std::clamp(row0 + a.pitch * m, first_line, last_line) * p.width;
    for (int c = 0; c < a.w + h_half; ++c) {
      edge[m * kEdgeStride + c] = line[std::clamp(col0 + c, 0, p.width - 1)];
    }
  }
  if (average) {
    for (int i = 0; i < a.h; ++i) std::memcpy(predicted + i * row_step, out + i * lx2, a.w);
  }
  kernel(predicted, edge, kEdgeStride, row_step, a.h);
  for (int i = 0; i < a.h; ++i) std::memcpy(out + i * lx2, predicted + i * row_step, a.w);
}

// The area in each plane of the job, and the `count` - 1 areas to its right.
[[gnu::always_inline]] inline void predict_planes(const PredictTable& kernels, const PlaneJob& p,
                                                  const Area& a, int dx, int dy, bool average,
                                                  int count) {
  const int h_half = dx & 1;
  const int v_half = dy & 1;
  const PredictFn kernel = kernels[average][a.w == 16][v_half][h_half];
  const int row0 = p.src_field + a.pitch * (a.y + (dy >> 1));
  const int last_row = row0 + a.pitch * (a.step * (a.h - 1) + v_half);
  const int lx = a.pitch * p.width;
  const bool rows_inside = row0 >= 0 && last_row < p.height;
  for (int m = 0; m < count; ++m) {
    const int x = a.x + m * a.w;
    const int col0 = x + (dx >> 1);
    const int out_offset = p.dst_field * p.width + lx * a.y + x;
    if (rows_inside && col0 >= 0 && col0 + a.w + h_half <= p.width) {
      const int in_offset = row0 * p.width + col0;
      for (int k = 0; k < p.planes; ++k) {
        kernel(p.dst[k] + out_offset, p.src[k] + in_offset, lx, a.step * lx, a.h);
      }
      continue;
    }
    for (int k = 0; k < p.planes; ++k) {
      predict_clamped(kernel, p.src[k], p.dst[k] + out_offset, p, a, row0, col0, dx, dy, average);
    }
  }
}

// All three planes; the chrominance area and vector follow from the luminance ones by the
// chroma format, the vector divided with truncation toward zero. Inlined into each call site,
// where the area's shape is a constant.
[[gnu::always_inline]] inline void predict_area(const PredictTable& kernels, const FrameGeometry& g,
                                                const FramePlanes& src, int src_field,
                                                const FramePlanes& dst, int dst_field, Area a,
                                                int dx, int dy, bool average, int count) {
  predict_planes(kernels,
                 {src.plane, dst.plane, 1, src_field, dst_field, g.coded_width, g.coded_height}, a,
                 dx, dy, average, count);
  if (g.chroma_format != 3) {
    // Sizes and positions are not negative; vectors are.
    a.w >>= 1;
    a.x >>= 1;
    dx /= 2;
    if (g.chroma_format == 1) {
      a.h >>= 1;
      a.y >>= 1;
      dy /= 2;
    }
  }
  predict_planes(
      kernels,
      {src.plane + 1, dst.plane + 1, 2, src_field, dst_field, g.chroma_width, g.chroma_height}, a,
      dx, dy, average, count);
}

// What one direction of a macroblock's prediction needs.
struct Direction {
  const FramePlanes* reference;
  // Field pictures: the reference of the fields with the other parity than the current field
  // (the frame decoded, for the second field of a P frame).
  const FramePlanes* opposite_parity;
  int s;
  int motion_type;
  bool dual_prime_allowed;
};

class MacroblockPrediction {
 public:
  MacroblockPrediction(const DecoderContext& ctx, const PredictionFrames& frames, int bx, int by,
                       const int (*PMV)[2][2], const int (*select)[2], const int* dmvector,
                       int count)
      : kernels_(dsp_kernels().predict),
        geometry_(ctx.geometry),
        vars_(ctx.vars),
        current_(frames.current),
        bx_(bx),
        by_(by),
        PMV_(PMV),
        select_(select),
        dmvector_(dmvector),
        count_(count) {}

  // Returns false when the motion type is not one the picture structure allows.
  bool frame_picture(const Direction& d, int top, int bottom) const {
    const int* mv0 = PMV_[0][d.s];
    const int* mv1 = PMV_[1][d.s];
    if (d.motion_type == kMotionFrame) {
      // A frame vector, interpolated between frame lines: both fields at once when they are
      // weighted alike.
      if (top == bottom) {
        if (top < 2) area(*d.reference, 0, 0, {1, 1, 16, 16, bx_, by_}, mv0[0], mv0[1], top);
        return true;
      }
      const Area half{1, 2, 16, 8, bx_, by_};
      if (top < 2) area(*d.reference, 0, 0, half, mv0[0], mv0[1], top);
      if (bottom < 2) area(*d.reference, 1, 1, half, mv0[0], mv0[1], bottom);
      return true;
    }
    const Area field{2, 1, 16, 8, bx_, by_ >> 1};
    if (d.motion_type == kMotionField) {
      if (top < 2) area(*d.reference, select_[0][d.s], 0, field, mv0[0], mv0[1] >> 1, top);
      if (bottom < 2) area(*d.reference, select_[1][d.s], 1, field, mv1[0], mv1[1] >> 1, bottom);
      return true;
    }
    if (d.motion_type == kMotionDualPrime && d.dual_prime_allowed) {
      const int mvx = mv0[0];
      const int mvy = mv0[1] >> 1;
      int DMV[2][2];
      dual_prime_vectors(DMV, dmvector_, mvx, mvy, 3, vars_.top_field_first);
      if (top < 2) {
        area(*d.reference, 0, 0, field, mvx, mvy, false);
        area(*d.reference, 1, 0, field, DMV[0][0], DMV[0][1], true);
      }
      if (bottom < 2) {
        area(*d.reference, 1, 1, field, mvx, mvy, false);
        area(*d.reference, 0, 1, field, DMV[1][0], DMV[1][1], true);
      }
      return true;
    }
    return false;
  }

  bool field_picture(const Direction& d, int top) const {
    const int field = vars_.picture_structure == 2 ? 1 : 0;
    const int* mv0 = PMV_[0][d.s];
    const int* mv1 = PMV_[1][d.s];
    const auto source = [&](int select) -> const FramePlanes& {
      return select != field ? *d.opposite_parity : *d.reference;
    };
    if (d.motion_type == kMotionField) {
      const int sel = select_[0][d.s];
      if (top < 2) area(source(sel), sel, field, {2, 1, 16, 16, bx_, by_}, mv0[0], mv0[1], top);
      return true;
    }
    if (d.motion_type == kMotion16x8) {
      if (top < 2) {
        const int upper = select_[0][d.s];
        const int lower = select_[1][d.s];
        area(source(upper), upper, field, {2, 1, 16, 8, bx_, by_}, mv0[0], mv0[1], top);
        area(source(lower), lower, field, {2, 1, 16, 8, bx_, by_ + 8}, mv1[0], mv1[1], top);
      }
      return true;
    }
    if (d.motion_type == kMotionDualPrime && d.dual_prime_allowed) {
      const Area full{2, 1, 16, 16, bx_, by_};
      int DMV[2][2];
      dual_prime_vectors(DMV, dmvector_, mv0[0], mv0[1], vars_.picture_structure,
                         vars_.top_field_first);
      area(*d.reference, field, field, full, mv0[0], mv0[1], false);
      area(source(1 - field), 1 - field, field, full, DMV[0][0], DMV[0][1], true);
      return true;
    }
    return false;
  }

 private:
  [[gnu::always_inline]] void area(const FramePlanes& src, int src_field, int dst_field,
                                   const Area& a, int dx, int dy, int average) const {
    predict_area(kernels_, geometry_, src, src_field, current_, dst_field, a, dx, dy, average != 0,
                 count_);
  }

  const PredictTable& kernels_;
  const FrameGeometry& geometry_;
  const DecodingVariables& vars_;
  const FramePlanes& current_;
  int bx_;
  int by_;
  const int (*PMV_)[2][2];
  const int (*select_)[2];
  const int* dmvector_;
  int count_;
};

}  // namespace

void predict_macroblock(DecoderContext& ctx, const PredictionFrames& frames, int bx, int by,
                        int mb_type, int motion_type, const int PMV[2][2][2],
                        const int motion_vertical_field_select[2][2], const int dmvector[2],
                        int stwtype, int count) {
  // Per field: 0 write, 1 average with the destination, 2 no temporal prediction (a field
  // predicted from the lower layer alone). Other fields get the whole temporal prediction,
  // which the spatial one is combined with afterwards.
  int top = stwtype % 3 == 2 ? 2 : 0;
  int bottom = stwtype / 3 == 2 ? 2 : 0;
  const bool frame_picture = ctx.vars.picture_structure == 3;
  const bool p_picture = ctx.vars.picture_coding_type == 2;
  const MacroblockPrediction mb(ctx, frames, bx, by, PMV, motion_vertical_field_select, dmvector,
                                count);
  const auto predict = [&](const Direction& d) {
    const bool valid = frame_picture ? mb.frame_picture(d, top, bottom) : mb.field_picture(d, top);
    if (!valid) ctx.messages->out("invalid motion_type\n");
  };
  if ((mb_type & kMbForward) || p_picture) {
    // A P macroblock without a forward vector is predicted from the same place (zero vector).
    const int forward_type =
        (frame_picture && !(mb_type & kMbForward)) ? static_cast<int>(kMotionFrame) : motion_type;
    const bool from_first_field = p_picture && frames.second_field;
    predict({&frames.older_reference,
             from_first_field ? &frames.newer_reference : &frames.older_reference, 0, forward_type,
             true});
    // A backward prediction is averaged with the forward one.
    top = std::min(top + 1, 2);
    bottom = std::min(bottom + 1, 2);
  }
  if (mb_type & kMbBackward) {
    predict({&frames.newer_reference, &frames.newer_reference, 1, motion_type, false});
  }
  if (ctx.layer.picture_spatial_scalable && stwtype != 0) {
    combine_spatial_prediction(ctx.geometry, ctx.vars.picture_structure, frames.spatial,
                               frames.current, bx, by, stwtype);
  }
}

}  // namespace tavik
