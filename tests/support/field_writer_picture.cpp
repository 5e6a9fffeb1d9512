#include "support/field_writer_picture.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <optional>

#include "support/field_writer_dct.h"
#include "support/field_writer_modes.h"
#include "support/field_writer_vlc.h"

namespace tavik::test::field_writer {

namespace {

// The state a decoder carries from macroblock to macroblock within a slice.
struct SliceState {
  std::array<std::array<MotionVector, 2>, 2> pmv{};  // [r][s]
  std::array<int, 3> dc_predictor{};
  std::optional<MacroblockMode> previous;  // the previous macroblock unless intra: B skipping
  int pending_skips = 0;

  void reset_dc() { dc_predictor = {128, 128, 128}; }
};

class FieldPictureCoder {
 public:
  FieldPictureCoder(BitWriter& bits, const FieldPictureJob& job, FieldStreamStats& stats)
      : bits_(bits),
        job_(job),
        stats_(stats),
        type_(job.header.picture_coding_type),
        parity_(job.header.picture_structure - 1),
        mb_width_(job.source->width / 16),
        mb_height_(job.source->height / 32),
        quantiser_scale_(2 * job.quantiser_scale_code) {}

  void encode() {
    FieldPictureHeader header = job_.header;
    if (type_ != kIntraPicture) header.f_code[0] = kMotionFCode;
    if (type_ == kBidirectionalPicture) header.f_code[1] = kMotionFCode;
    write_picture_headers(bits_, header);
    for (int mby = 0; mby < mb_height_; ++mby) {
      bits_.start_code(uint8_t(mby + 1));
      bits_.put(uint32_t(job_.quantiser_scale_code), 5);
      bits_.put(0, 1);  // extra_bit_slice
      slice_ = SliceState{};
      slice_.reset_dc();
      for (int mbx = 0; mbx < mb_width_; ++mbx) encode_macroblock(mbx, mby);
    }
  }

 private:
  void encode_macroblock(int mbx, int mby) {
    const MacroblockMode mode = choose_macroblock_mode(job_, mbx, mby);
    MacroblockPixels prediction{};  // intra blocks are coded against zero
    if (!mode.intra) prediction = predict_macroblock(job_, mode, mbx, mby);
    std::array<IntBlock, 6> levels{};
    int cbp = 0;
    for (int block = 0; block < 6; ++block) {
      levels[size_t(block)] = quantise(forward_dct(block_samples(block, mbx, mby, prediction)),
                                       mode.intra, quantiser_scale_);
      const bool coded = std::any_of(levels[size_t(block)].begin(), levels[size_t(block)].end(),
                                     [](int level) { return level != 0; });
      if (coded) cbp |= 32 >> block;
    }
    const bool inside_slice = mbx > 0 && mbx < mb_width_ - 1;
    if (inside_slice && can_skip(mode, cbp)) {
      skip_macroblock(mode);
    } else {
      write_macroblock(mode, cbp, levels);
    }
    reconstruct(mode, cbp, levels, prediction, mbx, mby);
  }

  // Where block 0..5 (four luma, Cb, Cr) lies: plane, field position and offset in the
  // macroblock's prediction.
  struct BlockPlace {
    int plane;
    int x;
    int y;
    size_t offset;
  };

  static BlockPlace block_place(int block, int mbx, int mby) {
    if (block >= 4) return {block - 3, 8 * mbx, 8 * mby, 0};
    const int dx = 8 * (block & 1);
    const int dy = 8 * (block >> 1);
    return {0, 16 * mbx + dx, 16 * mby + dy, size_t(dy * 16 + dx)};
  }

  static int predicted(const MacroblockPixels& prediction, const BlockPlace& place, int x, int y) {
    const size_t at = place.offset + size_t(y * block_pitch(place.plane) + x);
    return prediction[size_t(place.plane)][at];
  }

  IntBlock block_samples(int block, int mbx, int mby, const MacroblockPixels& prediction) const {
    const BlockPlace place = block_place(block, mbx, mby);
    IntBlock samples{};
    for (int y = 0; y < 8; ++y) {
      const uint8_t* line = job_.source->field_line(place.plane, parity_, place.y + y) + place.x;
      for (int x = 0; x < 8; ++x) {
        samples[size_t(y * 8 + x)] = line[x] - predicted(prediction, place, x, y);
      }
    }
    return samples;
  }

  // ISO/IEC 13818-2 7.6.6: a skipped P field macroblock is predicted with a zero vector from the
  // field of its own parity; a skipped B one repeats the previous macroblock's prediction.
  bool can_skip(const MacroblockMode& mode, int cbp) const {
    if (mode.intra || cbp != 0 || mode.split) return false;
    if (type_ == kPredictedPicture) {
      return mode.motion[0][0] == MotionChoice{parity_, {}};
    }
    return slice_.previous == mode;
  }

  void skip_macroblock(const MacroblockMode& mode) {
    ++slice_.pending_skips;
    ++(type_ == kPredictedPicture ? stats_.skipped_p_macroblocks : stats_.skipped_b_macroblocks);
    if (type_ == kPredictedPicture) slice_.pmv = {};
    slice_.previous = mode;
    slice_.reset_dc();
  }

