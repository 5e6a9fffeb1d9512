#include "decoder/spatial_prediction.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "support/flat_picture_writer.h"
#include "support/header_writer.h"
#include "support/session_recorder.h"
#include "support/spatial_stream_writer.h"

namespace tavik {
namespace {

using test::SpatialPicture;
using test::SpatialSequence;

// Lower-layer files served from memory: every field of every temporal reference exists unless
// `missing` names it; `short_by` bytes are cut from every file.
class MemoryFiles final : public LowerLayerFiles {
 public:
  long read(const std::string& name, std::span<uint8_t> out) override {
    if (name == missing) return -1;
    uint32_t state = 0;
    for (const char c : name) state = state * 31 + uint8_t(c);
    for (uint8_t& byte : out) byte = sample(state);
    return long(out.size()) - short_by;
  }
  // The content is a function of the name.
  static uint8_t sample(uint32_t& state) {
    state = state * 1103515245 + 12345;
    return uint8_t(state >> 16);
  }
  std::string missing;
  long short_by = 0;
};

// The standard's "//": division rounding halves away from zero.
int div_round(int a, int b) {
  return a >= 0 ? (a + b / 2) / b : -((-a + b / 2) / b);
}

// One component of the upsampled lower layer of temporal reference `t` at the frame store's
// size (`stride` x `lines`), written sample by sample from ISO/IEC 13818-2 7.7: the lower
// layer's fields (as MemoryFiles serves them), each completed to a frame (field a's missing
// lines interpolated, with aperture 0 from the other field too), resampled vertically then
// horizontally in sixteenths, placed at the offset, clipped to `width` x `height`; 128 elsewhere.
std::vector<int> reference(const SpatialSequence& s, const SpatialPicture& p, int component,
                           int stride, int lines, int aperture) {
  const int shift = component == 0 ? 0 : 1;
  const int lw = s.lower.width >> shift;
  const int lh = s.lower.height >> shift;
  std::vector<uint8_t> field[2];
  MemoryFiles files;
  for (int f = 0; f < 2; ++f) {
    field[f].resize(size_t(lw) * size_t(f == 0 ? (lh + 1) / 2 : lh / 2));
    const char* const suffixes[3] = {".Y", ".U", ".V"};
    files.read(
        "l" + std::to_string(p.lower_temporal_reference) + char('a' + f) + suffixes[component],
        field[f]);
  }
  const auto real = [&](int k, int y, int x) { return int(field[k][size_t((y / 2) * lw + x)]); };
  const auto at = [&](int k, int y, int x) {
    if ((y & 1) == k) return real(k, y, x);
    const int a = real(k, y > 0 ? y - 1 : y + 1, x);
    const int b = real(k, y + 1 < lh ? y + 1 : y - 1, x);
    if (aperture == 1) return div_round(a + b, 2);
    const int o = real(1 - k, y, x);
    const int t = 2 * o + 8 * (a + b) - (y >= 2 ? real(1 - k, y - 2, x) : o) -
                  (y + 2 < lh ? real(1 - k, y + 2, x) : o);
    return std::clamp(div_round(t, 16), 0, 255);
  };
  const auto& l = s.lower;
  const int h = p.horizontal_offset / (1 << shift);
  const int v = p.vertical_offset / (1 << shift);
  std::vector<int> out(size_t(stride) * size_t(lines), 128);
  for (int yo = 0; yo < std::min(lines, s.height >> shift); ++yo) {
    for (int xo = 0; xo < std::min(stride, s.width >> shift); ++xo) {
      const int y = yo - v;
      const int x = xo - h;
      if (y < 0 || x < 0 || y >= lh * l.vertical_n / l.vertical_m ||
          x >= lw * l.horizontal_n / l.horizontal_m)
        continue;
      const int sy = y * l.vertical_m / l.vertical_n;
      const int dy = ((y * l.vertical_m) % l.vertical_n * 16 + l.vertical_n / 2) / l.vertical_n;
      const int sx = x * l.horizontal_m / l.horizontal_n;
      const int dx =
          ((x * l.horizontal_m) % l.horizontal_n * 16 + l.horizontal_n / 2) / l.horizontal_n;
      const auto column = [&](int c) {
        return (16 - dy) * at(y & 1, sy, c) + dy * at(y & 1, std::min(sy + 1, lh - 1), c);
      };
      out[size_t(yo * stride + xo)] =
          div_round((16 - dx) * column(sx) + dx * column(std::min(sx + 1, lw - 1)), 256);
    }
  }
  return out;
}

struct Decoded {
  std::vector<test::RecordedFrame> frames;
  std::string warnings;
};

Decoded decode(const SpatialSequence& s, const std::vector<SpatialPicture>& pictures,
               MemoryFiles& files, const std::string& pattern = "l%d%c") {
  test::RecordedSession session(
      {.display_disabled = true, .lower_layer_pattern = pattern, .lower_layer_files = &files});
  session.open(test::spatial_stream(s, pictures));
  session.run();
  return {session.recorder.frames, session.messages.err_text};
}

// Checks every plane of `frame` against `expected(component, x, y)`.
template <typename Expected>
void expect_frame(const test::RecordedFrame& frame, Expected expected) {
  for (int c = 0; c < 3; ++c) {
    const int width = c == 0 ? frame.geometry.coded_width : frame.geometry.chroma_width;
    const int height = c == 0 ? frame.geometry.coded_height : frame.geometry.chroma_height;
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        ASSERT_EQ(frame.sample(c, x, y), expected(c, x, y, width, height))
            << "component " << c << " at " << x << "," << y;
      }
    }
  }
}

