#include "decoder/prediction.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <random>
#include <vector>

#include "analysis/messages.h"
#include "decoder/decoder_state.h"
#include "decoder/motion_vectors.h"

namespace tavik {
namespace {

constexpr int kFrame = 3;
constexpr int kTopField = 1;
constexpr int kBottomField = 2;
constexpr int kP = 2;
constexpr int kB = 3;

// The three planes of one frame, owned.
struct FrameSet {
  std::array<std::vector<uint8_t>, 3> plane;
  [[nodiscard]] FramePlanes planes() {
    return FramePlanes{{plane[0].data(), plane[1].data(), plane[2].data()}};
  }
};

// A small decoder context with random reference frames, and a naive per-sample prediction to
// compare with.
class Pictures {
 public:
  Pictures(int width, int height, int chroma_format, uint32_t seed) {
    FrameGeometry& g = ctx.geometry;
    g.coded_width = width;
    g.coded_height = height;
    g.chroma_format = chroma_format;
    g.chroma_width = chroma_format == 3 ? width : width / 2;
    g.chroma_height = chroma_format == 1 ? height / 2 : height;
    ctx.vars.chroma_format = chroma_format;
    std::mt19937 random(seed);
    for (FrameSet* set : {&older, &newer, &b_frame}) {
      for (int c = 0; c < 3; ++c) {
        set->plane[c].resize(static_cast<size_t>(plane_width(c) * plane_height(c)));
        for (uint8_t& sample : set->plane[c]) sample = static_cast<uint8_t>(random());
      }
    }
  }

  [[nodiscard]] int plane_width(int c) const {
    return c == 0 ? ctx.geometry.coded_width : ctx.geometry.chroma_width;
  }
  [[nodiscard]] int plane_height(int c) const {
    return c == 0 ? ctx.geometry.coded_height : ctx.geometry.chroma_height;
  }

  void set_picture(int coding_type, int structure) {
    ctx.vars.picture_coding_type = coding_type;
    ctx.vars.picture_structure = structure;
  }

  // The frame set being decoded: the B frame or the newer reference.
  [[nodiscard]] FrameSet& current() { return ctx.vars.picture_coding_type == kB ? b_frame : newer; }

  [[nodiscard]] PredictionFrames frames(bool second_field = false) {
    return PredictionFrames{older.planes(), newer.planes(), current().planes(), second_field};
  }

  // Sample (x, y) of the frame (parity -1) or of one field, coordinates clamped into it.
  [[nodiscard]] static int fetch(const std::vector<uint8_t>& p, int width, int height, int parity,
                                 int x, int y) {
    x = std::clamp(x, 0, width - 1);
    if (parity < 0) return p[static_cast<size_t>(std::clamp(y, 0, height - 1) * width + x)];
    const int line = 2 * std::clamp(y, 0, height / 2 - 1) + parity;
    return p[static_cast<size_t>(line * width + x)];
  }

  // The prediction of a w x h luminance area at (x, y) of the destination frame or field from
  // the source frame or field, with vector (mvx, mvy) in half samples, and of the matching
  // chrominance areas.
  void naive_area(const FrameSet& src, int src_parity, FrameSet& dst, int dst_parity, int x, int y,
                  int w, int h, int mvx, int mvy, bool average) const {
    for (int c = 0; c < 3; ++c) {
      int cx = x, cy = y, cw = w, ch = h, dx = mvx, dy = mvy;
      if (c > 0 && ctx.geometry.chroma_format != 3) {
        cx /= 2;
        cw /= 2;
        dx /= 2;  // toward zero
        if (ctx.geometry.chroma_format == 1) {
          cy /= 2;
          ch /= 2;
          dy /= 2;
        }
      }
      const int width = plane_width(c);
      const int height = plane_height(c);
      for (int j = 0; j < ch; ++j) {
        for (int i = 0; i < cw; ++i) {
          // Position in half samples; floor division keeps negative positions right.
          const int hx = 2 * (cx + i) + dx;
          const int hy = 2 * (cy + j) + dy;
          const int x0 = hx >> 1, y0 = hy >> 1, x1 = x0 + (hx & 1), y1 = y0 + (hy & 1);
          const auto& p = src.plane[c];
          const int sum = fetch(p, width, height, src_parity, x0, y0) +
                          fetch(p, width, height, src_parity, x1, y0) +
                          fetch(p, width, height, src_parity, x0, y1) +
                          fetch(p, width, height, src_parity, x1, y1);
          const int prediction = (sum + 2) >> 2;
          const int line = dst_parity < 0 ? cy + j : 2 * (cy + j) + dst_parity;
          uint8_t& out = dst.plane[c][static_cast<size_t>(line * width + cx + i)];
          out = static_cast<uint8_t>(average ? (out + prediction + 1) >> 1 : prediction);
        }
      }
    }
  }

