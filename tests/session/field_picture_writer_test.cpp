#include "support/field_picture_writer.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <ostream>
#include <stdexcept>
#include <string>

#include "support/stream_tools.h"

namespace tavik::test {
namespace {

constexpr int kWidth = 176;
constexpr int kHeight = 144;
constexpr int kFrameCount = 10;

const std::vector<YuvFrame>& source_frames() {
  static const std::vector<YuvFrame> frames = make_moving_frames(kWidth, kHeight, kFrameCount);
  return frames;
}

// Picture types and structures as found in the stream's own headers.
struct HeaderCensus {
  std::array<int, 8> pictures_of_type{};       // by picture_coding_type
  std::array<int, 4> pictures_of_structure{};  // by picture_structure
};

HeaderCensus count_headers(const std::vector<uint8_t>& bytes) {
  HeaderCensus census;
  for (size_t i = 0; i + 6 < bytes.size(); ++i) {
    if (bytes[i] != 0 || bytes[i + 1] != 0 || bytes[i + 2] != 1) continue;
    if (bytes[i + 3] == 0x00) ++census.pictures_of_type[(bytes[i + 5] >> 3) & 7];
    if (bytes[i + 3] == 0xB5 && (bytes[i + 4] >> 4) == 8) {
      ++census.pictures_of_structure[bytes[i + 6] & 3];
    }
  }
  return census;
}

struct FfmpegOutput {
  int status = -1;
  std::string errors;
  std::vector<YuvFrame> frames;
};

FfmpegOutput decode_with_ffmpeg_tool(const std::filesystem::path& stream) {
  FfmpegOutput output;
  const auto yuv = stream.string() + ".yuv";
  const auto log = stream.string() + ".log";
  output.status = run_command("ffmpeg -nostdin -v error -y -i '" + stream.string() +
                              "' -f rawvideo -pix_fmt yuv420p '" + yuv + "' 2>'" + log + "'");
  const auto errors = read_file(log);
  output.errors.assign(errors.begin(), errors.end());
  const auto bytes = read_file(yuv);
  const size_t luma = size_t(kWidth) * kHeight;
  for (size_t at = 0; at + luma * 3 / 2 <= bytes.size(); at += luma * 3 / 2) {
    const auto start = bytes.begin() + std::ptrdiff_t(at);
    YuvFrame frame;
    frame.y.assign(start, start + std::ptrdiff_t(luma));
    frame.cb.assign(start + std::ptrdiff_t(luma), start + std::ptrdiff_t(luma * 5 / 4));
    frame.cr.assign(start + std::ptrdiff_t(luma * 5 / 4), start + std::ptrdiff_t(luma * 3 / 2));
    output.frames.push_back(std::move(frame));
  }
  return output;
}

double psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  double squared = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    const double d = double(a[i]) - double(b[i]);
    squared += d * d;
  }
  if (squared == 0) return 99;
  return 10 * std::log10(255.0 * 255.0 * double(a.size()) / squared);
}

struct StreamCase {
  const char* name;
  bool top_field_first;
  int b_frames;
};

void PrintTo(const StreamCase& stream_case, std::ostream* out) {
  *out << stream_case.name;
}

class FieldPictureWriterTest : public ::testing::TestWithParam<StreamCase> {};