struct UpsamplingCase {
  const char* name;
  SpatialSequence sequence;
  int horizontal_offset;
  int vertical_offset;
};

// A picture predicted from the lower layer alone is the upsampled lower layer. Sizes that are
// not multiples of 16 keep the frame store's line step, and 128 where the lower layer does not
// reach.
TEST(SpatialPrediction, SpatialOnlyPictureIsTheUpsampledLowerLayer) {
  const UpsamplingCase cases[] = {
      {"twice the size", {64, 32, 1, {32, 16, 1, 2, 1, 2}}, 0, 0},
      {"3/2, offsets, 40x40", {40, 40, 1, {28, 24, 2, 3, 2, 3}}, 6, 4},
      {"negative offsets", {48, 32, 1, {32, 20, 1, 2, 2, 3}}, -10, -6},
      {"interlaced 5/4, far offset", {64, 64, 0, {50, 40, 4, 5, 4, 5}}, 30, 2},
  };
  for (const UpsamplingCase& c : cases) {
    SCOPED_TRACE(c.name);
    const SpatialPicture picture{.horizontal_offset = c.horizontal_offset,
                                 .vertical_offset = c.vertical_offset};
    MemoryFiles files;
    const Decoded decoded = decode(c.sequence, {picture}, files);
    ASSERT_EQ(decoded.frames.size(), 1u);
    EXPECT_EQ(decoded.warnings, "");
    std::vector<int> expected[3];
    expect_frame(decoded.frames[0], [&](int component, int x, int y, int width, int height) {
      if (expected[component].empty()) {
        expected[component] =
            reference(c.sequence, picture, component, width, height, component == 0 ? 0 : 1);
      }
      return expected[component][size_t(y * width + x)];
    });
  }
}

// Factors m = n and no offsets give the lower layer's fields back, line by line; a negative
// vertical offset drops the top lines.
TEST(SpatialPrediction, EqualFactorsCopyAndNegativeOffsetsCrop) {
  const SpatialSequence same{64, 32, 1, {64, 32, 2, 2, 3, 3}};
  MemoryFiles files;
  const Decoded copy = decode(same, {{.lower_temporal_reference = 5}}, files);
  ASSERT_EQ(copy.frames.size(), 1u);
  std::vector<uint8_t> fields[2];
  for (int f = 0; f < 2; ++f) {
    fields[f].resize(64 * 16);
    files.read(std::string("l5") + char('a' + f) + ".Y", fields[f]);
  }
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 64; ++x) {
      ASSERT_EQ(copy.frames[0].sample(0, x, y), fields[y & 1][size_t((y / 2) * 64 + x)]);
    }
  }
  const Decoded cropped =
      decode(same, {{.lower_temporal_reference = 5, .vertical_offset = -6}}, files);
  ASSERT_EQ(cropped.frames.size(), 1u);
  for (int y = 0; y < 26; ++y) {
    for (int x = 0; x < 64; ++x) {
      ASSERT_EQ(cropped.frames[0].sample(0, x, y), copy.frames[0].sample(0, x, y + 6));
    }
  }
  EXPECT_EQ(cropped.frames[0].sample(0, 0, 26), 128);
}

