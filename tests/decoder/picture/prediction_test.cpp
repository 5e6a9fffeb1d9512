#include "decoder/picture/prediction.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <random>
#include <vector>

#include "base/messages.h"
#include "decoder/picture/motion_vectors.h"
#include "decoder/syntax/decoder_state.h"

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

struct Vectors {
  // Sets PMV[r][s] and its field select.
  Vectors& set(int r, int s, int x, int y, int field_select = 0) {
    PMV[r][s][0] = x;
    PMV[r][s][1] = y;
    select[r][s] = field_select;
    return *this;
  }
  int PMV[2][2][2] = {};
  int select[2][2] = {};
  int dmvector[2] = {0, 0};
};

// One area of a naive prediction: the luminance area (x, y, w, h) of the destination frame
// (parity -1) or field predicted from the source frame or field with the vector (mvx, mvy) in
// half samples, averaged with what is there or not; the matching chrominance areas too.
struct Area {
  const FrameSet* src;
  int src_parity, dst_parity, x, y, w, h, mvx, mvy;
  bool average = false;
};

// A small decoder context with random reference frames, and a naive per-sample prediction to
// compare with.
class Pictures {
 public:
  Pictures(int width, int height, int chroma_format, int coding_type, int structure,
           uint32_t seed) {
    FrameGeometry& g = ctx.geometry;
    g.coded_width = width;
    g.coded_height = height;
    g.chroma_format = chroma_format;
    g.chroma_width = chroma_format == 3 ? width : width / 2;
    g.chroma_height = chroma_format == 1 ? height / 2 : height;
    ctx.vars.chroma_format = chroma_format;
    set_picture(coding_type, structure);
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

  // Sample (x, y) of the frame (parity -1) or of one field, coordinates clamped into it.
  [[nodiscard]] static int fetch(const std::vector<uint8_t>& p, int width, int height, int parity,
                                 int x, int y) {
    x = std::clamp(x, 0, width - 1);
    if (parity < 0) return p[static_cast<size_t>(std::clamp(y, 0, height - 1) * width + x)];
    const int line = 2 * std::clamp(y, 0, height / 2 - 1) + parity;
    return p[static_cast<size_t>(line * width + x)];
  }

  void naive_area(const Area& a, FrameSet& dst) const {
    for (int c = 0; c < 3; ++c) {
      int cx = a.x, cy = a.y, cw = a.w, ch = a.h, dx = a.mvx, dy = a.mvy;
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
      const auto& p = a.src->plane[c];
      for (int j = 0; j < ch; ++j) {
        for (int i = 0; i < cw; ++i) {
          // Position in half samples; floor division keeps negative positions right.
          const int hx = 2 * (cx + i) + dx;
          const int hy = 2 * (cy + j) + dy;
          const int x0 = hx >> 1, y0 = hy >> 1, x1 = x0 + (hx & 1), y1 = y0 + (hy & 1);
          const int sum = fetch(p, width, height, a.src_parity, x0, y0) +
                          fetch(p, width, height, a.src_parity, x1, y0) +
                          fetch(p, width, height, a.src_parity, x0, y1) +
                          fetch(p, width, height, a.src_parity, x1, y1);
          const int prediction = (sum + 2) >> 2;
          const int line = a.dst_parity < 0 ? cy + j : 2 * (cy + j) + a.dst_parity;
          uint8_t& out = dst.plane[c][static_cast<size_t>(line * width + cx + i)];
          out = static_cast<uint8_t>(a.average ? (out + prediction + 1) >> 1 : prediction);
        }
      }
    }
  }

  // Predicts the macroblock at (bx, by) and compares the whole decoded frame with a copy of it
  // on which the naive areas were formed.
  void expect_prediction(int bx, int by, int mb_type, int motion_type, const Vectors& v,
                         const std::vector<Area>& areas, bool second_field = false, int count = 1) {
    SCOPED_TRACE(testing::Message() << "macroblock " << bx << "," << by << " vector "
                                    << v.PMV[0][0][0] << "," << v.PMV[0][0][1]);
    FrameSet expected = current();
    for (const Area& area : areas) naive_area(area, expected);
    const PredictionFrames frames{older.planes(), newer.planes(), current().planes(), second_field};
    predict_macroblock(ctx, frames, bx, by, mb_type, motion_type, v.PMV, v.select, v.dmvector, 0,
                       count);
    for (int c = 0; c < 3; ++c) {
      const auto& actual = current().plane[c];
      const auto mismatch = std::mismatch(actual.begin(), actual.end(), expected.plane[c].begin());
      EXPECT_TRUE(mismatch.first == actual.end())
          << "plane " << c << " differs at sample " << (mismatch.first - actual.begin());
    }
  }

  CollectedMessages messages;
  DecoderContext ctx{messages};
  FrameSet older, newer, b_frame;
};

// Vectors covering every half-sample combination, small and far outside a 64 x 64 picture.
const int kVectorSamples[][2] = {{0, 0},      {1, 0},        {0, 1},    {1, 1},
                                 {-3, -5},    {7, -2},       {-31, 17}, {-33, -33},
                                 {129, -200}, {-2001, 3001}, {64, 63},  {-127, 126}};

TEST(PredictMacroblock, FrameMotionInFramePictures) {
  for (const int chroma_format : {1, 2, 3}) {
    for (const auto& [x, y] : kVectorSamples) {
      for (const int at : {0, 16, 48}) {
        Pictures pics(64, 64, chroma_format, kP, kFrame, 1);
        pics.expect_prediction(at, at, kMbForward, kMotionFrame, Vectors{}.set(0, 0, x, y),
                               {{&pics.older, -1, -1, at, at, 16, 16, x, y}});
      }
    }
  }
  // A P macroblock without forward vector (its predictors reset) is predicted all the same.
  Pictures pics(48, 32, 1, kP, kFrame, 2);
  pics.expect_prediction(16, 16, kMbPattern, kMotionFrame, Vectors{},
                         {{&pics.older, -1, -1, 16, 16, 16, 16, 0, 0}});
}

// A run of skipped macroblocks predicted at once: each as on its own, the edge ones clamped.
TEST(PredictMacroblock, RunsOfMacroblocksAlike) {
  for (const auto& [x, y] : kVectorSamples) {
    Pictures frame(64, 64, 1, kB, kFrame, 3);
    std::vector<Area> areas;
    for (int at = 0; at < 64; at += 16) {
      areas.push_back({&frame.older, -1, -1, at, 16, 16, 16, x, y});
      areas.push_back({&frame.newer, -1, -1, at, 16, 16, 16, -y, x, true});
    }
    frame.expect_prediction(0, 16, kMbForward | kMbBackward, kMotionFrame,
                            Vectors{}.set(0, 0, x, y).set(0, 1, -y, x), areas, false, 4);
    Pictures field(64, 64, 2, kP, kBottomField, 5);
    field.expect_prediction(16, 0, kMbForward, kMotionField, Vectors{}.set(0, 0, x, y, 1),
                            {{&field.older, 1, 1, 16, 0, 16, 16, x, y},
                             {&field.older, 1, 1, 32, 0, 16, 16, x, y},
                             {&field.older, 1, 1, 48, 0, 16, 16, x, y}},
                            false, 3);
  }
}

TEST(PredictMacroblock, FieldPictures) {
  for (const int structure : {kTopField, kBottomField}) {
    const int parity = structure == kBottomField ? 1 : 0;
    for (const auto& [x, y] : kVectorSamples) {
      for (const int select : {0, 1}) {
        // A B picture reads both fields of the forward reference.
        Pictures pics(64, 64, 1, kB, structure, 4);
        pics.expect_prediction(16, 16, kMbForward, kMotionField, Vectors{}.set(0, 0, x, y, select),
                               {{&pics.older, select, parity, 16, 16, 16, 16, x, y}}, true);
      }
      // 16x8: the upper half from the first field of this frame, the lower from the older frame.
      Pictures pics(64, 64, 1, kP, structure, 6);
      pics.expect_prediction(32, 16, kMbForward, kMotion16x8,
                             Vectors{}.set(0, 0, x, y, 1 - parity).set(1, 0, -y, x + 1, parity),
                             {{&pics.newer, 1 - parity, parity, 32, 16, 16, 8, x, y},
                              {&pics.older, parity, parity, 32, 24, 16, 8, -y, x + 1}},
                             true);
    }
    // The second field of a P frame reads the opposite parity from its first field.
    for (const int select : {0, 1}) {
      for (const bool second_field : {false, true}) {
        Pictures pics(48, 32, 1, kP, structure, 5);
        const bool from_first_field = second_field && select != parity;
        pics.expect_prediction(
            16, 0, kMbForward, kMotionField, Vectors{}.set(0, 0, 3, -1, select),
            {{from_first_field ? &pics.newer : &pics.older, select, parity, 16, 0, 16, 16, 3, -1}},
            second_field);
      }
    }
  }
}

TEST(PredictMacroblock, DualPrime) {
  int DMV[2][2];
  for (const auto& [x, y] : kVectorSamples) {
    // Frame pictures: each field the same-parity prediction averaged with the opposite one.
    for (const int top_field_first : {0, 1}) {
      Pictures pics(64, 64, 1, kP, kFrame, 7);
      pics.ctx.vars.top_field_first = top_field_first;
      Vectors v = Vectors{}.set(0, 0, x, 2 * y);
      v.dmvector[0] = 1;
      v.dmvector[1] = -1;
      dual_prime_vectors(DMV, v.dmvector, x, y, kFrame, top_field_first);
      const FrameSet* ref = &pics.older;
      pics.expect_prediction(16, 16, kMbForward, kMotionDualPrime, v,
                             {{ref, 0, 0, 16, 8, 16, 8, x, y},
                              {ref, 1, 0, 16, 8, 16, 8, DMV[0][0], DMV[0][1], true},
                              {ref, 1, 1, 16, 8, 16, 8, x, y},
                              {ref, 0, 1, 16, 8, 16, 8, DMV[1][0], DMV[1][1], true}});
    }
    // Field pictures: the opposite parity from the first field when this is the second.
    for (const int structure : {kTopField, kBottomField}) {
      const int parity = structure == kBottomField ? 1 : 0;
      for (const bool second_field : {false, true}) {
        Pictures pics(64, 64, 1, kP, structure, 8);
        Vectors v = Vectors{}.set(0, 0, x, y);
        v.dmvector[0] = -1;
        v.dmvector[1] = 1;
        dual_prime_vectors(DMV, v.dmvector, x, y, structure, 0);
        pics.expect_prediction(0, 16, kMbForward, kMotionDualPrime, v,
                               {{&pics.older, parity, parity, 0, 16, 16, 16, x, y},
                                {second_field ? &pics.newer : &pics.older, 1 - parity, parity, 0,
                                 16, 16, 16, DMV[0][0], DMV[0][1], true}},
                               second_field);
      }
    }
  }
}

TEST(PredictMacroblock, BidirectionalPredictionsAreAveraged) {
  for (const auto& [x, y] : kVectorSamples) {
    Pictures pics(64, 64, 1, kB, kFrame, 9);
    Vectors v = Vectors{}.set(0, 0, x, y).set(0, 1, y, -x);
    pics.expect_prediction(48, 0, kMbForward | kMbBackward, kMotionFrame, v,
                           {{&pics.older, -1, -1, 48, 0, 16, 16, x, y},
                            {&pics.newer, -1, -1, 48, 0, 16, 16, y, -x, true}});
    // Field picture, 16x8: the backward reference's selects, never the frame decoded.
    pics.set_picture(kB, kBottomField);
    v.set(1, 0, 2, 0, 0).set(0, 0, x, y, 1).set(0, 1, y, -x, 0).set(1, 1, 0, 5, 1);
    pics.expect_prediction(16, 0, kMbForward | kMbBackward, kMotion16x8, v,
                           {{&pics.older, 1, 1, 16, 0, 16, 8, x, y},
                            {&pics.older, 0, 1, 16, 8, 16, 8, 2, 0},
                            {&pics.newer, 0, 1, 16, 0, 16, 8, y, -x, true},
                            {&pics.newer, 1, 1, 16, 8, 16, 8, 0, 5, true}},
                           true);
  }
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
    Pictures pics(32, 32, 1, c.coding_type, c.structure, 12);
    pics.expect_prediction(0, 0, c.mb_type, c.motion_type, Vectors{}, {});
    EXPECT_EQ(pics.messages.out_text, "invalid motion_type\n");
    EXPECT_EQ(pics.messages.err_text, "");
  }
}

