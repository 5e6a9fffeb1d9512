#include "display/dither.h"

#include <algorithm>
#include <cstddef>
#include <new>
#include <stdexcept>

#include "base/fatal_error.h"
#include "display/palette.h"

namespace tavik {

namespace {

constexpr int kBottomField = 2;
constexpr int kFramePicture = 3;
constexpr int kChroma444 = 3;

// The planes handed over, with their sizes and the chroma subsampling as shifts.
struct FrameLayout {
  const uint8_t* y;
  const uint8_t* cb;
  const uint8_t* cr;
  int width;
  int height;
  int chroma_width;
  int chroma_height;
  int chroma_shift_x;
  int chroma_shift_y;
};

// Picture row r goes to buffer row height - 1 - r.
[[nodiscard]] uint8_t* output_row(PaletteImage& image, int r) {
  return image.pixels.data() + static_cast<size_t>(image.height - 1 - r) * image.width;
}

[[nodiscard]] const uint8_t* line(const uint8_t* plane, int width, int index) {
  return plane + static_cast<size_t>(index) * width;
}

// The three routines list their rows for the kernels, row r at rows[r * stride]: with stride 2
// the two field images of a frame share one list row by row, so that the lines one reads are
// still in cache for the other.
void dither_frame(const FrameLayout& frame, PaletteImage& image, DitherRow* rows) {
  for (int r = 0; r < frame.height; ++r) {
    const uint8_t* luma = line(frame.y, frame.width, r);
    const int chroma_line = std::min(r >> frame.chroma_shift_y, frame.chroma_height - 1);
    rows[r] = {luma,
               luma,
               line(frame.cb, frame.chroma_width, chroma_line),
               line(frame.cr, frame.chroma_width, chroma_line),
               output_row(image, r),
               frame.width,
               frame.chroma_width,
               r & 3};
  }
}

// The last line of a field (parity 0 top, 1 bottom) among `lines` lines; 0 if it has none.
[[nodiscard]] int last_field_line(int lines, int parity) {
  const int last = lines - 1;
  return std::max(0, last - ((last - parity) & 1));
}

// One field at full height. Rows of the field's own parity show its lines; the rows between
// are the floored average of the field lines above and below, the nearest field line standing
// in for a missing one (above the first row, below the last). Each pair of rows takes the
// field's chroma line of its own line: in 4:2:0 the field's chroma lines are every other one.
void dither_field(const FrameLayout& frame, int parity, PaletteImage& image, DitherRow* rows,
                  int stride) {
  const int last_luma = last_field_line(frame.height, parity);
  const int last_chroma = last_field_line(frame.chroma_height, parity);
  for (int r = 0; r < frame.height; ++r) {
    const bool own_line = (r & 1) == parity;
    const int above = own_line ? r : std::min(std::max(r - 1, parity), last_luma);
    const int below = own_line ? r : std::min(r + 1, last_luma);
    const int chroma_line = std::min(2 * ((r >> 1) >> frame.chroma_shift_y) + parity, last_chroma);
    rows[static_cast<size_t>(r) * stride] = {line(frame.y, frame.width, above),
                                             line(frame.y, frame.width, below),
                                             line(frame.cb, frame.chroma_width, chroma_line),
                                             line(frame.cr, frame.chroma_width, chroma_line),
                                             output_row(image, r),
                                             frame.width,
                                             frame.chroma_width,
                                             r & 3};
  }
}

void dither_top_field(const FrameLayout& frame, PaletteImage& image, DitherRow* rows, int stride) {
  dither_field(frame, 0, image, rows, stride);
}

void dither_bottom_field(const FrameLayout& frame, PaletteImage& image, DitherRow* rows,
                         int stride) {
  dither_field(frame, 1, image, rows, stride);
}

// Checks that the frame fits the images made by init_display, so no row or column read or
// written falls outside a plane or an image.
[[nodiscard]] FrameLayout frame_layout(const FramePlanes& planes, const FrameGeometry& geometry,
                                       const PaletteImage& image) {
  const int shift_x = geometry.chroma_format == kChroma444 ? 0 : 1;
  const int shift_y = geometry.chroma_format == 1 ? 1 : 0;
  const FrameLayout frame{planes.plane[0],
                          planes.plane[1],
                          planes.plane[2],
                          geometry.coded_width,
                          geometry.coded_height,
                          geometry.chroma_width,
                          geometry.chroma_height,
                          shift_x,
                          shift_y};
  if (frame.width != image.width || frame.height != image.height) {
    throw std::invalid_argument("display_picture: frame size differs from the display images");
  }
  const bool empty = frame.width == 0 || frame.height == 0;
  if (!empty && (frame.y == nullptr || frame.cb == nullptr || frame.cr == nullptr ||
                 frame.chroma_width < std::max(1, frame.width >> shift_x) ||
                 frame.chroma_height < std::max(1, frame.height >> shift_y))) {
    throw std::invalid_argument("display_picture: planes do not cover the frame");
  }
  return frame;
}

void size_image(PaletteImage& image, int width, int height) {
  image.width = width;
  image.height = height;
  image.pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
}

}  // namespace

void Ditherer::init_display(int depth, int coded_width, int coded_height) {
  if (depth != kDisplayDepth) throw FatalError("unsuported dither type");
  if (coded_width < 0 || coded_height < 0) {
    throw std::invalid_argument("init_display: negative picture size");
  }
  try {
    size_image(display_image_, coded_width, coded_height);
    size_image(second_display_image_, coded_width, coded_height);
    rows_.resize(2 * static_cast<size_t>(coded_height));
  } catch (const std::bad_alloc&) {
    throw FatalError("malloc failed");
  }
  tables_ = make_dither_tables();
}

PaletteImage& Ditherer::display_picture(const FramePlanes& frame, const FrameGeometry& geometry,
                                        const DecodingVariables& vars) {
  const FrameLayout layout = frame_layout(frame, geometry, display_image_);
  // A listener that took the pixels left a buffer of the size it found, so this only fails
  // for a listener that broke that rule; it must not send the rows out of bounds.
  for (const PaletteImage* image : {&display_image_, &second_display_image_}) {
    if (image->pixels.size() != static_cast<size_t>(layout.width) * layout.height) {
      throw std::invalid_argument("display_picture: an image's pixels were replaced by others");
    }
  }
  DitherRow* const rows = rows_.data();
  size_t count = static_cast<size_t>(layout.height);
  if (vars.progressive_sequence == 1) {
    dither_frame(layout, display_image_, rows);
  } else if ((vars.picture_structure == kFramePicture && vars.top_field_first == 1) ||
             vars.picture_structure == kBottomField) {
    dither_top_field(layout, display_image_, rows, 2);
    dither_bottom_field(layout, second_display_image_, rows + 1, 2);
    count *= 2;
  } else {
    dither_bottom_field(layout, display_image_, rows, 2);
    dither_top_field(layout, second_display_image_, rows + 1, 2);
    count *= 2;
  }
  kernels_->rows[layout.chroma_shift_x](tables_, {rows, count});
  return display_image_;
}

}  // namespace tavik
