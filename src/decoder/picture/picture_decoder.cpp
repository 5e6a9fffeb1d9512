#include "decoder/picture/picture_decoder.h"

#include <algorithm>
#include <cstring>

#include "base/picture_type.h"
#include "decoder/dsp/dc_block.h"
#include "decoder/dsp/dsp.h"
#include "decoder/picture/block_decoder.h"
#include "decoder/picture/macroblock_vlc.h"
#include "decoder/picture/motion_vectors.h"
#include "decoder/syntax/header_parser.h"
#include "decoder/syntax/scan_tables.h"

namespace tavik {

namespace {

constexpr int kFramePicture = 3;
constexpr int kBottomField = 2;
constexpr int kDPicture = 4;

}  // namespace

bool shows_second_field(const DecodingVariables& v, int frame_number) {
  return !v.progressive_sequence && v.picture_structure == kFramePicture && frame_number != 0;
}

PictureDecoder::PictureDecoder(DecoderContext& ctx, HeaderParser& headers)
    : ctx_(ctx), headers_(headers), kernels_(dsp_kernels()) {}

void PictureDecoder::set_part(int begin, int end, bool last_part) {
  part_begin_ = begin;
  part_end_ = end;
  last_part_ = last_part;
}

void PictureDecoder::reset_predictors() {
  dc_dct_pred_[0] = dc_dct_pred_[1] = dc_dct_pred_[2] = 0;
  std::memset(PMV_, 0, sizeof PMV_);
}

void PictureDecoder::macroblock_modes(Modes& modes) {
  const DecodingVariables& v = ctx_.vars;
  BitReader& reader = ctx_.layer.reader;
  modes.mb_type = read_macroblock_type(ctx_);
  if (ctx_.decode_fault) return;
  modes.stwtype = read_spatial_temporal_weight_type(ctx_, modes.mb_type);
  modes.stwclass = kSpatialTemporalWeightClass[modes.stwtype];

  const bool frame_picture = v.picture_structure == kFramePicture;
  if (modes.mb_type & (kMbForward | kMbBackward)) {
    if (frame_picture) {
      modes.motion_type = v.frame_pred_frame_dct ? kMotionFrame : int(reader.read_bits(2));
    } else {
      modes.motion_type = int(reader.read_bits(2));
    }
  } else if ((modes.mb_type & kMbIntra) && v.concealment_motion_vectors) {
    modes.motion_type = frame_picture ? kMotionFrame : kMotionField;
  }

  if (frame_picture) {
    modes.motion_vector_count = (modes.motion_type == kMotionField && modes.stwclass < 2) ? 2 : 1;
    modes.mv_format = modes.motion_type == kMotionFrame ? kMvFormatFrame : kMvFormatField;
  } else {
    modes.motion_vector_count = modes.motion_type == kMotion16x8 ? 2 : 1;
    modes.mv_format = kMvFormatField;
  }
  modes.dmv = modes.motion_type == kMotionDualPrime;
  modes.mvscale = modes.mv_format == kMvFormatField && frame_picture;
  modes.dct_type =
      (frame_picture && !v.frame_pred_frame_dct && (modes.mb_type & (kMbIntra | kMbPattern)))
          ? int(reader.read_bits(1))
          : 0;
}

bool PictureDecoder::resynchronise(int& address, int& increment) {
  BitReader& reader = ctx_.layer.reader;
  const int mb_columns = ctx_.geometry.mb_columns;
  for (;;) {
    reader.next_start_code();
    const uint32_t code = reader.peek_bits(32);
    if (!is_slice_start_code(code)) {
      if (!ctx_.quiet && last_part_) ctx_.messages->out("Premature end of picture\n");
      return false;
    }
    reader.skip_bits(32);
    const int slice_vertical_position_extension = headers_.read_slice_header(code);
    increment_bit_ = reader.consumed_bits();
    increment = read_address_increment(ctx_);
    if (ctx_.decode_fault) {
      ctx_.decode_fault = false;
      continue;
    }
    address = ((slice_vertical_position_extension * 128) + int(code & 255) - 1) * mb_columns +
              increment - 1;
    if (address < part_begin_) continue;
    increment = 1;
    reset_predictors();
    return true;
  }
}

bool PictureDecoder::read_coded_macroblock(Modes& modes, int& coded_block_pattern) {
  const DecodingVariables& v = ctx_.vars;
  LayerState& layer = ctx_.layer;
  BitReader& reader = layer.reader;

  macroblock_modes(modes);
  if (ctx_.decode_fault) return false;
  const int mb_type = modes.mb_type;
  const bool intra = mb_type & kMbIntra;

  if (mb_type & kMbQuant) {
    layer.quantiser_scale =
        quantiser_scale_of(int(reader.read_bits(5)), layer.mpeg2, layer.q_scale_type);
  }

  if ((mb_type & kMbForward) || (intra && v.concealment_motion_vectors)) {
    if (layer.mpeg2) {
      read_motion_vectors(ctx_, PMV_, dmvector_, motion_vertical_field_select_, 0,
                          modes.motion_vector_count, modes.mv_format, v.forw_hor_r_size,
                          v.forw_vert_r_size, modes.dmv, modes.mvscale);
    } else {
      read_motion_vector(ctx_, PMV_[0][0], dmvector_, v.forw_r_size, v.forw_r_size, 0, 0,
                         v.full_forw);
    }
  }
  if (ctx_.decode_fault) return false;
  if (mb_type & kMbBackward) {
    if (layer.mpeg2) {
      read_motion_vectors(ctx_, PMV_, dmvector_, motion_vertical_field_select_, 1,
                          modes.motion_vector_count, modes.mv_format, v.back_hor_r_size,
                          v.back_vert_r_size, 0, modes.mvscale);
    } else {
      read_motion_vector(ctx_, PMV_[0][1], dmvector_, v.back_r_size, v.back_r_size, 0, 0,
                         v.full_back);
    }
  }
  if (ctx_.decode_fault) return false;
  if (intra && v.concealment_motion_vectors) reader.skip_bits(1);  // marker bit

  const int blocks = ctx_.geometry.blocks_per_macroblock;
  if (mb_type & kMbPattern) {
    coded_block_pattern = read_coded_block_pattern(ctx_);
    if (ctx_.decode_fault) return false;
    if (ctx_.geometry.chroma_format == 2) {
      coded_block_pattern = (coded_block_pattern << 2) | int(reader.read_bits(2));
    } else if (ctx_.geometry.chroma_format == 3) {
      coded_block_pattern = (coded_block_pattern << 6) | int(reader.read_bits(6));
    }
  } else {
    coded_block_pattern = intra ? (1 << blocks) - 1 : 0;
  }

  read_blocks(modes, coded_block_pattern);
  if (ctx_.decode_fault) return false;

  if (!intra) dc_dct_pred_[0] = dc_dct_pred_[1] = dc_dct_pred_[2] = 0;
  if (intra && !v.concealment_motion_vectors) std::memset(PMV_, 0, sizeof PMV_);
  if (v.picture_coding_type == kPPicture && !(mb_type & (kMbIntra | kMbForward))) {
    // No motion vector in a P picture means a zero forward vector.
    PMV_[0][0][0] = PMV_[0][0][1] = PMV_[1][0][0] = PMV_[1][0][1] = 0;
    if (v.picture_structure == kFramePicture) {
      modes.motion_type = kMotionFrame;
    } else {
      modes.motion_type = kMotionField;
      motion_vertical_field_select_[0][0] = v.picture_structure == kBottomField;
    }
  }
  if (modes.stwclass == 4) std::memset(PMV_, 0, sizeof PMV_);
  return true;
}

void PictureDecoder::read_blocks(const Modes& modes, int coded_block_pattern) {
  if (ctx_.vars.picture_coding_type != kDPicture) {
    read_coded_blocks(ctx_, coded_block_pattern, modes.mb_type & kMbIntra, dc_dct_pred_);
    return;
  }
  const int blocks = ctx_.geometry.blocks_per_macroblock;
  for (int comp = 0; comp < blocks; ++comp) {
    if (coded_block_pattern & (1 << (blocks - 1 - comp))) getdcblock(ctx_, comp, dc_dct_pred_);
  }
  ctx_.layer.reader.skip_bits(1);  // end_of_macroblock
}

void PictureDecoder::place_blocks() {
  const FrameGeometry& g = ctx_.geometry;
  const bool field_picture = ctx_.vars.picture_structure != kFramePicture;
  for (int dct_type = 0; dct_type < 2; ++dct_type) {
    for (int comp = 0; comp < 12; ++comp) {
      const bool luminance = comp < 4;
      const int width = luminance ? g.coded_width : g.chroma_width;
      const int x = luminance ? 8 * (comp & 1) : ((comp & 8) ? 8 : 0);
      const int lower = (comp & 2) >> 1;  // the lower of two vertically adjacent blocks
      // A field picture's lines lie two frame lines apart; frame DCT blocks of interlaced
      // macroblocks take every second line, except in 4:2:0 chrominance.
      const bool field_dct = dct_type && (luminance || g.chroma_format != 1);
      BlockPlacement& b = placement_[dct_type][comp];
      b.plane = luminance ? 0 : 1 + (comp & 1);
      if (field_picture) {
        b.stride = 2 * width;
        b.offset = 8 * lower * b.stride + x;
      } else if (field_dct) {
        b.stride = 2 * width;
        b.offset = lower * width + x;
      } else {
        b.stride = width;
        b.offset = 8 * lower * width + x;
      }
    }
  }
}

void PictureDecoder::record(int address, int run, const Modes& modes, int coded_block_pattern,
                            uint32_t bits, bool skipped) {
  MacroblockRecord r;
  // A skipped macroblock repeats the previous one's prediction directions, nothing else.
  const int type_bits = skipped ? kMbForward | kMbBackward
                                : kMbIntra | kMbPattern | kMbBackward | kMbForward | kMbQuant;
  r.flags =
      uint8_t((modes.mb_type & type_bits) | (skipped ? kMbRecordSkipped : 0) | kMbRecordDecoded);
  r.bits = bits;
  r.coded_block_pattern = uint16_t(coded_block_pattern);
  const bool intra = modes.mb_type & kMbIntra;
  const bool vectors = !intra || ctx_.vars.concealment_motion_vectors;
  r.motion_type = uint8_t(vectors ? modes.motion_type : 0);
  r.dct_type = uint8_t(modes.dct_type);
  r.quantiser_scale = uint8_t(ctx_.layer.quantiser_scale);
  r.weight_type = uint8_t(modes.stwtype);
  if (vectors) {
    // Field vectors of frame pictures are kept in frame units by the predictors.
    const int vertical_shift =
        ctx_.vars.picture_structure == kFramePicture && modes.motion_type != kMotionFrame;
    for (int v = 0; v < 2; ++v) {
      for (int s = 0; s < 2; ++s) {
        r.vectors[v][s][0] = int16_t(PMV_[v][s][0]);
        r.vectors[v][s][1] = int16_t(PMV_[v][s][1] >> vertical_shift);
        r.field_select[v][s] = uint8_t(motion_vertical_field_select_[v][s]);
      }
    }
    if (modes.dmv) {
      r.dmvector[0] = int8_t(dmvector_[0]);
      r.dmvector[1] = int8_t(dmvector_[1]);
    }
  }
  const int end = std::min({address + run, part_end_, int(records_.size())});
  for (int a = address; a < end; ++a) records_[size_t(a)] = r;
}

int PictureDecoder::decode_slices(int frame_number, const PredictionFrames& frames,
                                  const std::function<void()>& second_field) {
  return records_.empty() ? decode<false>(frame_number, frames, second_field)
                          : decode<true>(frame_number, frames, second_field);
}

template <bool kRecords>
int PictureDecoder::decode(int frame_number, const PredictionFrames& frames,
                           const std::function<void()>& second_field) {
  const DecodingVariables& v = ctx_.vars;
  const FrameGeometry& g = ctx_.geometry;
  BitReader& reader = ctx_.layer.reader;
  const bool frame_picture = v.picture_structure == kFramePicture;
  // A field holds whole macroblock rows only: with an odd number of rows in the frame store
  // (a progressive sequence carrying field pictures) the last half row lies outside it.
  const int last_address = g.mb_columns * (frame_picture ? g.mb_rows : g.mb_rows / 2);

  // Where the blocks go: a bottom field starts one line down and writes every second line.
  uint8_t* current[3] = {frames.current.plane[0], frames.current.plane[1], frames.current.plane[2]};
  if (v.picture_structure == kBottomField) {
    current[0] += g.coded_width;
    current[1] += g.chroma_width;
    current[2] += g.chroma_width;
  }
  // Rows of macroblocks lie 16 lines of the picture apart: field lines in a field picture.
  const int luma_pitch = frame_picture ? g.coded_width : 2 * g.coded_width;
  const int chroma_pitch = frame_picture ? g.chroma_width : 2 * g.chroma_width;
  place_blocks();
  ctx_.layer.rescale_matrices();
  // Where the display is due to show the second field, or -1.
  const int second_field_address =
      (shows_second_field(v, frame_number) && second_field) ? last_address / 2 : -1;

  Modes modes;
  int address = 0;
  int increment = 0;
  int coded_block_pattern = 0;
  bool second_field_shown = false;
  ctx_.decode_fault = false;
  reset_predictors();

  for (;;) {
    if (address == second_field_address && !second_field_shown) {
      second_field();
      second_field_shown = true;
    }

    if (increment == 0) {
      if (reader.peek_bits(23) == 0 || ctx_.decode_fault) {
        ctx_.decode_fault = false;
        if (address >= std::min(last_address, part_end_)) return address;
        if (!resynchronise(address, increment)) return address;
      } else {
        if (address >= last_address) {
          if (!ctx_.quiet) ctx_.messages->out("Too many macroblocks in picture\n");
          return address;
        }
        if constexpr (kRecords) increment_bit_ = reader.consumed_bits();
        increment = read_address_increment(ctx_);
        if (ctx_.decode_fault) {
          increment = 0;
          continue;
        }
      }
    }
    if (address >= last_address) {
      if (!ctx_.quiet) ctx_.messages->out("Too many macroblocks in picture\n");
      return address;
    }

    // Macroblocks handled in this round: a run of skipped ones is predicted at once.
    int run = 1;
    if (increment == 1) {
      if (!read_coded_macroblock(modes, coded_block_pattern)) {
        increment = 0;
        continue;  // abandoned: resynchronise at the next slice
      }
      if constexpr (kRecords) {
        record(address, 1, modes, coded_block_pattern,
               uint32_t(reader.consumed_bits() - increment_bit_), false);
      }
    } else {
      // Skipped macroblock: no coefficients, the previous prediction modes repeated.
      dc_dct_pred_[0] = dc_dct_pred_[1] = dc_dct_pred_[2] = 0;
      if (v.picture_coding_type == kPPicture) {
        PMV_[0][0][0] = PMV_[0][0][1] = PMV_[1][0][0] = PMV_[1][0][1] = 0;
      }
      if (frame_picture) {
        modes.motion_type = kMotionFrame;
      } else {
        modes.motion_type = kMotionField;
        motion_vertical_field_select_[0][0] = motion_vertical_field_select_[0][1] =
            v.picture_structure == kBottomField;
      }
      modes.stwtype = v.picture_coding_type == kIPicture ? kSpatialOnlyWeightType : 0;
      modes.mb_type &= ~kMbIntra;
      coded_block_pattern = 0;
      // Up to the end of the macroblock row and of the part, and not past the place where the
      // second field is shown.
      if (modes.stwtype == 0 && !ctx_.trace_enabled) {
        const int row_end = (address / g.mb_columns + 1) * g.mb_columns;
        int limit = std::min({address + increment - 1, row_end, part_end_, last_address}) - address;
        if (second_field_address > address) {
          limit = std::min(limit, second_field_address - address);
        }
        run = std::max(limit, 1);
      }
      if constexpr (kRecords) record(address, run, modes, 0, 0, true);
    }

    const int bx = 16 * (address % g.mb_columns);
    const int by = 16 * (address / g.mb_columns);
    // A slice that runs past the part is read on, for its warnings, but the macroblocks there
    // are the next part's to write.
    if (address >= part_end_) coded_block_pattern = 0;
    const bool intra = modes.mb_type & kMbIntra;
    if (!intra && address < part_end_) {
      predict_macroblock(ctx_, frames, bx, by, modes.mb_type, modes.motion_type, PMV_,
                         motion_vertical_field_select_, dmvector_, modes.stwtype, run);
    }
    if (coded_block_pattern) {
      const int cx = g.chroma_format == 3 ? bx : bx >> 1;
      const int cy = g.chroma_format == 1 ? by >> 1 : by;
      uint8_t* const corner[3] = {current[0] + by * luma_pitch + bx,
                                  current[1] + cy * chroma_pitch + cx,
                                  current[2] + cy * chroma_pitch + cx};
      const BlockPlacement* const placement = placement_[modes.dct_type];
      const int blocks = g.blocks_per_macroblock;
      for (int comp = 0; comp < blocks; ++comp) {
        if (!(coded_block_pattern & (1 << (blocks - 1 - comp)))) continue;
        int16_t* const block = ctx_.layer.block[comp];
        const BlockPlacement& b = placement[comp];
        uint8_t* const dst = corner[b.plane] + b.offset;
        if (intra && ctx_.layer.dc_only[comp]) {
          put_dc_block(block[0], block[63], dst, b.stride);
          continue;
        }
        kernels_.idct(block);
        if (intra) {
          kernels_.put_block(block, dst, b.stride);
        } else {
          kernels_.add_block(block, dst, b.stride);
        }
      }
    }
    address += run;
    increment -= run;
  }
}

}  // namespace tavik