  CollectedMessages messages;
  DecoderContext ctx{messages};
  FrameSet older, newer, b_frame;
};

// Compares every plane of the decoded frame with the expected one.
void expect_planes_equal(const FrameSet& actual, const FrameSet& expected, const char* what) {
  for (int c = 0; c < 3; ++c) {
    const auto mismatch =
        std::mismatch(actual.plane[c].begin(), actual.plane[c].end(), expected.plane[c].begin());
    EXPECT_TRUE(mismatch.first == actual.plane[c].end())
        << what << ": plane " << c << " differs at sample "
        << (mismatch.first - actual.plane[c].begin());
  }
}

struct Vectors {
  int PMV[2][2][2] = {};
  int select[2][2] = {};
  int dmvector[2] = {0, 0};
};

// Vectors covering every half-sample combination, small and far outside a 64 x 64 picture.
const int kVectorSamples[][2] = {{0, 0},      {1, 0},        {0, 1},    {1, 1},
                                 {-3, -5},    {7, -2},       {-31, 17}, {-33, -33},
                                 {129, -200}, {-2001, 3001}, {64, 63},  {-127, 126}};

TEST(PredictMacroblock, FrameMotionInFramePictures) {
  for (const int chroma_format : {1, 2, 3}) {
    for (const auto& mv : kVectorSamples) {
      for (const auto& [bx, by] : {std::pair{0, 0}, std::pair{16, 16}, std::pair{48, 48}}) {
        Pictures pics(64, 64, chroma_format, 1);
        pics.set_picture(kP, kFrame);
        FrameSet expected = pics.current();
        pics.naive_area(pics.older, -1, expected, -1, bx, by, 16, 16, mv[0], mv[1], false);
        Vectors v;
        v.PMV[0][0][0] = mv[0];
        v.PMV[0][0][1] = mv[1];
        predict_macroblock(pics.ctx, pics.frames(), bx, by, kMbForward, kMotionFrame, v.PMV,
                           v.select, v.dmvector, 0);
        expect_planes_equal(pics.current(), expected, "frame motion");
      }
    }
  }
}

TEST(PredictMacroblock, PMacroblockWithoutForwardVectorCopiesTheReference) {
  Pictures pics(48, 32, 1, 2);
  pics.set_picture(kP, kFrame);
  FrameSet expected = pics.current();
  pics.naive_area(pics.older, -1, expected, -1, 16, 16, 16, 16, 0, 0, false);
  const Vectors v;
  predict_macroblock(pics.ctx, pics.frames(), 16, 16, kMbPattern, kMotionFrame, v.PMV, v.select,
                     v.dmvector, 0);
  expect_planes_equal(pics.current(), expected, "no motion compensation");
}

TEST(PredictMacroblock, FieldMotionInFramePicturesWithEverySelect) {
  for (const int chroma_format : {1, 2}) {
    for (const auto& mv : kVectorSamples) {
      for (int top_select = 0; top_select < 2; ++top_select) {
        for (int bottom_select = 0; bottom_select < 2; ++bottom_select) {
          Pictures pics(64, 64, chroma_format, 3);
          pics.set_picture(kP, kFrame);
          Vectors v;
          // Field vectors are kept in frame units: the vertical component is doubled.
          v.PMV[0][0][0] = mv[0];
          v.PMV[0][0][1] = 2 * mv[1];
          v.PMV[1][0][0] = mv[1];
          v.PMV[1][0][1] = 2 * (mv[0] / 4);
          v.select[0][0] = top_select;
          v.select[1][0] = bottom_select;
          FrameSet expected = pics.current();
          pics.naive_area(pics.older, top_select, expected, 0, 32, 8, 16, 8, mv[0], mv[1], false);
          pics.naive_area(pics.older, bottom_select, expected, 1, 32, 8, 16, 8, mv[1], mv[0] / 4,
                          false);
          predict_macroblock(pics.ctx, pics.frames(), 32, 16, kMbForward, kMotionField, v.PMV,
                             v.select, v.dmvector, 0);
          expect_planes_equal(pics.current(), expected, "field motion");
        }
      }
    }
  }
}

TEST(PredictMacroblock, FieldMotionInFieldPictures) {
  for (const int structure : {kTopField, kBottomField}) {
    const int parity = structure == kBottomField ? 1 : 0;
    for (const auto& mv : kVectorSamples) {
      for (int select = 0; select < 2; ++select) {
        // A B picture reads both fields of the forward reference.
        Pictures pics(64, 64, 1, 4);
        pics.set_picture(kB, structure);
        Vectors v;
        v.PMV[0][0][0] = mv[0];
        v.PMV[0][0][1] = mv[1];
        v.select[0][0] = select;
        FrameSet expected = pics.current();
        pics.naive_area(pics.older, select, expected, parity, 16, 16, 16, 16, mv[0], mv[1], false);
        predict_macroblock(pics.ctx, pics.frames(true), 16, 16, kMbForward, kMotionField, v.PMV,
                           v.select, v.dmvector, 0);
        expect_planes_equal(pics.current(), expected, "field picture, field motion");
      }
    }
  }
}

TEST(PredictMacroblock, SecondFieldOfPFrameUsesItsFirstFieldForTheOppositeParity) {
  for (const int structure : {kTopField, kBottomField}) {
    const int parity = structure == kBottomField ? 1 : 0;
    for (int select = 0; select < 2; ++select) {
      for (const bool second_field : {false, true}) {
        Pictures pics(48, 32, 1, 5);
        pics.set_picture(kP, structure);
        Vectors v;
        v.PMV[0][0][0] = 3;
        v.PMV[0][0][1] = -1;
        v.select[0][0] = select;
        FrameSet expected = pics.current();
        const bool from_first_field = second_field && select != parity;
        pics.naive_area(from_first_field ? pics.newer : pics.older, select, expected, parity, 16, 0,
                        16, 16, 3, -1, false);
        predict_macroblock(pics.ctx, pics.frames(second_field), 16, 0, kMbForward, kMotionField,
                           v.PMV, v.select, v.dmvector, 0);
        expect_planes_equal(pics.current(), expected, "second field");
      }
    }
  }
}

TEST(PredictMacroblock, SixteenByEightInFieldPictures) {
  for (const int structure : {kTopField, kBottomField}) {
    const int parity = structure == kBottomField ? 1 : 0;
    for (const auto& mv : kVectorSamples) {
      Pictures pics(64, 64, 1, 6);
      pics.set_picture(kP, structure);
      Vectors v;
      v.PMV[0][0][0] = mv[0];
      v.PMV[0][0][1] = mv[1];
      v.PMV[1][0][0] = -mv[1];
      v.PMV[1][0][1] = mv[0] + 1;
      v.select[0][0] = 1 - parity;
      v.select[1][0] = parity;
      FrameSet expected = pics.current();
      // The upper half from the first field of this frame, the lower from the older frame.
      pics.naive_area(pics.newer, 1 - parity, expected, parity, 32, 16, 16, 8, mv[0], mv[1], false);
      pics.naive_area(pics.older, parity, expected, parity, 32, 24, 16, 8, -mv[1], mv[0] + 1,
                      false);
      predict_macroblock(pics.ctx, pics.frames(true), 32, 16, kMbForward, kMotion16x8, v.PMV,
                         v.select, v.dmvector, 0);
      expect_planes_equal(pics.current(), expected, "16x8");
    }
  }
}

TEST(PredictMacroblock, DualPrimeInFramePictures) {
  for (const int top_field_first : {0, 1}) {
    for (const auto& mv : kVectorSamples) {
      Pictures pics(64, 64, 1, 7);
      pics.set_picture(kP, kFrame);
      pics.ctx.vars.top_field_first = top_field_first;
      Vectors v;
      v.PMV[0][0][0] = mv[0];
      v.PMV[0][0][1] = 2 * mv[1];
      v.dmvector[0] = 1;
      v.dmvector[1] = -1;
      int DMV[2][2];
      dual_prime_vectors(DMV, v.dmvector, mv[0], mv[1], kFrame, top_field_first);
      FrameSet expected = pics.current();
      // Each field: the same-parity prediction averaged with the opposite-parity one.
      pics.naive_area(pics.older, 0, expected, 0, 16, 8, 16, 8, mv[0], mv[1], false);
      pics.naive_area(pics.older, 1, expected, 0, 16, 8, 16, 8, DMV[0][0], DMV[0][1], true);
      pics.naive_area(pics.older, 1, expected, 1, 16, 8, 16, 8, mv[0], mv[1], false);
      pics.naive_area(pics.older, 0, expected, 1, 16, 8, 16, 8, DMV[1][0], DMV[1][1], true);
      predict_macroblock(pics.ctx, pics.frames(), 16, 16, kMbForward, kMotionDualPrime, v.PMV,
                         v.select, v.dmvector, 0);
      expect_planes_equal(pics.current(), expected, "frame dual prime");
    }
  }
}

TEST(PredictMacroblock, DualPrimeInFieldPictures) {
  for (const int structure : {kTopField, kBottomField}) {
    const int parity = structure == kBottomField ? 1 : 0;
    for (const bool second_field : {false, true}) {
      for (const auto& mv : kVectorSamples) {
        Pictures pics(64, 64, 1, 8);
        pics.set_picture(kP, structure);
        Vectors v;
        v.PMV[0][0][0] = mv[0];
        v.PMV[0][0][1] = mv[1];
        v.dmvector[0] = -1;
        v.dmvector[1] = 1;
        int DMV[2][2];
        dual_prime_vectors(DMV, v.dmvector, mv[0], mv[1], structure, 0);
        FrameSet expected = pics.current();
        pics.naive_area(pics.older, parity, expected, parity, 0, 16, 16, 16, mv[0], mv[1], false);
        pics.naive_area(second_field ? pics.newer : pics.older, 1 - parity, expected, parity, 0, 16,
                        16, 16, DMV[0][0], DMV[0][1], true);
        predict_macroblock(pics.ctx, pics.frames(second_field), 0, 16, kMbForward, kMotionDualPrime,
                           v.PMV, v.select, v.dmvector, 0);
        expect_planes_equal(pics.current(), expected, "field dual prime");
      }
    }
  }
}

TEST(PredictMacroblock, BidirectionalPredictionsAreAveraged) {
  for (const auto& mv : kVectorSamples) {
    // Frame picture, frame motion.
    Pictures pics(64, 64, 1, 9);
    pics.set_picture(kB, kFrame);
    Vectors v;
    v.PMV[0][0][0] = mv[0];
    v.PMV[0][0][1] = mv[1];
    v.PMV[0][1][0] = mv[1];
    v.PMV[0][1][1] = -mv[0];
    FrameSet expected = pics.current();
    pics.naive_area(pics.older, -1, expected, -1, 48, 0, 16, 16, mv[0], mv[1], false);
    pics.naive_area(pics.newer, -1, expected, -1, 48, 0, 16, 16, mv[1], -mv[0], true);
    predict_macroblock(pics.ctx, pics.frames(), 48, 0, kMbForward | kMbBackward, kMotionFrame,
                       v.PMV, v.select, v.dmvector, 0);
    expect_planes_equal(pics.current(), expected, "B frame motion");

    // Field picture, 16x8 motion: the backward reference's selects, never the frame decoded.
    pics.set_picture(kB, kBottomField);
    v.PMV[1][0][0] = 2;
    v.PMV[1][1][1] = 5;
    v.select[0][1] = 0;
    v.select[1][1] = 1;
    v.select[0][0] = 1;
    v.select[1][0] = 0;
    expected = pics.current();
    pics.naive_area(pics.older, 1, expected, 1, 16, 0, 16, 8, mv[0], mv[1], false);
    pics.naive_area(pics.older, 0, expected, 1, 16, 8, 16, 8, 2, 0, false);
    pics.naive_area(pics.newer, 0, expected, 1, 16, 0, 16, 8, mv[1], -mv[0], true);
    pics.naive_area(pics.newer, 1, expected, 1, 16, 8, 16, 8, 0, 5, true);
    predict_macroblock(pics.ctx, pics.frames(true), 16, 0, kMbForward | kMbBackward, kMotion16x8,
                       v.PMV, v.select, v.dmvector, 0);
    expect_planes_equal(pics.current(), expected, "B 16x8");
  }
}

TEST(PredictMacroblock, BackwardOnlyFieldMotionInFramePictures) {
  Pictures pics(64, 64, 2, 10);
  pics.set_picture(kB, kFrame);
  Vectors v;
  v.PMV[0][1][0] = -5;
  v.PMV[0][1][1] = 6;
  v.PMV[1][1][0] = 9;
  v.PMV[1][1][1] = -2;
  v.select[0][1] = 1;
  v.select[1][1] = 0;
  FrameSet expected = pics.current();
  pics.naive_area(pics.newer, 1, expected, 0, 0, 24, 16, 8, -5, 3, false);
  pics.naive_area(pics.newer, 0, expected, 1, 0, 24, 16, 8, 9, -1, false);
  predict_macroblock(pics.ctx, pics.frames(), 0, 48, kMbBackward, kMotionField, v.PMV, v.select,
                     v.dmvector, 0);
  expect_planes_equal(pics.current(), expected, "backward field motion");
}

TEST(PredictMacroblock, ChromaVectorsOf420RoundTowardZero) {
  // Chroma samples that grow by 10 per column: a chroma vector of -1 half sample predicts
  // column c as (10 (c - 1) + 10 c + 1) / 2; -2 would give 10 (c - 1).
  Pictures pics(32, 32, 1, 11);
  pics.set_picture(kP, kFrame);
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x) pics.older.plane[1][static_cast<size_t>(y * 16 + x)] = 10 * x;
  }
  Vectors v;
  v.PMV[0][0][0] = -3;
  predict_macroblock(pics.ctx, pics.frames(), 16, 0, kMbForward, kMotionFrame, v.PMV, v.select,
                     v.dmvector, 0);
  for (int x = 8; x < 16; ++x) EXPECT_EQ(pics.newer.plane[1][static_cast<size_t>(x)], 10 * x - 5);
}

