#pragma once

#include <cstdint>

#include "decoder/picture/macroblock_record.h"

namespace tavik {

// How a macroblock was predicted, one category each.
enum class MacroblockCategory { kIntra, kForward, kBackward, kBidirectional, kSkipped, kLost };

// The category of a record of a picture of the coding type given (a P macroblock without a
// vector is forward predicted; a lost one was not decoded).
[[nodiscard]] MacroblockCategory macroblock_category(const MacroblockRecord& record,
                                                     int picture_coding_type);

// The smallest and largest vector component used, in the record's half samples, against those
// f_code allows (ISO/IEC 13818-2 7.6.3.1).
struct VectorRange {
  int used_min = 0;
  int used_max = 0;
  bool used = false;
  bool allowed = false;  // the picture's type has the direction (and its f_code is not 15)
  int allowed_min = 0;
  int allowed_max = 0;
};

// Coding figures of one picture.
struct PictureStatistics {
  int64_t picture = 0;
  int picture_coding_type = 0;
  int picture_structure = 3;
  int macroblocks = 0;  // of the picture, decoded or not
  int counts[6] = {};   // by MacroblockCategory
  // The quantiser of the macroblocks not skipped; 0 when there are none.
  int quantiser_min = 0;
  int quantiser_max = 0;
  double quantiser_average = 0;
  VectorRange vectors[2][2];  // [direction][horizontal, vertical]
  uint64_t macroblock_bits = 0;
  uint64_t header_bits = 0;  // the picture's other bits: headers, slice headers, stuffing

  [[nodiscard]] int count(MacroblockCategory category) const {
    return counts[static_cast<int>(category)];
  }
};

[[nodiscard]] PictureStatistics picture_statistics(const PictureMacroblocks& picture);

}  // namespace tavik
