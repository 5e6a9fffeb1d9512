#include "support/moving_frames.h"

#include <algorithm>
#include <cmath>

namespace tavik::test {

namespace {

constexpr int kStillBandLines = 32;

struct Scene {
  int width;
  int height;

  // Sample of plane 0 (Y), 1 (Cb) or 2 (Cr) at frame position (x, y), at time t in frames.
  [[nodiscard]] double sample(int plane, double x, double y, double t) const {
    if (y < kStillBandLines) return still(plane, x, y);
    const double block_x = 0.6 * width - 3.0 * t;
    const double block_y = 40.0 + 2.0 * t;
    const double u = x - block_x;
    const double v = y - block_y;
    if (u >= 0 && u < 48 && v >= 0 && v < 40) return block(plane, u, v);
    return background(plane, x - 2.0 * t, y - 1.0 * t);
  }

  static double still(int plane, double x, double y) {
    if (plane == 0) return 128 + 60 * std::sin(0.31 * x + 0.17 * y) * std::cos(0.11 * y);
    return 128 + (plane == 1 ? 30 : -30) * std::cos(0.09 * x);
  }

  static double block(int plane, double u, double v) {
    if (plane == 0) return 150 + 70 * std::sin(0.35 * u) * std::sin(0.3 * v + 0.5);
    return 128 + (plane == 1 ? -50 : 45) + 15 * std::sin(0.2 * (u + v));
  }

  static double background(int plane, double x, double y) {
    if (plane == 0) {
      return 120 + 45 * std::sin(0.21 * x + 0.05 * y) + 35 * std::sin(0.043 * x - 0.19 * y + 1) +
             15 * std::sin(0.13 * (x + y));
    }
    const double phase = plane == 1 ? 0.0 : 2.0;
    return 128 + 40 * std::sin(0.07 * x + 0.05 * y + phase);
  }
};

uint8_t to_sample(double value) {
  return uint8_t(std::clamp(std::lround(value), 16L, 235L));
}

}  // namespace

std::vector<YuvFrame> make_moving_frames(int width, int height, int count) {
  const Scene scene{width, height};
  std::vector<YuvFrame> frames(size_t(std::max(count, 0)));
  for (int n = 0; n < count; ++n) {
    YuvFrame& frame = frames[size_t(n)];
    frame.y.resize(size_t(width) * size_t(height));
    for (int y = 0; y < height; ++y) {
      const double t = n + 0.5 * (y & 1);
      for (int x = 0; x < width; ++x) {
        frame.y[size_t(y * width + x)] = to_sample(scene.sample(0, x, y, t));
      }
    }
    const int chroma_width = width / 2;
    const int chroma_height = height / 2;
    for (int plane = 1; plane < 3; ++plane) {
      std::vector<uint8_t>& samples = plane == 1 ? frame.cb : frame.cr;
      samples.resize(size_t(chroma_width) * size_t(chroma_height));
      for (int y = 0; y < chroma_height; ++y) {
        // Chroma lines alternate between the fields like luma lines.
        const double t = n + 0.5 * (y & 1);
        for (int x = 0; x < chroma_width; ++x) {
          samples[size_t(y * chroma_width + x)] =
              to_sample(scene.sample(plane, 2 * x + 0.5, 2 * y + 0.5, t));
        }
      }
    }
  }
  return frames;
}

}  // namespace tavik::test