  void write_macroblock(const MacroblockMode& mode, int cbp,
                        const std::array<IntBlock, 6>& levels) {
    int increment = slice_.pending_skips + 1;
    for (; increment > 33; increment -= 33) bits_.put(macroblock_escape_code());
    bits_.put(address_increment_code(increment));
    slice_.pending_skips = 0;

    const bool pattern = !mode.intra && cbp != 0;
    bits_.put(macroblock_type_code(type_, {mode.intra, mode.uses[0], mode.uses[1], pattern}));
    if (mode.intra) {
      ++stats_.intra_macroblocks;
      slice_.pmv = {};
      slice_.previous.reset();
    } else {
      bits_.put(mode.split ? 2 : 1, 2);  // field_motion_type: 16x8 or field
      for (int s = 0; s < 2; ++s) {
        if (mode.uses[size_t(s)]) write_motion_vectors(mode, s);
      }
      count_prediction(mode);
      slice_.previous = mode;
    }
    if (pattern) bits_.put(coded_block_pattern_code(cbp));
    for (int block = 0; block < 6; ++block) {
      if (mode.intra || (cbp & (32 >> block)) != 0) {
        write_block(levels[size_t(block)], block, mode.intra);
      }
    }
    if (!mode.intra) slice_.reset_dc();
  }

  // motion_vectors(s) of a field picture: one vector updates both predictors, a 16x8 pair
  // updates one each (ISO/IEC 13818-2 7.6.3.1).
  void write_motion_vectors(const MacroblockMode& mode, int s) {
    for (int r = 0; r < (mode.split ? 2 : 1); ++r) {
      const MotionChoice& choice = mode.motion[size_t(s)][size_t(r)];
      bits_.put(uint32_t(choice.field_select), 1);
      MotionVector& predictor = slice_.pmv[size_t(r)][size_t(s)];
      write_vector_component(choice.mv.x, predictor.x, kMotionFCode[0]);
      write_vector_component(choice.mv.y, predictor.y, kMotionFCode[1]);
      if (!mode.split) slice_.pmv[1][size_t(s)] = predictor;
    }
  }

  void write_vector_component(int value, int& predictor, int f_code) {
    const int r_size = f_code - 1;
    const int f = 1 << r_size;
    int delta = value - predictor;
    if (delta < -16 * f) delta += 32 * f;
    if (delta > 16 * f - 1) delta -= 32 * f;
    predictor = value;
    if (f == 1 || delta == 0) {
      bits_.put(motion_code_code(delta));
      return;
    }
    const int magnitude = std::abs(delta) - 1;
    const int motion_code = (magnitude >> r_size) + 1;
    bits_.put(motion_code_code(delta < 0 ? -motion_code : motion_code));
    bits_.put(uint32_t(magnitude & (f - 1)), r_size);
  }

  void write_block(const IntBlock& levels, int block, bool intra) {
    int first = 0;
    if (intra) {
      const int plane = block < 4 ? 0 : block - 3;
      const int diff = levels[0] - slice_.dc_predictor[size_t(plane)];
      slice_.dc_predictor[size_t(plane)] = levels[0];
      const int size = std::bit_width(unsigned(std::abs(diff)));
      bits_.put(dc_size_code(plane == 0, size));
      if (size > 0) bits_.put(uint32_t(diff > 0 ? diff : diff + (1 << size) - 1), size);
      first = 1;
    }
    int run = 0;
    bool first_coefficient = !intra;
    for (int i = first; i < 64; ++i) {
      const int level = levels[kZigzag[size_t(i)]];
      if (level == 0) {
        ++run;
        continue;
      }
      bits_.put(dct_coefficient_code(run, level, first_coefficient));
      first_coefficient = false;
      run = 0;
    }
    bits_.put(end_of_block_code());
  }

  void reconstruct(const MacroblockMode& mode, int cbp, const std::array<IntBlock, 6>& levels,
                   const MacroblockPixels& prediction, int mbx, int mby) {
    for (int block = 0; block < 6; ++block) {
      const BlockPlace place = block_place(block, mbx, mby);
      const bool coded = mode.intra || (cbp & (32 >> block)) != 0;
      const IntBlock residual =
          coded ? inverse_dct(dequantise(levels[size_t(block)], mode.intra, quantiser_scale_))
                : IntBlock{};
      for (int y = 0; y < 8; ++y) {
        uint8_t* line = job_.reconstruction->field_line(place.plane, parity_, place.y + y);
        for (int x = 0; x < 8; ++x) {
          const int sample = predicted(prediction, place, x, y) + residual[size_t(y * 8 + x)];
          line[place.x + x] = uint8_t(std::clamp(sample, 0, 255));
        }
      }
    }
  }

  void count_prediction(const MacroblockMode& mode) {
    if (mode.uses[0] && mode.uses[1]) {
      ++stats_.interpolated_macroblocks;
    } else if (mode.uses[0]) {
      ++stats_.forward_macroblocks;
    } else {
      ++stats_.backward_macroblocks;
    }
    ++(mode.split ? stats_.motion_16x8_macroblocks : stats_.field_motion_macroblocks);
    for (size_t s = 0; s < 2; ++s) {
      if (!mode.uses[s]) continue;
      for (size_t r = 0; r < (mode.split ? 2U : 1U); ++r) {
        const int field_select = mode.motion[s][r].field_select;
        ++(field_select == parity_ ? stats_.same_parity_vectors : stats_.opposite_parity_vectors);
        if (job_.references[s][size_t(field_select)] == job_.reconstruction) {
          ++stats_.same_frame_vectors;
        }
      }
    }
  }

  BitWriter& bits_;
  const FieldPictureJob& job_;
  FieldStreamStats& stats_;
  const int type_;
  const int parity_;
  const int mb_width_;
  const int mb_height_;
  const int quantiser_scale_;
  SliceState slice_;
};

}  // namespace

void encode_field_picture(BitWriter& bits, const FieldPictureJob& job, FieldStreamStats& stats) {
  FieldPictureCoder(bits, job, stats).encode();
}

}  // namespace tavik::test::field_writer
