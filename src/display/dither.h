#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

#include "decoder/syntax/decoder_state.h"
#include "display/dither_row.h"

namespace tavik {

// Storage on 64-byte boundaries, so that image rows can be written in whole aligned vectors.
template <typename T>
struct CacheLineAllocator {
  using value_type = T;
  static constexpr std::align_val_t kAlignment{64};

  CacheLineAllocator() = default;
  template <typename U>
  constexpr explicit CacheLineAllocator(const CacheLineAllocator<U>& /*other*/) noexcept {}

  [[nodiscard]] T* allocate(size_t count) {
    return static_cast<T*>(::operator new(count * sizeof(T), kAlignment));
  }
  void deallocate(T* p, size_t /*count*/) noexcept { ::operator delete(p, kAlignment); }
  friend bool operator==(const CacheLineAllocator&, const CacheLineAllocator&) { return true; }
};

// An 8-bit image of palette indices (16..239), ready for a bottom-up device-independent bitmap.
struct PaletteImage {
  int width = 0;
  int height = 0;
  // width * height indices, rows bottom-up (the last picture row first).
  std::vector<uint8_t, CacheLineAllocator<uint8_t>> pixels;
};

// Turns decoded frames into palette images by a 4x4 ordered dither onto 14 luma x 4 Cb x 4 Cr
// colours. Progressive frames give one image; interlaced frames give one image per field, each
// brought to full height by line interpolation.
class Ditherer {
 public:
  // Tests and benchmarks choose the kernels; everyone else takes the fastest.
  explicit Ditherer(const DitherKernels& kernels = fastest_dither_kernels()) : kernels_(&kernels) {}

  // Sizes both images to the coded picture and builds the tables. Depths other than 8 are not
  // supported (FatalError). The only place that allocates.
  void init_display(int depth, int coded_width, int coded_height);

  // Dithers one frame: a progressive one into display_image(); an interlaced one into both
  // images, the field shown first into display_image(). Returns display_image().
  // The images may have their pixel buffers exchanged for others of the same size.
  PaletteImage& display_picture(const FramePlanes& frame, const FrameGeometry& geometry,
                                const DecodingVariables& vars);

  // The field due after the one in display_image().
  [[nodiscard]] PaletteImage& second_display_image() { return second_display_image_; }
  [[nodiscard]] const PaletteImage& second_display_image() const { return second_display_image_; }
  [[nodiscard]] const PaletteImage& display_image() const { return display_image_; }

 private:
  const DitherKernels* kernels_;
  DitherTables tables_;
  PaletteImage display_image_;
  PaletteImage second_display_image_;
  // The rows of one picture: both field images take two per picture row.
  std::vector<DitherRow> rows_;
};

}  // namespace tavik