TEST_P(FieldPictureWriterTest, FfmpegDecodesWhatTheWriterDecoded) {
  if (!have_tool("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
  FieldStreamOptions options;
  options.top_field_first = GetParam().top_field_first;
  options.b_frames = GetParam().b_frames;
  const FieldStream stream = encode_field_picture_stream(source_frames(), kWidth, kHeight, options);
  const auto path = scratch_dir() / (std::string("fields_") + GetParam().name + ".m2v");
  write_file(path, stream.bytes);

  const FfmpegOutput decoded = decode_with_ffmpeg_tool(path);
  EXPECT_EQ(decoded.status, 0);
  EXPECT_EQ(decoded.errors, "");
  ASSERT_EQ(decoded.frames.size(), size_t(kFrameCount));
  for (size_t n = 0; n < decoded.frames.size(); ++n) {
    SCOPED_TRACE("frame " + std::to_string(n));
    const YuvFrame& frame = decoded.frames[n];
    EXPECT_GE(psnr(frame.y, source_frames()[n].y), 30);
    EXPECT_GE(psnr(frame.cb, source_frames()[n].cb), 30);
    EXPECT_GE(psnr(frame.cr, source_frames()[n].cr), 30);
    // Only inverse DCT rounding may separate the two decodes.
    EXPECT_GE(psnr(frame.y, stream.decoded[n].y), 50);
    EXPECT_GE(psnr(frame.cb, stream.decoded[n].cb), 50);
    EXPECT_GE(psnr(frame.cr, stream.decoded[n].cr), 50);
  }
}

TEST_P(FieldPictureWriterTest, StreamCarriesEveryFieldPredictionKind) {
  FieldStreamOptions options;
  options.top_field_first = GetParam().top_field_first;
  options.b_frames = GetParam().b_frames;
  const FieldStream stream = encode_field_picture_stream(source_frames(), kWidth, kHeight, options);
  const FieldStreamStats& stats = stream.stats;

  const HeaderCensus census = count_headers(stream.bytes);
  EXPECT_EQ(census.pictures_of_structure[1], kFrameCount);
  EXPECT_EQ(census.pictures_of_structure[2], kFrameCount);
  EXPECT_EQ(census.pictures_of_structure[3], 0);
  EXPECT_EQ(census.pictures_of_type[1], stats.i_field_pictures);
  EXPECT_EQ(census.pictures_of_type[2], stats.p_field_pictures);
  EXPECT_EQ(census.pictures_of_type[3], stats.b_field_pictures);
  EXPECT_EQ(stats.top_field_pictures, kFrameCount);
  EXPECT_EQ(stats.bottom_field_pictures, kFrameCount);

  EXPECT_GT(stats.p_fields_of_i_frames, 0);
  EXPECT_GT(stats.p_field_pictures, stats.p_fields_of_i_frames);
  EXPECT_EQ(stats.b_field_pictures > 0, GetParam().b_frames > 0);
  EXPECT_GT(stats.intra_macroblocks, 0);
  EXPECT_GT(stats.skipped_p_macroblocks, 0);
  EXPECT_GT(stats.field_motion_macroblocks, 0);
  EXPECT_GT(stats.motion_16x8_macroblocks, 0);
  EXPECT_GT(stats.forward_macroblocks, 0);
  EXPECT_GT(stats.same_parity_vectors, 0);
  EXPECT_GT(stats.opposite_parity_vectors, 0);
  EXPECT_GT(stats.same_frame_vectors, 0);
  if (GetParam().b_frames > 0) {
    EXPECT_GT(stats.backward_macroblocks, 0);
    EXPECT_GT(stats.interpolated_macroblocks, 0);
    EXPECT_GT(stats.skipped_b_macroblocks, 0);
  }
}

INSTANTIATE_TEST_SUITE_P(FieldOrders, FieldPictureWriterTest,
                         ::testing::Values(StreamCase{"top_first_b", true, 2},
                                           StreamCase{"bottom_first_b", false, 2},
                                           StreamCase{"top_first_no_b", true, 0},
                                           StreamCase{"bottom_first_no_b", false, 0}),
                         [](const auto& test_case) { return std::string(test_case.param.name); });

TEST(FieldPictureWriter, LeavesOutSixteenByEightWhenAskedTo) {
  FieldStreamOptions options;
  options.use_16x8 = false;
  const FieldStream stream = encode_field_picture_stream(source_frames(), kWidth, kHeight, options);
  EXPECT_EQ(stream.stats.motion_16x8_macroblocks, 0);
  EXPECT_GT(stream.stats.field_motion_macroblocks, 0);
}

TEST(FieldPictureWriter, RejectsBadArguments) {
  EXPECT_THROW(write_field_picture_stream(source_frames(), kWidth, kHeight + 16, {}),
               std::invalid_argument);
  EXPECT_THROW(write_field_picture_stream({}, kWidth, kHeight, {}), std::invalid_argument);
  FieldStreamOptions options;
  options.quantiser_scale_code = 0;
  EXPECT_THROW(write_field_picture_stream(source_frames(), kWidth, kHeight, options),
               std::invalid_argument);
}

}  // namespace
}  // namespace tavik::test