// Each spatial_temporal_weight_code (Table 7-21 as (top, bottom) weights of the spatial
// prediction, in halves), with and without residuals: the fields' weighted sums.
TEST(SpatialPrediction, WeightedSumOfSpatialAndTemporalPredictions) {
  const int kWeights[4][4][2] = {{{1, 1}, {1, 1}, {1, 1}, {1, 1}},
                                 {{0, 2}, {0, 1}, {1, 2}, {1, 1}},
                                 {{2, 0}, {1, 0}, {2, 1}, {1, 1}},
                                 {{2, 0}, {2, 1}, {1, 2}, {1, 1}}};
  const SpatialSequence s{32, 32, 1, {16, 16, 1, 2, 1, 2}};
  for (int index = 0; index < 4; ++index) {
    for (int code = 0; code < (index == 0 ? 1 : 4); ++code) {
      for (const int residual : {0, 2, -3}) {
        SCOPED_TRACE(testing::Message() << index << " " << code << " " << residual);
        const SpatialPicture first{.lower_temporal_reference = 1, .residual = 1};
        const SpatialPicture second{.type = 2,
                                    .lower_temporal_reference = 2,
                                    .weight_table_index = index,
                                    .weight_code = code,
                                    .residual = residual};
        MemoryFiles files;
        const Decoded decoded = decode(s, {first, second}, files);
        ASSERT_EQ(decoded.frames.size(), 2u);
        std::vector<int> temporal[3], spatial[3];
        expect_frame(decoded.frames[1], [&](int c, int x, int y, int width, int height) {
          if (temporal[c].empty()) {
            temporal[c] = reference(s, first, c, width, height, c == 0 ? 0 : 1);
            spatial[c] = reference(s, second, c, width, height, c == 0 ? 0 : 1);
          }
          const size_t i = size_t(y * width + x);
          const int t = std::clamp(temporal[c][i] + 3, 0, 255);
          const int weight = kWeights[index][code][y & 1];
          const int predicted = weight == 0   ? t
                                : weight == 2 ? spatial[c][i]
                                              : div_round(t + spatial[c][i], 2);
          const int added = residual == 0 ? 0 : residual > 0 ? 2 * residual + 1 : 2 * residual - 1;
          return std::clamp(predicted + added, 0, 255);
        });
      }
    }
  }
}

struct MissingCase {
  const char* name;
  std::string pattern;
  std::string missing;
  long short_by;
  std::string warning;
};

// Without its lower layer a picture is decoded without the spatial prediction (128 where it
// alone predicts), with one warning per picture.
TEST(SpatialPrediction, MissingLowerLayerIsReportedOncePerPicture) {
  const std::string prefix = "picture decoded without spatial prediction: ";
  const MissingCase cases[] = {
      {"no pattern", "", "", 0, "no lower-layer file name pattern is set"},
      {"missing file", "l%d%c", "l0b.U", 0, "cannot open lower-layer file l0b.U"},
      {"short file", "l%d%c", "", 1, "lower-layer file l0a.Y is short"},
      {"long name", std::string(5000, 'x'), "", 0,
       "a lower-layer file name is longer than 4095 characters"},
  };
  const SpatialSequence s{32, 16, 1, {16, 8, 1, 2, 1, 2}};
  for (const MissingCase& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryFiles files;
    files.missing = c.missing;
    files.short_by = c.short_by;
    const Decoded decoded = decode(s, {{}, {.residual = 4}}, files, c.pattern);
    ASSERT_EQ(decoded.frames.size(), 2u);
    EXPECT_EQ(decoded.warnings, prefix + c.warning + "\n" + prefix + c.warning + "\n");
    expect_frame(decoded.frames[1], [](int, int, int, int, int) { return 128 + 9; });
  }
}

// Layers that need another layer's data to be decoded are passed over, with a message per
// picture naming what is not supported.
TEST(SpatialPrediction, SnrAndDataPartitioningAreRefusedByName) {
  namespace hw = test::header_writer;
  const std::pair<int, std::string> modes[] = {
      {0, "data partitioning not supported: picture not decoded\n"},
      {2, "SNR scalability not supported: picture not decoded\n"}};
  for (const auto& [code, text] : modes) {
    test::field_writer::BitWriter w;
    hw::sequence_header(w, 32, 16);
    hw::sequence_extension(w, {.progressive_sequence = 1});
    hw::sequence_scalable_extension(w, code);
    test::flat_mpeg2_frame_picture_header(w, 0);
    test::flat_rows(w, 1, 2, 0, 1, [](int, int) { return test::FlatMacroblock{200, 20, 30}; });
    hw::sequence_end(w);
    test::RecordedSession session({.display_disabled = true});
    session.open(w.bytes());
    session.run();
    EXPECT_EQ(session.messages.err_text, text);
    ASSERT_EQ(session.recorder.frames.size(), 1u);
    EXPECT_EQ(session.recorder.frames[0].sample(0, 5, 5), 0);  // never decoded
  }
}

}  // namespace
}  // namespace tavik
