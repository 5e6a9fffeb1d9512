#pragma once

#include <array>
#include <climits>
#include <cstdint>
#include <vector>

namespace tavik::test::field_writer {

// An interlaced 4:2:0 frame at the coded size: planes Y, Cb, Cr, row-major, even lines = top field.
struct Frame {
  int width = 0;
  int height = 0;
  std::array<std::vector<uint8_t>, 3> planes;

  Frame() = default;
  Frame(int luma_width, int luma_height);
  [[nodiscard]] int plane_width(int plane) const { return plane == 0 ? width : width / 2; }
  [[nodiscard]] int plane_height(int plane) const { return plane == 0 ? height : height / 2; }
  // Line `y` of the field of `parity` (0 top, 1 bottom) of one plane.
  [[nodiscard]] uint8_t* field_line(int plane, int parity, int y);
  [[nodiscard]] const uint8_t* field_line(int plane, int parity, int y) const;
};

// A motion vector in half samples, in field coordinates.
struct MotionVector {
  int x = 0;
  int y = 0;
  friend bool operator==(const MotionVector&, const MotionVector&) = default;
};

// A rectangle of a macroblock's luma: `top` and `height` in lines of the field.
struct LumaRegion {
  int x = 0;
  int top = 0;
  int height = 16;
};

// True when the luma region and its chroma, displaced by `mv`, lie inside the field.
[[nodiscard]] bool prediction_fits(const Frame& reference, LumaRegion region, MotionVector mv);

// The prediction of one region of one plane (luma region, or its chroma half with the chroma
// vector derived from `mv`), written to `out` with a line pitch of `out_stride`.
void predict_region(const Frame& reference, int parity, int plane, LumaRegion region,
                    MotionVector mv, uint8_t* out, int out_stride);

struct Candidate {
  MotionVector mv;
  int sad = INT_MAX;
};

// Best vectors of a 16x16 macroblock and of its two 16x8 halves in one reference field.
struct FieldSearch {
  Candidate whole;
  std::array<Candidate, 2> halves;
};

// Full-sample search over +-`range` samples, then a half-sample refinement, of the macroblock of
// `source`'s field `parity` at luma (x, top) in the field `reference_parity` of `reference`.
[[nodiscard]] FieldSearch search_field(const Frame& source, int parity, int x, int top,
                                       const Frame& reference, int reference_parity, int range);

}  // namespace tavik::test::field_writer
