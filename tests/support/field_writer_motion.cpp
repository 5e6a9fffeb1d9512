#include "support/field_writer_motion.h"

#include <cstdlib>

namespace tavik::test::field_writer {

Frame::Frame(int luma_width, int luma_height) : width(luma_width), height(luma_height) {
  planes[0].assign(size_t(width) * size_t(height), 0);
  for (int plane = 1; plane < 3; ++plane) {
    planes[size_t(plane)].assign(size_t(plane_width(plane)) * size_t(plane_height(plane)), 128);
  }
}

uint8_t* Frame::field_line(int plane, int parity, int y) {
  return planes[size_t(plane)].data() + size_t(2 * y + parity) * size_t(plane_width(plane));
}

const uint8_t* Frame::field_line(int plane, int parity, int y) const {
  return planes[size_t(plane)].data() + size_t(2 * y + parity) * size_t(plane_width(plane));
}

namespace {

// The part of one plane a luma region covers, with the vector that applies to that plane.
struct PlaneArea {
  int x;
  int top;
  int width;
  int height;
  MotionVector mv;
};

PlaneArea plane_area(int plane, LumaRegion region, MotionVector mv) {
  if (plane == 0) return {region.x, region.top, 16, region.height, mv};
  // 4:2:0 chroma vectors are the luma ones halved towards zero (ISO/IEC 13818-2 7.6.3.7).
  return {region.x / 2, region.top / 2, 8, region.height / 2, {mv.x / 2, mv.y / 2}};
}

bool area_fits(const Frame& reference, int plane, const PlaneArea& area) {
  const int left = area.x + (area.mv.x >> 1);
  const int top = area.top + (area.mv.y >> 1);
  const int right = left + area.width + (area.mv.x & 1);
  const int bottom = top + area.height + (area.mv.y & 1);
  return left >= 0 && top >= 0 && right <= reference.plane_width(plane) &&
         bottom <= reference.plane_height(plane) / 2;
}

int region_sad(const Frame& source, int parity, const Frame& reference, int reference_parity,
               LumaRegion region, MotionVector mv) {
  std::array<uint8_t, 256> prediction{};
  predict_region(reference, reference_parity, 0, region, mv, prediction.data(), 16);
  int sad = 0;
  for (int y = 0; y < region.height; ++y) {
    const uint8_t* line = source.field_line(0, parity, region.top + y) + region.x;
    for (int x = 0; x < 16; ++x) sad += std::abs(line[x] - prediction[size_t(y * 16 + x)]);
  }
  return sad;
}

// The search's inner loop: whole-sample displacements need no interpolation.
int whole_sample_sad(const Frame& source, int parity, const Frame& reference, int reference_parity,
                     LumaRegion region, int dx, int dy) {
  int sad = 0;
  for (int y = 0; y < region.height; ++y) {
    const uint8_t* line = source.field_line(0, parity, region.top + y) + region.x;
    const uint8_t* match =
        reference.field_line(0, reference_parity, region.top + y + dy) + region.x + dx;
    for (int x = 0; x < 16; ++x) sad += std::abs(line[x] - match[x]);
  }
  return sad;
}

Candidate refine(const Frame& source, int parity, const Frame& reference, int reference_parity,
                 LumaRegion region, Candidate start) {
  Candidate best = start;
  for (int dy = -1; dy <= 1; ++dy) {
    for (int dx = -1; dx <= 1; ++dx) {
      const MotionVector mv{start.mv.x + dx, start.mv.y + dy};
      if ((dx == 0 && dy == 0) || !prediction_fits(reference, region, mv)) continue;
      const int sad = region_sad(source, parity, reference, reference_parity, region, mv);
      if (sad < best.sad) best = {mv, sad};
    }
  }
  return best;
}

}  // namespace

bool prediction_fits(const Frame& reference, LumaRegion region, MotionVector mv) {
  return area_fits(reference, 0, plane_area(0, region, mv)) &&
         area_fits(reference, 1, plane_area(1, region, mv));
}

void predict_region(const Frame& reference, int parity, int plane, LumaRegion region,
                    MotionVector mv, uint8_t* out, int out_stride) {
  const PlaneArea area = plane_area(plane, region, mv);
  const int left = area.x + (area.mv.x >> 1);
  const int top = area.top + (area.mv.y >> 1);
  const int half_x = area.mv.x & 1;
  const int half_y = area.mv.y & 1;
  for (int y = 0; y < area.height; ++y) {
    const uint8_t* a = reference.field_line(plane, parity, top + y) + left;
    const uint8_t* b = half_y ? reference.field_line(plane, parity, top + y + 1) + left : a;
    for (int x = 0; x < area.width; ++x) {
      const int sum = a[x] + a[x + half_x] + b[x] + b[x + half_x];
      out[y * out_stride + x] = uint8_t((sum + 2) >> 2);
    }
  }
}

FieldSearch search_field(const Frame& source, int parity, int x, int top, const Frame& reference,
                         int reference_parity, int range) {
  const std::array<LumaRegion, 2> halves = {LumaRegion{x, top, 8}, LumaRegion{x, top + 8, 8}};
  FieldSearch result;
  for (int dy = -range; dy <= range; ++dy) {
    for (int dx = -range; dx <= range; ++dx) {
      const MotionVector mv{2 * dx, 2 * dy};
      if (!prediction_fits(reference, {x, top, 16}, mv)) continue;
      int whole = 0;
      for (size_t half = 0; half < 2; ++half) {
        const int sad =
            whole_sample_sad(source, parity, reference, reference_parity, halves[half], dx, dy);
        if (sad < result.halves[half].sad) result.halves[half] = {mv, sad};
        whole += sad;
      }
      if (whole < result.whole.sad) result.whole = {mv, whole};
    }
  }
  result.whole = refine(source, parity, reference, reference_parity, {x, top, 16}, result.whole);
  for (size_t half = 0; half < 2; ++half) {
    result.halves[half] =
        refine(source, parity, reference, reference_parity, halves[half], result.halves[half]);
  }
  return result;
}

}  // namespace tavik::test::field_writer
