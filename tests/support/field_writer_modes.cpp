#include "support/field_writer_modes.h"

#include <climits>
#include <cstdlib>
#include <optional>

namespace tavik::test::field_writer {

namespace {

constexpr int kSearchRange = 8;     // full samples each way
constexpr int kSplitPenalty = 192;  // SAD a 16x8 split must save to pay for its second vector
constexpr int kIntraBias = 512;     // SAD above the macroblock's activity that makes it intra

int field_parity(const FieldPictureJob& job) {
  return job.header.picture_structure - 1;
}

// Best choices of one direction over the usable reference fields.
struct DirectionSearch {
  MotionChoice whole;
  int whole_sad = INT_MAX;
  std::array<MotionChoice, 2> halves;
  std::array<int, 2> half_sads = {INT_MAX, INT_MAX};
};

DirectionSearch search_direction(const FieldPictureJob& job, int s, int mbx, int mby) {
  DirectionSearch result;
  for (int field_select = 0; field_select < 2; ++field_select) {
    const Frame* reference = job.references[size_t(s)][size_t(field_select)];
    if (reference == nullptr) continue;
    const FieldSearch found = search_field(*job.source, field_parity(job), 16 * mbx, 16 * mby,
                                           *reference, field_select, kSearchRange);
    if (found.whole.sad < result.whole_sad) {
      result.whole_sad = found.whole.sad;
      result.whole = {field_select, found.whole.mv};
    }
    for (size_t half = 0; half < 2; ++half) {
      if (found.halves[half].sad < result.half_sads[half]) {
        result.half_sads[half] = found.halves[half].sad;
        result.halves[half] = {field_select, found.halves[half].mv};
      }
    }
  }
  return result;
}

const uint8_t* source_line(const FieldPictureJob& job, int mbx, int mby, int y) {
  return job.source->field_line(0, field_parity(job), 16 * mby + y) + 16 * mbx;
}

int luma_sad(const FieldPictureJob& job, const MacroblockPixels& prediction, int mbx, int mby) {
  int sad = 0;
  for (int y = 0; y < 16; ++y) {
    const uint8_t* line = source_line(job, mbx, mby, y);
    for (int x = 0; x < 16; ++x) sad += std::abs(line[x] - prediction[0][size_t(y * 16 + x)]);
  }
  return sad;
}

int luma_activity(const FieldPictureJob& job, int mbx, int mby) {
  int sum = 0;
  for (int y = 0; y < 16; ++y) {
    const uint8_t* line = source_line(job, mbx, mby, y);
    for (int x = 0; x < 16; ++x) sum += line[x];
  }
  const int mean = (sum + 128) / 256;
  int activity = 0;
  for (int y = 0; y < 16; ++y) {
    const uint8_t* line = source_line(job, mbx, mby, y);
    for (int x = 0; x < 16; ++x) activity += std::abs(line[x] - mean);
  }
  return activity;
}

}  // namespace

MacroblockMode choose_macroblock_mode(const FieldPictureJob& job, int mbx, int mby) {
  const int type = job.header.picture_coding_type;
  MacroblockMode intra_mode;
  intra_mode.intra = true;
  if (type == kIntraPicture) return intra_mode;
  const int index = mby * (job.source->width / 16) + mbx;
  const bool force_intra = index % 19 == 7;
  const bool force_split = job.use_16x8 && index % 4 == 1;
  const int force_direction = type == kBidirectionalPicture ? index % 5 : 0;

  const int directions = type == kBidirectionalPicture ? 2 : 1;
  std::array<DirectionSearch, 2> searches{};
  for (int s = 0; s < directions; ++s) searches[size_t(s)] = search_direction(job, s, mbx, mby);

  std::optional<MacroblockMode> best;
  int best_cost = INT_MAX;
  // Direction sets: 1 forward, 2 backward, 3 both.
  for (int set = 1; set <= (directions == 2 ? 3 : 1); ++set) {
    if (force_direction >= 1 && force_direction <= 3 && set != force_direction) continue;
    for (const bool split : {false, true}) {
      if ((split && !job.use_16x8) || (force_split && !split)) continue;
      MacroblockMode mode;
      mode.split = split;
      for (size_t s = 0; s < 2; ++s) {
        mode.uses[s] = (set >> s) & 1;
        if (!mode.uses[s]) continue;
        mode.motion[s][0] = split ? searches[s].halves[0] : searches[s].whole;
        if (split) mode.motion[s][1] = searches[s].halves[1];
      }
      const int cost = luma_sad(job, predict_macroblock(job, mode, mbx, mby), mbx, mby) +
                       (split ? kSplitPenalty : 0);
      if (cost < best_cost) {
        best_cost = cost;
        best = mode;
      }
    }
  }
  if (force_intra || best_cost > luma_activity(job, mbx, mby) + kIntraBias) return intra_mode;
  return *best;
}

MacroblockPixels predict_macroblock(const FieldPictureJob& job, const MacroblockMode& mode, int mbx,
                                    int mby) {
  std::array<MacroblockPixels, 2> directions{};
  for (size_t s = 0; s < 2; ++s) {
    if (!mode.uses[s]) continue;
    for (int r = 0; r < (mode.split ? 2 : 1); ++r) {
      const MotionChoice& choice = mode.motion[s][size_t(r)];
      const Frame& reference = *job.references[s][size_t(choice.field_select)];
      const LumaRegion region{16 * mbx, 16 * mby + 8 * r, mode.split ? 8 : 16};
      for (int plane = 0; plane < 3; ++plane) {
        const int pitch = block_pitch(plane);
        const int first_line = r * (plane == 0 ? 8 : 4);
        uint8_t* out = directions[s][size_t(plane)].data() + first_line * pitch;
        predict_region(reference, choice.field_select, plane, region, choice.mv, out, pitch);
      }
    }
  }
  if (!(mode.uses[0] && mode.uses[1])) return directions[mode.uses[0] ? 0 : 1];
  MacroblockPixels average{};
  for (size_t plane = 0; plane < 3; ++plane) {
    for (size_t i = 0; i < 256; ++i) {
      average[plane][i] = uint8_t((directions[0][plane][i] + directions[1][plane][i] + 1) >> 1);
    }
  }
  return average;
}

}  // namespace tavik::test::field_writer
