#pragma once

#include <cstdint>
#include <vector>

#include "decoder/decoder_state.h"

namespace tavik {

// Width and height of the three planes of a frame as it is written out: the picture size
// (horizontal_size x vertical_size) or, when asked, the coded size of the frame store.
struct PlaneSizes {
  int width[3] = {0, 0, 0};
  int height[3] = {0, 0, 0};
  [[nodiscard]] size_t total() const;
};

[[nodiscard]] PlaneSizes output_plane_sizes(const FrameGeometry& geometry,
                                            const DecodingVariables& vars, bool coded_size);

// Appends the frame as planar 8-bit samples (Y, then Cb, then Cr) to `out`.
void append_planar_frame(std::vector<uint8_t>& out, const FramePlanes& frame,
                         const FrameGeometry& geometry, const PlaneSizes& sizes);

}  // namespace tavik
