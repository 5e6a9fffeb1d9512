#pragma once

#include <cstdint>
#include <vector>

namespace tavik::test {

// One raw 8-bit 4:2:0 frame: planes of width x height and (width / 2) x (height / 2) samples.
struct YuvFrame {
  std::vector<uint8_t> y, cb, cr;
};

// An interlaced test sequence: a textured background panning right and down, a block moving the
// other way across it and a still band along the top. Each field is sampled half a frame period
// after the other (top field first), so the two fields of a frame differ as a camera's would.
// `width` and `height` are even.
std::vector<YuvFrame> make_moving_frames(int width, int height, int count);

}  // namespace tavik::test
