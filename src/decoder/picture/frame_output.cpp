#include "decoder/picture/frame_output.h"

#include <algorithm>

namespace tavik {

size_t PlaneSizes::total() const {
  size_t sum = 0;
  for (int c = 0; c < 3; ++c) sum += size_t(width[c]) * size_t(height[c]);
  return sum;
}

PlaneSizes output_plane_sizes(const FrameGeometry& geometry, const DecodingVariables& vars,
                              bool coded_size) {
  PlaneSizes sizes;
  if (coded_size) {
    sizes.width[0] = geometry.coded_width;
    sizes.height[0] = geometry.coded_height;
    sizes.width[1] = sizes.width[2] = geometry.chroma_width;
    sizes.height[1] = sizes.height[2] = geometry.chroma_height;
    return sizes;
  }
  // The picture may be smaller than the coded frame, which holds whole macroblocks.
  const int width = std::min(vars.horizontal_size, geometry.coded_width);
  const int height = std::min(vars.vertical_size, geometry.coded_height);
  sizes.width[0] = width;
  sizes.height[0] = height;
  const int chroma_width = geometry.chroma_format == 3 ? width : (width + 1) / 2;
  const int chroma_height = geometry.chroma_format == 1 ? (height + 1) / 2 : height;
  sizes.width[1] = sizes.width[2] = chroma_width;
  sizes.height[1] = sizes.height[2] = chroma_height;
  return sizes;
}

void append_planar_frame(std::vector<uint8_t>& out, const FramePlanes& frame,
                         const FrameGeometry& geometry, const PlaneSizes& sizes) {
  for_each_planar_run(frame, geometry, sizes, [&out](const uint8_t* bytes, size_t count) {
    out.insert(out.end(), bytes, bytes + count);
  });
}

}  // namespace tavik
