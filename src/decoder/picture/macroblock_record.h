#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace tavik {

// Flags of a macroblock record: the macroblock_type bits as read (kMbIntra ... kMbQuant of the
// decoder state share their values), whether it was skipped, and whether it was decoded at all
// (records of macroblocks a damaged slice lost keep kMbDecoded clear and nothing else).
enum MacroblockFlag : uint8_t {
  kMbRecordIntra = 1,
  kMbRecordPattern = 2,
  kMbRecordBackward = 4,
  kMbRecordForward = 8,
  kMbRecordQuant = 16,
  kMbRecordSkipped = 32,
  kMbRecordDecoded = 128,
};

// What the picture decoder learnt of one macroblock.
struct MacroblockRecord {
  // The vectors of each direction s (0 forward, 1 backward) as the prediction uses them, in
  // half samples: vectors[r][s] = {horizontal, vertical}. Frame motion uses r = 0 alone; field
  // motion (and 16x8 motion) r = 0 for the top field (upper half) and r = 1 for the bottom field
  // (lower half), the vertical component then in field lines. Dual prime gives the vector to
  // the fields of the same parity in r = 0 and dmvector beside it. A P macroblock without a
  // forward vector is predicted with the zero vector, which it shows.
  int16_t vectors[2][2][2] = {};
  uint32_t bits = 0;  // from its address increment to the end of its blocks; 0 when skipped
  uint16_t coded_block_pattern = 0;
  uint8_t flags = 0;
  // frame_motion_type or field_motion_type (1 field, 2 frame or 16x8, 3 dual prime); 0 for an
  // intra macroblock without concealment vectors.
  uint8_t motion_type = 0;
  uint8_t dct_type = 0;
  uint8_t quantiser_scale =
      0;  // the effective quantiser, quantiser_scale_code through q_scale_type
  uint8_t field_select[2][2] = {};  // motion_vertical_field_select[r][s]
  int8_t dmvector[2] = {};
  uint8_t weight_type = 0;  // spatial-temporal weight type 0..8 of spatially scalable pictures

  [[nodiscard]] bool decoded() const { return flags & kMbRecordDecoded; }
  [[nodiscard]] bool has(MacroblockFlag flag) const { return flags & flag; }
  // Predicted from the past reference: a forward vector, or any non-intra macroblock of a P
  // picture (field_select and vectors[.][0] then apply).
  [[nodiscard]] bool forward(int picture_coding_type) const {
    return has(kMbRecordForward) || (picture_coding_type == 2 && !has(kMbRecordIntra));
  }
};

// The records of one picture, by macroblock address (row by row within the picture: a field
// picture's rows are rows of its field).
struct PictureMacroblocks {
  std::span<const MacroblockRecord> records;
  int64_t picture = 0;  // pictures before it in the stream, as the frame records count them
  int picture_coding_type = 0;
  int picture_structure = 3;  // 1 top field, 2 bottom field, 3 frame
  int mb_columns = 0;
  int mb_rows = 0;  // of the picture (of the field, for a field picture)
  // r_size (f_code - 1) of [s][t], direction s, horizontal and vertical; MPEG-1 repeats the
  // one forward and backward f_code.
  int r_size[2][2] = {};
  bool mpeg2 = true;
  // Bits from the picture start code to the end of its last slice.
  uint64_t picture_bits = 0;
  // The frame buffer the picture was decoded into: the planes handed over for display carry the
  // same luminance pointer.
  const uint8_t* frame = nullptr;
};

// Where a macroblock shows on its frame, in luminance samples. A frame coded as two field
// pictures shows each field's macroblock (c, r) as a 16x16 block in the 32-line band of its
// row: the first field's in the upper half, the second field's in the lower one.
struct MacroblockBox {
  int x = 0;
  int y = 0;
};

[[nodiscard]] inline MacroblockBox macroblock_box(const PictureMacroblocks& picture, int address,
                                                  int field_order) {
  const int column = address % picture.mb_columns;
  const int row = address / picture.mb_columns;
  if (picture.picture_structure == 3) return {16 * column, 16 * row};
  return {16 * column, 32 * row + 16 * field_order};
}

// A vector's vertical component in frame half samples: field vectors count field lines.
[[nodiscard]] inline int frame_vertical(const PictureMacroblocks& picture,
                                        const MacroblockRecord& record, int vertical) {
  const bool field_vector = picture.picture_structure != 3 || record.motion_type != 2;
  return field_vector ? 2 * vertical : vertical;
}

// frame_motion_type / field_motion_type by name; "" when the macroblock has no vector.
[[nodiscard]] inline std::string_view motion_type_name(const PictureMacroblocks& picture,
                                                       const MacroblockRecord& record) {
  switch (record.motion_type) {
    case 1:
      return "field";
    case 2:
      return picture.picture_structure == 3 ? "frame" : "16x8";
    case 3:
      return "dual_prime";
    default:
      return "";
  }
}

// How many vectors the macroblock has in direction s (0 forward, 1 backward): none, one, or
// one per field (or half).
[[nodiscard]] inline int direction_vectors(const PictureMacroblocks& picture,
                                           const MacroblockRecord& record, int s) {
  if (record.has(kMbRecordIntra) && record.motion_type == 0) return 0;
  const bool used = s == 0
                        ? record.forward(picture.picture_coding_type) || record.has(kMbRecordIntra)
                        : record.has(kMbRecordBackward);
  if (!used) return 0;
  const bool two = (record.motion_type == 1 && picture.picture_structure == 3) ||
                   (record.motion_type == 2 && picture.picture_structure != 3);
  return two ? 2 : 1;
}

}  // namespace tavik
