#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "decoder/syntax/decoder_state.h"

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

// Hands the frame's planar 8-bit samples (Y, then Cb, then Cr) to `write(bytes, count)` in as
// few runs as the cropping allows: a plane whose rows are whole goes in one run.
template <typename Write>
void for_each_planar_run(const FramePlanes& frame, const FrameGeometry& geometry,
                         const PlaneSizes& sizes, Write&& write) {
  for (int c = 0; c < 3; ++c) {
    const size_t stride = size_t(c == 0 ? geometry.coded_width : geometry.chroma_width);
    const size_t width = size_t(sizes.width[c]);
    const uint8_t* row = frame.plane[c];
    if (width == stride) {
      write(row, width * size_t(sizes.height[c]));
      continue;
    }
    for (int y = 0; y < sizes.height[c]; ++y, row += stride) write(row, width);
  }
}

// Appends the frame as planar 8-bit samples (Y, then Cb, then Cr) to `out`.
void append_planar_frame(std::vector<uint8_t>& out, const FramePlanes& frame,
                         const FrameGeometry& geometry, const PlaneSizes& sizes);

}  // namespace tavik
