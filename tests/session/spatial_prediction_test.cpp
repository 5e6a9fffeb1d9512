#include "decoder/scalable/spatial_prediction.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
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
using Planes = std::array<std::vector<uint8_t>, 3>;

// The bytes of a lower-layer file: a function of its name.
std::vector<uint8_t> file_bytes(const std::string& name, size_t size) {
  uint32_t state = 0;
  for (const char c : name) state = state * 31 + uint8_t(c);
  std::vector<uint8_t> bytes(size);
  for (uint8_t& byte : bytes) byte = uint8_t((state = state * 1103515245 + 12345) >> 16);
  return bytes;
}

std::string file_name(int temporal_reference, int field, int component) {
  const char* const suffixes[3] = {".Y", ".U", ".V"};
  return "l" + std::to_string(temporal_reference) + char('a' + field) + suffixes[component];
}

// Serves every file, except `missing`, `short_by` bytes short.
class MemoryFiles final : public LowerLayerFiles {
 public:
  long read(const std::string& name, std::span<uint8_t> out) override {
    if (name == missing) return -1;
    std::ranges::copy(file_bytes(name, out.size()), out.begin());
    return long(out.size()) - short_by;
  }
  std::string missing;
  long short_by = 0;
};

// The standard's "//": division rounding halves away from zero.
int div_round(int a, int b) {
  return a >= 0 ? (a + b / 2) / b : -((-a + b / 2) / b);
}

// The upsampled lower layer of picture `p` at the frame store's coded size, written sample by
// sample from ISO/IEC 13818-2 7.7: each field of the lower layer completed to a frame (the
// missing lines interpolated within the field, or for frame-picture luminance with the
// other field's co-sited lines too), resampled vertically then horizontally in sixteenths,
// placed at the offset and clipped to the picture size; 128 elsewhere.
Planes reference(const SpatialSequence& s, const SpatialPicture& p, const FrameGeometry& g) {
  Planes planes;
  for (int component = 0; component < 3; ++component) {
    const int shift = component == 0 ? 0 : 1;
    const int lw = s.lower.width >> shift;
    const int lh = s.lower.height >> shift;
    std::vector<uint8_t> field[2];
    for (int f = 0; f < 2; ++f) {
      field[f] = file_bytes(file_name(p.lower_temporal_reference, f, component),
                            size_t(lw) * size_t(f == 0 ? (lh + 1) / 2 : lh / 2));
    }
    const auto real = [&](int k, int y, int x) { return int(field[k][size_t(y / 2 * lw + x)]); };
    const auto at = [&](int k, int y, int x) {
      if ((y & 1) == k) return real(k, y, x);
      const int a = real(k, y > 0 ? y - 1 : y + 1, x);
      const int b = real(k, y + 1 < lh ? y + 1 : y - 1, x);
      if (component != 0) return div_round(a + b, 2);
      const int o = real(1 - k, y, x);
      const int t = 2 * o + 8 * (a + b) - (y >= 2 ? real(1 - k, y - 2, x) : o) -
                    (y + 2 < lh ? real(1 - k, y + 2, x) : o);
      return std::clamp(div_round(t, 16), 0, 255);
    };
    const auto& l = s.lower;
    const int stride = component == 0 ? g.coded_width : g.chroma_width;
    const int lines = component == 0 ? g.coded_height : g.chroma_height;
    planes[component].assign(size_t(stride * lines), 128);
    for (int yo = 0; yo < (s.height >> shift); ++yo) {
      for (int xo = 0; xo < (s.width >> shift); ++xo) {
        const int y = yo - p.vertical_offset / (1 << shift);
        const int x = xo - p.horizontal_offset / (1 << shift);
        if (y < 0 || x < 0 || y >= lh * l.vertical_n / l.vertical_m ||
            x >= lw * l.horizontal_n / l.horizontal_m)
          continue;
        const int sy = y * l.vertical_m / l.vertical_n;
        const int dy = (y * l.vertical_m % l.vertical_n * 16 + l.vertical_n / 2) / l.vertical_n;
        const int sx = x * l.horizontal_m / l.horizontal_n;
        const int dx =
            (x * l.horizontal_m % l.horizontal_n * 16 + l.horizontal_n / 2) / l.horizontal_n;
        const auto column = [&](int c) {
          return (16 - dy) * at(y & 1, sy, c) + dy * at(y & 1, std::min(sy + 1, lh - 1), c);
        };
        planes[component][size_t(yo * stride + xo)] =
            uint8_t(div_round((16 - dx) * column(sx) + dx * column(std::min(sx + 1, lw - 1)), 256));
      }
    }
  }
  return planes;
}

struct Decoded {
  std::vector<test::RecordedFrame> frames;
  std::string warnings;
};

