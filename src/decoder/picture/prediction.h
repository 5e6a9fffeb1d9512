#pragma once

#include "decoder/syntax/decoder_state.h"

namespace tavik {

// frame_motion_type / field_motion_type values (ISO/IEC 13818-2 Tables 6-17 and 6-18).
enum MotionType : int {
  kMotionField = 1,
  kMotionFrame = 2,  // frame pictures
  kMotion16x8 = 2,   // field pictures
  kMotionDualPrime = 3,
};

// The frame sets a prediction reads and writes.
struct PredictionFrames {
  FramePlanes older_reference;  // forward reference
  FramePlanes newer_reference;  // backward reference; for I/P pictures also the frame decoded
  FramePlanes current;          // frame base of the picture decoded (not advanced for a bottom
                                // field)
  bool second_field = false;    // this field picture is the second field of its frame
  // The upsampled lower layer of a spatially scalable picture, or nullptr when it has none.
  const FramePlanes* spatial = nullptr;
};

// Forms the motion-compensated prediction of the macroblock at luminance position (bx, by) (by
// in field lines for field pictures) in `frames.current`. Reference fetches outside the picture
// repeat its edge samples. In spatially scalable pictures the temporal prediction is combined
// with the spatial one as the weight type `stwtype` says. `count` macroblocks side by side are
// predicted alike (a run of skipped macroblocks, frame or field motion, without a spatial
// prediction): the set-up is done once for the run.
void predict_macroblock(DecoderContext& ctx, const PredictionFrames& frames, int bx, int by,
                        int mb_type, int motion_type, const int PMV[2][2][2],
                        const int motion_vertical_field_select[2][2], const int dmvector[2],
                        int stwtype, int count = 1);

}  // namespace tavik
