#pragma once

#include <cstdint>
#include <vector>

namespace tavik {

// One colour component of a lower-layer frame as two frame-sized buffers: set a holds the
// first field on its even lines, set b the second field on its odd lines. Upsampling completes
// the missing lines of both.
struct LowerLayerComponent {
  uint8_t* a;
  uint8_t* b;
  int width;
  int height;  // at least 2
};

// Where an upsampled component goes: `width` x `height` samples of a plane whose lines lie
// `stride` samples apart.
struct UpsampleTarget {
  uint8_t* plane;
  int stride;
  int width;
  int height;
};

// The resampling ratios (ISO/IEC 13818-2 sequence scalable extension): the upsampled size is
// the lower layer's size times n / m. Every factor is at least 1.
struct SubsamplingFactors {
  int horizontal_m;
  int horizontal_n;
  int vertical_m;
  int vertical_n;
};

// Upsamples one component into `target`, its upsampled picture placed `horizontal_offset`,
// `vertical_offset` samples from the target's corner (negative offsets drop its first columns
// or lines); target samples it does not reach are left as they are. Each set is first completed
// by deinterlacing: from the lines of its own field alone (aperture 1), or also from the other
// field (aperture 0). Even upsampled lines come from set a, odd ones from set b; positions are
// interpolated linearly in sixteenths. `row` is scratch space.
void upsample_component(const LowerLayerComponent& lower, const UpsampleTarget& target,
                        int horizontal_offset, int vertical_offset,
                        const SubsamplingFactors& factors, int aperture, std::vector<int>& row);

}  // namespace tavik
