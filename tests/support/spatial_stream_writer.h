#pragma once

#include <cstdint>
#include <vector>

#include "support/header_writer.h"

namespace tavik::test {

// A spatially scalable enhancement-layer sequence (ISO/IEC 13818-2 7.7): 4:2:0 frame pictures
// with frame_pred_frame_dct 1, quantiser_scale 16.
struct SpatialSequence {
  int width = 64;
  int height = 32;
  int progressive_sequence = 1;
  header_writer::LowerLayer lower;
};

// One picture: I or P, with its picture spatial scalable extension. In an I picture every
// macroblock is predicted from the lower layer alone; in a P picture every macroblock has a
// zero forward vector and the spatial_temporal_weight_code `weight_code` (written when the table
// index is not 0). With a non-zero `residual` every block codes one DC coefficient of that level,
// which adds 2 x |level| + 1 (with the level's sign) to each predicted sample.
struct SpatialPicture {
  int type = 1;
  int lower_temporal_reference = 0;
  int horizontal_offset = 0;
  int vertical_offset = 0;
  int weight_table_index = 0;
  int weight_code = 0;
  int residual = 0;
};

// The whole stream, sequence end code included.
std::vector<uint8_t> spatial_stream(const SpatialSequence& sequence,
                                    const std::vector<SpatialPicture>& pictures);

}  // namespace tavik::test
