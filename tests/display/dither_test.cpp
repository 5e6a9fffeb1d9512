#include "display/dither.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "base/fatal_error.h"
#include "decoder/dsp/dsp.h"
#include "display/dither_row.h"

namespace tavik {
namespace {

constexpr int kMatrix[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

// The palette index of one pixel, straight from the level formulas.
int expected_index(int y, int cb, int cr, int d) {
  const int luma_level = std::clamp((y + d - 8) >> 4, 1, 14);
  const int cb_level = std::clamp(((cb >> 1) + d - 40) >> 4, 0, 3);
  const int cr_level = std::clamp(((cr >> 1) + d - 40) >> 4, 0, 3);
  return luma_level << 4 | cb_level << 2 | cr_level;
}

// A frame with planes of exactly the sizes the decoder hands over.
struct TestFrame {
  FrameGeometry geometry;
  std::vector<uint8_t> plane[3];

  TestFrame(int width, int height, int chroma_format) {
    geometry.coded_width = width;
    geometry.coded_height = height;
    geometry.chroma_format = chroma_format;
    geometry.chroma_width = chroma_format == 3 ? width : std::max(1, width / 2);
    geometry.chroma_height = chroma_format == 1 ? std::max(1, height / 2) : height;
    plane[0].resize(static_cast<size_t>(width) * height);
    for (int p = 1; p < 3; ++p) {
      plane[p].resize(static_cast<size_t>(geometry.chroma_width) * geometry.chroma_height);
    }
  }

  [[nodiscard]] FramePlanes planes() {
    return FramePlanes{{plane[0].data(), plane[1].data(), plane[2].data()}};
  }
  [[nodiscard]] int y(int line, int x) const { return plane[0][line * geometry.coded_width + x]; }
  [[nodiscard]] int chroma(int p, int line, int x) const {
    return plane[p][line * geometry.chroma_width + x];
  }
  void fill(int p, uint8_t value) { std::fill(plane[p].begin(), plane[p].end(), value); }
  void randomise(uint32_t seed) {
    std::mt19937 random(seed);
    for (auto& samples : plane) {
      for (uint8_t& sample : samples) sample = static_cast<uint8_t>(random());
    }
  }
};

enum class Routine { kFrame, kTopField, kBottomField };

const char* name(Routine routine) {
  static constexpr const char* kNames[] = {"frame", "top field", "bottom field"};
  return kNames[static_cast<int>(routine)];
}

// The last line of the given parity among `count` lines (0 when there is none).
int last_of_parity(int count, int parity) {
  int last = count - 1;
  if ((last & 1) != parity) --last;
  return std::max(last, 0);
}

// The image written row by row from the rules: frame rows show their own line; field rows
// show their field's line or the floored average of the field lines around them.
std::vector<uint8_t> reference_image(const TestFrame& f, Routine routine) {
  const int w = f.geometry.coded_width;
  const int h = f.geometry.coded_height;
  const int cw = f.geometry.chroma_width;
  const int ch = f.geometry.chroma_height;
  const bool half_width = f.geometry.chroma_format != 3;
  const bool half_height = f.geometry.chroma_format == 1;
  std::vector<uint8_t> image(static_cast<size_t>(w) * h);
  for (int r = 0; r < h; ++r) {
    int above = r;
    int below = r;
    int chroma_line = 0;
    if (routine == Routine::kFrame) {
      chroma_line = std::min(half_height ? r / 2 : r, ch - 1);
    } else {
      const int parity = routine == Routine::kTopField ? 0 : 1;
      if ((r & 1) != parity) {
        above = r == 0 ? 1 : r - 1;
        below = r + 1;
        above = std::min(above, last_of_parity(h, parity));
        below = std::min(below, last_of_parity(h, parity));
      }
      chroma_line = (half_height ? 2 * (r / 4) : 2 * (r / 2)) + parity;
      chroma_line = std::min(chroma_line, last_of_parity(ch, parity));
    }
    for (int x = 0; x < w; ++x) {
      const int y = (f.y(above, x) + f.y(below, x)) / 2;
      const int cx = std::min(half_width ? x / 2 : x, cw - 1);
      image[(h - 1 - r) * w + x] = static_cast<uint8_t>(expected_index(
          y, f.chroma(1, chroma_line, cx), f.chroma(2, chroma_line, cx), kMatrix[r % 4][x % 4]));
    }
  }
  return image;
}

DecodingVariables progressive() {
  DecodingVariables vars;
  vars.progressive_sequence = 1;
  return vars;
}

DecodingVariables interlaced(int picture_structure, int top_field_first) {
  DecodingVariables vars;
  vars.progressive_sequence = 0;
  vars.picture_structure = picture_structure;
  vars.top_field_first = top_field_first;
  return vars;
}

std::vector<uint8_t> bytes(const PaletteImage& image) {
  return {image.pixels.begin(), image.pixels.end()};
}

// Dithers `frame` with one routine and returns the image it made.
std::vector<uint8_t> dither(TestFrame& frame, Routine routine,
                            const DitherKernels& kernels = fastest_dither_kernels()) {
  Ditherer ditherer(kernels);
  ditherer.init_display(8, frame.geometry.coded_width, frame.geometry.coded_height);
  switch (routine) {
    case Routine::kFrame:
      return bytes(ditherer.display_picture(frame.planes(), frame.geometry, progressive()));
    case Routine::kTopField:
      return bytes(ditherer.display_picture(frame.planes(), frame.geometry, interlaced(3, 1)));
    default:
      ditherer.display_picture(frame.planes(), frame.geometry, interlaced(3, 1));
      return bytes(ditherer.second_display_image());
  }
}

// Buffers on 64-byte boundaries, as the images have.
using ImageBytes = std::vector<uint8_t, CacheLineAllocator<uint8_t>>;

struct KernelSet {
  const char* name;
  const DitherKernels* kernels;
};

// The plain set and every faster one this processor runs.
std::vector<KernelSet> kernel_sets() {
  std::vector<KernelSet> sets = {{"plain", &plain_dither_kernels()}};
  const unsigned cpu = detect_cpu_features();
  if (cpu & kCpuSse2) sets.push_back({"sse2", &dither_kernels_for(kCpuSse2)});
  if (cpu & kCpuAvx2) sets.push_back({"avx2", &dither_kernels_for(kCpuSse2 | kCpuAvx2)});
  if (cpu & kCpuAvx512) {
    sets.push_back({"avx512", &dither_kernels_for(kCpuSse2 | kCpuAvx2 | kCpuAvx512)});
  }
  return sets;
}

std::vector<uint8_t> random_bytes(std::mt19937& random, int count) {
  std::vector<uint8_t> bytes(count);
  for (uint8_t& byte : bytes) byte = static_cast<uint8_t>(random());
  return bytes;
}

constexpr Routine kRoutines[] = {Routine::kFrame, Routine::kTopField, Routine::kBottomField};
constexpr int kChromaFormats[] = {1, 2, 3};

// Hand-worked levels, whatever the matrix offset: Y 16 (k + 1) + 8 gives luma level k + 1, Y 0
// and 255 the end levels 1 and 14; Cb = Cr = 128 gives chroma level 1 where the offset is below
// 8 and 2 elsewhere; Cb 0 and Cr 255 the end levels 0 and 3. The offset follows the picture row
// while the rows are stored bottom-up.
TEST(DitherLevels, FlatPlanesGiveHandWorkedIndices) {
  for (const auto& [cb, cr] : {std::pair{128, 128}, std::pair{0, 255}}) {
    TestFrame frame(8, 16, 1);
    frame.fill(1, static_cast<uint8_t>(cb));
    frame.fill(2, static_cast<uint8_t>(cr));
    for (int r = 0; r < 16; ++r) {
      const int y = r < 14 ? 16 * (r + 1) + 8 : r == 14 ? 0 : 255;
      std::fill_n(frame.plane[0].begin() + r * 8, 8, static_cast<uint8_t>(y));
    }
    const std::vector<uint8_t> image = dither(frame, Routine::kFrame);
    for (int r = 0; r < 16; ++r) {
      const int luma = r < 14 ? r + 1 : r == 14 ? 1 : 14;
      for (int x = 0; x < 8; ++x) {
        const int chroma = cb == 0 ? 3 : kMatrix[r % 4][x % 4] < 8 ? 1 << 2 | 1 : 2 << 2 | 2;
        EXPECT_EQ(image[(15 - r) * 8 + x], luma << 4 | chroma) << "row " << r << " column " << x;
      }
    }
  }
}

TEST(DitherFields, FieldShownFirstFollowsStructureAndTopFieldFirst) {
  TestFrame frame(32, 16, 1);
  frame.randomise(23);
  const std::vector<uint8_t> top = reference_image(frame, Routine::kTopField);
  const std::vector<uint8_t> bottom = reference_image(frame, Routine::kBottomField);
  struct Case {
    int picture_structure;
    int top_field_first;
    bool top_first;
  };
  for (const Case c : {Case{3, 1, true}, Case{3, 0, false}, Case{2, 0, true}, Case{1, 0, false},
                       Case{1, 1, false}, Case{2, 1, true}}) {
    SCOPED_TRACE("picture_structure " + std::to_string(c.picture_structure) + ", top_field_first " +
                 std::to_string(c.top_field_first));
    Ditherer ditherer;
    ditherer.init_display(8, 32, 16);
    const PaletteImage& shown = ditherer.display_picture(
        frame.planes(), frame.geometry, interlaced(c.picture_structure, c.top_field_first));
    EXPECT_EQ(&shown, &ditherer.display_image());
    EXPECT_EQ(bytes(shown), c.top_first ? top : bottom);
    EXPECT_EQ(bytes(ditherer.second_display_image()), c.top_first ? bottom : top);
  }
}

TEST(DitherFields, ProgressiveSequenceFillsOnlyTheFirstImage) {
  TestFrame frame(32, 16, 1);
  frame.randomise(24);
  Ditherer ditherer;
  ditherer.init_display(8, 32, 16);
  DecodingVariables vars = progressive();
  vars.picture_structure = 1;  // ignored for progressive sequences
  EXPECT_EQ(bytes(ditherer.display_picture(frame.planes(), frame.geometry, vars)),
            reference_image(frame, Routine::kFrame));
  EXPECT_EQ(bytes(ditherer.second_display_image()), std::vector<uint8_t>(32 * 16, 0));
}

// Every routine, chroma format and kernel set against the formulas, on sizes with and
// without whole groups of 4, 16, 32 and 64 pixels and rows (sizes valid streams never have
// included: every pixel still follows the formulas, with the nearest line or sample for missing
// ones).
TEST(DitherReference, EveryRoutineMatchesThePerPixelFormulas) {
  const std::pair<int, int> sizes[] = {{32, 16}, {48, 20}, {40, 12}, {64, 8},  {6, 5},
                                       {7, 3},   {1, 1},   {5, 2},   {18, 6},  {35, 9},
                                       {2, 1},   {3, 7},   {128, 8}, {130, 9}, {197, 6}};
  uint32_t seed = 100;
  for (const auto& [kernel_name, kernels] : kernel_sets()) {
    for (const auto& [width, height] : sizes) {
      for (const int format : kChromaFormats) {
        TestFrame frame(width, height, format);
        frame.randomise(++seed);
        for (const Routine routine : kRoutines) {
          SCOPED_TRACE(std::string(kernel_name) + " " + name(routine) + ", " +
                       std::to_string(width) + "x" + std::to_string(height) + ", chroma format " +
                       std::to_string(format));
          EXPECT_EQ(dither(frame, routine, *kernels), reference_image(frame, routine));
        }
      }
    }
  }
}

// Every faster set against the plain one, row by row, on every width up to 200 and a few wide
// ones, with guard bytes around the row: rows past whole vectors, chroma lines whose last sample
// serves the columns past them, both kinds of row and every matrix row.
TEST(DitherKernels, FastKernelsMatchThePlainOnesAndWriteOnlyTheirRow) {
  constexpr int kGuard = 64;
  constexpr uint8_t kGuardValue = 0xA5;
  const DitherTables tables = make_dither_tables();
  std::vector<int> widths;
  for (int width = 0; width <= 200; ++width) widths.push_back(width);
  for (const int width : {255, 256, 257, 703, 720, 1919, 1920}) widths.push_back(width);
  std::mt19937 random(31);
  for (const auto& [kernel_name, kernels] : kernel_sets()) {
    for (const int width : widths) {
      const std::vector<uint8_t> luma_a = random_bytes(random, width);
      const std::vector<uint8_t> luma_b = random_bytes(random, width);
      for (int shift = 0; shift < 2; ++shift) {
        // Odd widths: a chroma sample for the last pixel, or none.
        for (const int chroma_width : {std::max(1, width >> shift), (width + shift) >> shift}) {
          const std::vector<uint8_t> cb = random_bytes(random, chroma_width);
          const std::vector<uint8_t> cr = random_bytes(random, chroma_width);
          for (int interpolated = 0; interpolated < 2; ++interpolated) {
            for (int matrix_row = 0; matrix_row < 4; ++matrix_row) {
              SCOPED_TRACE(std::string(kernel_name) + ", width " + std::to_string(width) +
                           " shift " + std::to_string(shift) + " chroma width " +
                           std::to_string(chroma_width) + " interpolated " +
                           std::to_string(interpolated) + " matrix row " +
                           std::to_string(matrix_row));
              DitherRow row{luma_a.data(), interpolated ? luma_b.data() : luma_a.data(),
                            cb.data(),     cr.data(),
                            nullptr,       width,
                            chroma_width,  matrix_row};
              // Output rows on 32-byte, 16-byte and no boundaries.
              for (const int offset : {kGuard, kGuard + 16, kGuard + 1}) {
                ImageBytes plain(width + 2 * kGuard, kGuardValue);
                ImageBytes fast = plain;
                row.out = plain.data() + offset;
                plain_dither_kernels().rows[shift](tables, {&row, 1});
                row.out = fast.data() + offset;
                kernels->rows[shift](tables, {&row, 1});
                ASSERT_EQ(fast, plain) << "offset " << offset;
                ASSERT_EQ(std::count(plain.begin(), plain.end(), kGuardValue) -
                              std::count(plain.begin() + offset, plain.begin() + offset + width,
                                         kGuardValue),
                          2 * kGuard)
                    << "offset " << offset;
              }
            }
          }
        }
      }
    }
  }
}

TEST(InitDisplay, RejectsEveryDepthButEight) {
  Ditherer ditherer;
  for (const int depth : {0, 1, 4, 15, 16, 24, 32}) {
    try {
      ditherer.init_display(depth, 32, 16);
      ADD_FAILURE() << "depth " << depth << " accepted";
    } catch (const FatalError& error) {
      EXPECT_STREQ(error.what(), "unsuported dither type");
    }
  }
}

TEST(InitDisplay, SizesBothImagesPerSessionAndKeepsThemAcrossPictures) {
  Ditherer ditherer;
  ditherer.init_display(8, 32, 16);
  for (const PaletteImage* image :
       {&ditherer.display_image(), &std::as_const(ditherer).second_display_image()}) {
    EXPECT_EQ(image->width, 32);
    EXPECT_EQ(image->height, 16);
    EXPECT_EQ(image->pixels.size(), 32u * 16u);
    // Rows of widths that are multiples of 32 start on vector boundaries.
    EXPECT_EQ(reinterpret_cast<uintptr_t>(image->pixels.data()) % 64, 0u);
  }
  // A new session with another size replaces both images.
  ditherer.init_display(8, 48, 32);
  TestFrame frame(48, 32, 1);
  frame.randomise(41);
  const uint8_t* first = ditherer.display_image().pixels.data();
  const uint8_t* second = ditherer.second_display_image().pixels.data();
  for (int picture = 0; picture < 3; ++picture) {
    ditherer.display_picture(frame.planes(), frame.geometry, interlaced(3, picture % 2));
  }
  EXPECT_EQ(ditherer.display_image().pixels.data(), first);
  EXPECT_EQ(ditherer.second_display_image().pixels.data(), second);
  EXPECT_EQ(ditherer.second_display_image().pixels.size(), 48u * 32u);

  // A frame of another size than the session's is refused, not written out of bounds; so is
  // a listener's buffer of another size left in place of the pixels it took.
  TestFrame other(64, 32, 1);
  EXPECT_THROW(ditherer.display_picture(other.planes(), other.geometry, progressive()),
               std::invalid_argument);
  ditherer.second_display_image().pixels.resize(16);
  EXPECT_THROW(ditherer.display_picture(frame.planes(), frame.geometry, progressive()),
               std::invalid_argument);
}

}  // namespace
}  // namespace tavik