TEST(PredictMacroblock, InvalidMotionTypesLeaveThePredictionUnformed) {
  struct Case {
    int coding_type, structure, mb_type, motion_type;
  };
  const Case cases[] = {
      {kP, kFrame, kMbForward, 0},
      {kP, kTopField, kMbForward, 0},
      {kB, kFrame, kMbBackward, kMotionDualPrime},
      {kB, kBottomField, kMbBackward, kMotionDualPrime},
  };
  for (const Case& c : cases) {
    Pictures pics(32, 32, 1, 12);
    pics.set_picture(c.coding_type, c.structure);
    const FrameSet before = pics.current();
    const Vectors v;
    predict_macroblock(pics.ctx, pics.frames(), 0, 0, c.mb_type, c.motion_type, v.PMV, v.select,
                       v.dmvector, 0);
    EXPECT_EQ(pics.messages.out_text, "invalid motion_type\n");
    EXPECT_EQ(pics.messages.err_text, "");
    expect_planes_equal(pics.current(), before, "invalid motion type");
  }
}

TEST(PredictMacroblock, RandomVectorsMatchTheNaivePrediction) {
  std::mt19937 random(13);
  std::uniform_int_distribution<int> vector(-90, 90);
  for (int round = 0; round < 300; ++round) {
    Pictures pics(48, 48, 1 + round % 3, static_cast<uint32_t>(round));
    const int structure = round % 2 ? kFrame : (round % 4 == 0 ? kTopField : kBottomField);
    const int parity = structure == kBottomField ? 1 : 0;
    pics.set_picture(kB, structure);
    const int bx = 16 * static_cast<int>(random() % 3);
    const int by = structure == kFrame ? 16 * static_cast<int>(random() % 3)
                                       : 8 * static_cast<int>(random() % 2);
    Vectors v;
    for (auto& vectors : v.PMV) {
      for (auto& direction : vectors) {
        direction[0] = vector(random);
        direction[1] = vector(random) * (structure == kFrame ? 2 : 1);
      }
    }
    v.select[0][1] = static_cast<int>(random() % 2);
    v.select[1][1] = static_cast<int>(random() % 2);
    FrameSet expected = pics.current();
    int motion_type;
    if (structure == kFrame) {
      motion_type = kMotionField;
      pics.naive_area(pics.newer, v.select[0][1], expected, 0, bx, by / 2, 16, 8, v.PMV[0][1][0],
                      v.PMV[0][1][1] / 2, false);
      pics.naive_area(pics.newer, v.select[1][1], expected, 1, bx, by / 2, 16, 8, v.PMV[1][1][0],
                      v.PMV[1][1][1] / 2, false);
    } else {
      motion_type = kMotion16x8;
      pics.naive_area(pics.newer, v.select[0][1], expected, parity, bx, by, 16, 8, v.PMV[0][1][0],
                      v.PMV[0][1][1], false);
      pics.naive_area(pics.newer, v.select[1][1], expected, parity, bx, by + 8, 16, 8,
                      v.PMV[1][1][0], v.PMV[1][1][1], false);
    }
    predict_macroblock(pics.ctx, pics.frames(), bx, by, kMbBackward, motion_type, v.PMV, v.select,
                       v.dmvector, 0);
    expect_planes_equal(pics.current(), expected, "random vectors");
    if (HasFailure()) break;
  }
}

}  // namespace
}  // namespace tavik