// Field vectors in frame pictures and 16x8 in field pictures: forward ones of P pictures and
// backward ones of B pictures, every chroma format, picture structure and select.
TEST(PredictMacroblock, RandomFieldVectorsMatchTheNaivePrediction) {
  std::mt19937 random(13);
  std::uniform_int_distribution<int> vector(-90, 90);
  for (int round = 0; round < 300 && !HasFailure(); ++round) {
    const int structure = round % 2 ? kFrame : (round % 4 == 0 ? kTopField : kBottomField);
    const bool frame = structure == kFrame;
    const int parity = structure == kBottomField ? 1 : 0;
    const int s = (round / 4) % 2;
    Pictures pics(48, 48, 1 + round % 3, s ? kB : kP, structure, static_cast<uint32_t>(round));
    const int bx = 16 * static_cast<int>(random() % 3);
    const int by = frame ? 16 * static_cast<int>(random() % 3) : 8 * static_cast<int>(random() % 2);
    Vectors v;
    std::vector<Area> areas;
    for (int r = 0; r < 2; ++r) {
      const int x = vector(random);
      const int y = vector(random);
      // Field vectors of frame pictures are kept in frame units: the vertical one doubled.
      v.set(r, s, x, frame ? 2 * y : y, static_cast<int>(random() % 2));
      // Frame pictures: a field each; field pictures: the upper and lower halves.
      areas.push_back({s ? &pics.newer : &pics.older, v.select[r][s], frame ? r : parity, bx,
                       frame ? by / 2 : by + 8 * r, 16, 8, x, y});
    }
    pics.expect_prediction(bx, by, s ? kMbBackward : kMbForward, frame ? kMotionField : kMotion16x8,
                           v, areas);
  }
}

}  // namespace
}  // namespace tavik
