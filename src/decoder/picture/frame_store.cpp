#include "decoder/picture/frame_store.h"

#include <sys/mman.h>

#include <cstring>
#include <new>
#include <utility>

#include "base/fatal_error.h"
#include "base/messages.h"

namespace tavik {

FrameGeometry frame_geometry_for(const DecodingVariables& vars, bool mpeg2) {
  FrameGeometry g;
  // chroma_format 0 is reserved: a damaged sequence extension's 0 is decoded as 4:2:0, so that
  // the blocks of a macroblock always match the planes sized for them.
  g.chroma_format = vars.chroma_format == 0 ? 1 : vars.chroma_format;
  g.mb_columns = (vars.horizontal_size + 15) / 16;
  g.mb_rows = (mpeg2 && !vars.progressive_sequence) ? 2 * ((vars.vertical_size + 31) / 32)
                                                    : (vars.vertical_size + 15) / 16;
  g.coded_width = 16 * g.mb_columns;
  g.coded_height = 16 * g.mb_rows;
  g.chroma_width = g.chroma_format == 3 ? g.coded_width : g.coded_width / 2;
  g.chroma_height = g.chroma_format == 1 ? g.coded_height / 2 : g.coded_height;
  g.blocks_per_macroblock = g.chroma_format == 1 ? 6 : g.chroma_format == 2 ? 8 : 12;
  return g;
}

namespace {

bool same_geometry(const FrameGeometry& a, const FrameGeometry& b) {
  return a.coded_width == b.coded_width && a.coded_height == b.coded_height &&
         a.chroma_width == b.chroma_width && a.chroma_height == b.chroma_height;
}

}  // namespace

void FrameStore::allocate(const FrameGeometry& geometry) {
  if (memory_ && same_geometry(geometry, geometry_)) {
    geometry_ = geometry;
    return;
  }
  const int64_t luma = int64_t(geometry.coded_width) * geometry.coded_height;
  if (luma <= 0 || luma > kMaxLumaSamples) {
    throw FatalError(format_text("Unsupported picture size %dx%d\n", geometry.coded_width,
                                 geometry.coded_height));
  }
  const size_t luma_size = size_t(luma);
  const size_t chroma_size = size_t(geometry.chroma_width) * size_t(geometry.chroma_height);
  const size_t set_size = luma_size + 2 * chroma_size;
  memory_.reset();
  const size_t size = 3 * set_size;
  void* mapped = mmap(nullptr, size, PROT_READ | PROT_WRITE,
                      MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
  if (mapped == MAP_FAILED) throw std::bad_alloc();
  memory_ = {static_cast<uint8_t*>(mapped), Unmap{size}};
  FramePlanes* sets[3] = {&newer_reference, &older_reference, &b_frame};
  for (int s = 0; s < 3; ++s) {
    uint8_t* base = memory_.get() + size_t(s) * set_size;
    // Black until decoded (what a picture whose slices are missing shows): the luma is zero
    // already.
    std::memset(base + luma_size, 128, 2 * chroma_size);
    sets[s]->plane[0] = base;
    sets[s]->plane[1] = base + luma_size;
    sets[s]->plane[2] = base + luma_size + chroma_size;
  }
  geometry_ = geometry;
}

void FrameStore::Unmap::operator()(uint8_t* memory) const {
  munmap(memory, size);
}

void FrameStore::swap_references() {
  std::swap(newer_reference, older_reference);
}

}  // namespace tavik