Decoded decode(const SpatialSequence& s, const std::vector<SpatialPicture>& pictures,
               MemoryFiles files = {}, const std::string& pattern = "l%d%c") {
  test::RecordedSession session(
      {.display_disabled = true, .lower_layer_pattern = pattern, .lower_layer_files = &files});
  session.open(test::spatial_stream(s, pictures));
  session.run();
  return {session.recorder.frames, session.messages.err_text};
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
    const Decoded decoded = decode(c.sequence, {picture});
    ASSERT_EQ(decoded.frames.size(), 1u);
    EXPECT_EQ(decoded.warnings, "");
    EXPECT_EQ(decoded.frames[0].planes, reference(c.sequence, picture, decoded.frames[0].geometry));
  }
}

// Factors m = n and no offsets give the lower layer's fields back, line by line; a negative
// vertical offset drops the top lines.
TEST(SpatialPrediction, EqualFactorsCopyAndNegativeOffsetsCrop) {
  const SpatialSequence same{64, 32, 1, {64, 32, 2, 2, 3, 3}};
  const Decoded whole = decode(same, {{.lower_temporal_reference = 5}});
  const Decoded moved = decode(same, {{.lower_temporal_reference = 5, .vertical_offset = -6}});
  ASSERT_EQ(whole.frames.size() + moved.frames.size(), 2u);
  const std::vector<uint8_t>& copy = whole.frames[0].planes[0];
  const std::vector<uint8_t>& cropped = moved.frames[0].planes[0];
  const std::vector<uint8_t> fields[2] = {file_bytes("l5a.Y", 64 * 16),
                                          file_bytes("l5b.Y", 64 * 16)};
  for (int y = 0; y < 32; ++y) {
    EXPECT_TRUE(std::equal(&copy[y * 64], &copy[y * 64 + 64], &fields[y & 1][y / 2 * 64])) << y;
  }
  EXPECT_TRUE(std::equal(&cropped[0], &cropped[26 * 64], &copy[6 * 64]));
  EXPECT_EQ(cropped[26 * 64], 128);
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
        const Decoded decoded = decode(s, {first, second});
        ASSERT_EQ(decoded.frames.size(), 2u);
        const FrameGeometry& g = decoded.frames[1].geometry;
        Planes expected = reference(s, first, g);
        const Planes spatial = reference(s, second, g);
        const int added = residual == 0 ? 0 : residual > 0 ? 2 * residual + 1 : 2 * residual - 1;
        for (int c = 0; c < 3; ++c) {
          const int width = c == 0 ? g.coded_width : g.chroma_width;
          for (size_t i = 0; i < expected[c].size(); ++i) {
            const int t = std::min(expected[c][i] + 3, 255);
            const int weight = kWeights[index][code][i / size_t(width) % 2];
            const int predicted = weight == 0   ? t
                                  : weight == 2 ? spatial[c][i]
                                                : div_round(t + spatial[c][i], 2);
            expected[c][i] = uint8_t(std::clamp(predicted + added, 0, 255));
          }
        }
        EXPECT_EQ(decoded.frames[1].planes, expected);
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
      {"invalid pattern", "l%s", "", 0,
       "invalid lower-layer file name pattern (only %d, %c and %% are accepted)"},
      {"missing file", "l%d%c", "l0b.U", 0, "cannot open lower-layer file l0b.U"},
      {"short file", "l%d%c", "", 1, "lower-layer file l0a.Y is short"},
      {"long name", std::string(5000, 'x'), "", 0,
       "a lower-layer file name is longer than 4095 characters"},
  };
  for (const MissingCase& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryFiles files;
    files.missing = c.missing;
    files.short_by = c.short_by;
    const Decoded decoded =
        decode({32, 16, 1, {16, 8, 1, 2, 1, 2}}, {{}, {.residual = 4}}, files, c.pattern);
    ASSERT_EQ(decoded.frames.size(), 2u);
    EXPECT_EQ(decoded.warnings, prefix + c.warning + "\n" + prefix + c.warning + "\n");
    EXPECT_EQ(decoded.frames[1].planes[0], std::vector<uint8_t>(32 * 16, 128 + 9));
    EXPECT_EQ(decoded.frames[1].planes[2], std::vector<uint8_t>(16 * 8, 128 + 9));
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
    SessionOptions options;
    options.display_disabled = true;
    test::RecordedSession session(options);
    session.open(w.bytes());
    session.run();
    EXPECT_EQ(session.messages.err_text, text);
    ASSERT_EQ(session.recorder.frames.size(), 1u);
    EXPECT_EQ(session.recorder.frames[0].sample(0, 5, 5), 0);  // never decoded
  }
}

}  // namespace
}  // namespace tavik
