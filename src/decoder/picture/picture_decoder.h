#pragma once

#include <climits>
#include <functional>
#include <span>

#include "decoder/picture/macroblock_record.h"
#include "decoder/picture/prediction.h"
#include "decoder/syntax/decoder_state.h"

namespace tavik {

class HeaderParser;
struct DspKernels;

// Whether the display is due to show the second field of the frame it showed last while an
// interlaced frame picture is decoded: not for the first frame of a session or picture size.
[[nodiscard]] bool shows_second_field(const DecodingVariables& v, int frame_number);

// Decodes the slices of one picture, macroblock by macroblock, into the current frame. Invalid
// codes are reported and decoding resumes at the next slice; the picture is always completed
// as far as the stream allows.
class PictureDecoder {
 public:
  PictureDecoder(DecoderContext& ctx, HeaderParser& headers);

  // Called with the window at the first slice start code. `second_field` is called once,
  // half-way through an interlaced frame picture whose frame number is not 0 (the first
  // picture of a session, or of a new picture size, has no frame shown before it), when the
  // display is due to show the second field of the frame it showed last.
  // Returns the macroblock address reached.
  int decode_slices(int frame_number, const PredictionFrames& frames,
                    const std::function<void()>& second_field);

  // Limits decode_slices to the macroblocks from `begin` up to `end`, so that parts of a
  // picture can be decoded at once: slices that start before `begin` are passed over, and a
  // slice that runs past `end` is read to its end without writing. Unless `last_part`, the
  // slices running out before the picture's end says nothing about the picture.
  void set_part(int begin, int end, bool last_part);

  // Where decode_slices records each macroblock it decodes, by address (at least one record
  // per macroblock of the picture); empty: no records. Records of macroblocks outside the part
  // and of those not decoded are left as they are.
  void set_records(std::span<MacroblockRecord> records) { records_ = records; }

 private:
  // Macroblock modes derived from macroblock_type (ISO/IEC 13818-2 6.3.17.1).
  struct Modes {
    int mb_type = 0;
    int stwtype = 0;
    int stwclass = 0;
    int motion_type = 0;
    int motion_vector_count = 1;
    int mv_format = 0;
    int dmv = 0;
    int mvscale = 0;
    int dct_type = 0;
  };

  template <bool kRecords>
  int decode(int frame_number, const PredictionFrames& frames,
             const std::function<void()>& second_field);
  // Fills the records of `run` macroblocks from `address` on with what was decoded of them.
  void record(int address, int run, const Modes& modes, int coded_block_pattern, uint32_t bits,
              bool skipped);
  // Reads the macroblock modes; `motion_type` is kept when the macroblock carries none.
  void macroblock_modes(Modes& modes);
  // Finds the next slice and returns true, or returns false when the picture is over.
  bool resynchronise(int& address, int& increment);
  // Reads a coded macroblock's vectors, pattern and blocks; false when it was abandoned.
  bool read_coded_macroblock(Modes& modes, int& coded_block_pattern);
  void read_blocks(const Modes& modes, int coded_block_pattern);
  void reset_predictors();
  // Fills placement_ for the picture's structure and sizes.
  void place_blocks();

  // Where block `comp` of a macroblock goes: plane, offset from the macroblock's corner, and
  // the distance of its rows.
  struct BlockPlacement {
    int plane = 0;
    int offset = 0;
    int stride = 0;
  };

  DecoderContext& ctx_;
  HeaderParser& headers_;
  const DspKernels& kernels_;
  int dc_dct_pred_[3] = {0, 0, 0};
  int PMV_[2][2][2] = {};
  int motion_vertical_field_select_[2][2] = {};
  int dmvector_[2] = {0, 0};
  BlockPlacement placement_[2][12];  // by dct_type
  int part_begin_ = 0;
  int part_end_ = INT_MAX;
  bool last_part_ = true;
  std::span<MacroblockRecord> records_;
  uint64_t increment_bit_ = 0;  // where the address increment of the next macroblock began
};

}  // namespace tavik
