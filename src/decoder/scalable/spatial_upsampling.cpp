#include "decoder/scalable/spatial_upsampling.h"

#include <algorithm>

namespace tavik {

namespace {

// Completes lines first, first + 2, ... of `field` from its neighbours (A above, B below, each
// mirrored at the picture's edges) and, with aperture 0, from the co-sited lines of `other`.
void deinterlace_field(uint8_t* field, const uint8_t* other, int first, int width, int height,
                       int aperture) {
  for (int j = first; j < height; j += 2) {
    const uint8_t* above = field + (j > 0 ? j - 1 : j + 1) * width;
    const uint8_t* below = field + (j + 1 < height ? j + 1 : j - 1) * width;
    uint8_t* out = field + j * width;
    if (aperture == 1) {
      for (int x = 0; x < width; ++x) out[x] = uint8_t((above[x] + below[x] + 1) >> 1);
      continue;
    }
    const uint8_t* same = other + j * width;
    const uint8_t* up2 = other + (j >= 2 ? j - 2 : j) * width;
    const uint8_t* down2 = other + (j + 2 < height ? j + 2 : j) * width;
    for (int x = 0; x < width; ++x) {
      const int t = 2 * same[x] + 8 * (above[x] + below[x]) - up2[x] - down2[x];
      out[x] = uint8_t(std::clamp((t + 7 + (t >= 0 ? 1 : 0)) >> 4, 0, 255));
    }
  }
}

// Position of upsampled sample i in the lower layer: index and phase in sixteenths.
struct Phase {
  int index;
  int phase;
};

Phase phase_of(int i, int m, int n) {
  const int p = i * m;
  return {p / n, (n / 2 + (p % n) * 16) / n};
}

}  // namespace

void upsample_component(const LowerLayerComponent& lower, const UpsampleTarget& target,
                        int horizontal_offset, int vertical_offset,
                        const SubsamplingFactors& factors, int aperture, std::vector<int>& row) {
  const int width = lower.width;
  const int height = lower.height;
  deinterlace_field(lower.a, lower.b, 1, width, height, aperture);
  deinterlace_field(lower.b, lower.a, 0, width, height, aperture);

  const int upsampled_width = width * factors.horizontal_n / factors.horizontal_m;
  const int upsampled_height = height * factors.vertical_n / factors.vertical_m;
  // The target columns and lines that upsampled samples reach.
  const int first_column = std::max(horizontal_offset, 0);
  const int end_column = std::min(target.width, horizontal_offset + upsampled_width);
  const int first_line = std::max(vertical_offset, 0);
  const int end_line = std::min(target.height, vertical_offset + upsampled_height);
  row.resize(size_t(width));
  for (int line = first_line; line < end_line; ++line) {
    const int y = line - vertical_offset;
    const uint8_t* source = (y & 1) ? lower.b : lower.a;
    const Phase v = phase_of(y, factors.vertical_m, factors.vertical_n);
    const uint8_t* upper = source + v.index * width;
    const uint8_t* lower_line = source + std::min(v.index + 1, height - 1) * width;
    for (int x = 0; x < width; ++x) row[x] = v.phase * lower_line[x] + (16 - v.phase) * upper[x];

    uint8_t* out = target.plane + line * target.stride;
    for (int column = first_column; column < end_column; ++column) {
      const Phase h =
          phase_of(column - horizontal_offset, factors.horizontal_m, factors.horizontal_n);
      const int next = std::min(h.index + 1, width - 1);
      const int f = (16 - h.phase) * row[h.index] + h.phase * row[next];
      out[column] = uint8_t((f + 127 + (f >= 0 ? 1 : 0)) >> 8);
    }
  }
}

}  // namespace tavik
