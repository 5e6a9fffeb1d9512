#include "support/reference_decode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "support/field_picture_writer.h"
#include "support/moving_frames.h"
#include "support/stream_tools.h"

namespace tavik::test {
namespace {

struct StreamCase {
  std::string name;
  std::string args;
  std::string source = "-f lavfi -i testsrc2=size=176x144:rate=25 -t 0.8";
};

// Every frame decoded by Tavik must match ffmpeg's decode of the same stream closely: the two
// decoders differ only in their inverse DCTs' rounding.
void expect_matches_ffmpeg(const std::filesystem::path& stream) {
  const DecodedVideo ours = decode_with_tavik(stream);
  ASSERT_FALSE(ours.frames.empty()) << stream;
  EXPECT_EQ(ours.errors, "") << stream;
  const DecodedVideo reference =
      decode_with_ffmpeg(stream, ours.width, ours.height, ours.chroma_format);
  ASSERT_EQ(ours.frames.size(), reference.frames.size()) << stream;
  double lowest = 99;
  for (size_t f = 0; f < ours.frames.size(); ++f) {
    for (int plane = 0; plane < 3; ++plane) {
      const double psnr = plane_psnr(ours, ours.frames[f], reference.frames[f], plane);
      EXPECT_GE(psnr, 40.0) << stream << " frame " << f << " plane " << plane;
      lowest = std::min(lowest, psnr);
    }
  }
  std::printf("%s: %zu frames, lowest PSNR %.1f dB\n", stream.filename().c_str(),
              ours.frames.size(), lowest);
}

class FfmpegStreams : public ::testing::TestWithParam<StreamCase> {};

TEST_P(FfmpegStreams, MatchFfmpegsDecode) {
  const StreamCase& c = GetParam();
  expect_matches_ffmpeg(make_ffmpeg_stream(c.name, c.args, c.source));
}

const std::string kMpeg2 = "-c:v mpeg2video -q:v 4 -g 12 -bf 2 -f mpeg2video";
const std::string kInterlaced = kMpeg2 + " -flags +ildct+ilme";

INSTANTIATE_TEST_SUITE_P(
    Encodings, FfmpegStreams,
    ::testing::Values(
        StreamCase{"mpeg1.m1v", "-c:v mpeg1video -q:v 4 -g 12 -bf 2 -f mpeg1video"},
        StreamCase{"mpeg1-system.mpg", "-c:v mpeg1video -q:v 5 -g 9 -bf 2 -c:a mp2 -f mpeg",
                   "-f lavfi -i testsrc2=size=176x144:rate=25 -f lavfi -i sine -t 0.8"},
        StreamCase{"progressive.m2v", kMpeg2}, StreamCase{"top-first.m2v", kInterlaced + " -top 1"},
        StreamCase{"bottom-first.m2v", kInterlaced + " -top 0"},
        StreamCase{"422.m2v", kMpeg2 + " -pix_fmt yuv422p"},
        StreamCase{"alternate-scan.m2v", kInterlaced + " -alternate_scan 1"},
        StreamCase{"non-linear.m2v", kMpeg2 + " -non_linear_quant 1 -qmax 28"},
        StreamCase{"intra-vlc.m2v", kMpeg2 + " -intra_vlc 1"},
        StreamCase{"dc-precision-10.m2v", kMpeg2 + " -dc 10"},
        StreamCase{"matrices.m2v",
                   kMpeg2 + " -intra_matrix 8,9,10,11,12,13,14,15,9,10,11,12,13,14,15,16,10,11,"
                            "12,13,14,15,16,17,11,12,13,14,15,16,17,18,12,13,14,15,16,17,18,19,"
                            "13,14,15,16,17,18,19,20,14,15,16,17,18,19,20,21,15,16,17,18,19,20,"
                            "21,22"
                            " -inter_matrix 16,17,18,19,20,21,22,23,17,18,19,20,21,22,23,24,18,"
                            "19,20,21,22,23,24,25,19,20,21,22,23,24,25,26,20,21,22,23,24,25,26,"
                            "27,21,22,23,24,25,26,27,28,22,23,24,25,26,27,28,29,23,24,25,26,27,"
                            "28,29,30"},
        // Moving fields: field motion, and skipped B macroblocks after field-predicted ones,
        // which are predicted frame-based from the vectors before them.
        StreamCase{"moving-fields.m2v", kInterlaced + " -top 1",
                   "-f lavfi -i testsrc2=size=176x144:rate=50,tinterlace=mode=interleave_top "
                   "-t 0.8"},
        StreamCase{"odd-size.m2v", kInterlaced + " -top 1",
                   "-f lavfi -i testsrc2=size=170x130:rate=25 -t 0.8"},
        StreamCase{"mpeg1-odd-size.m1v", "-c:v mpeg1video -q:v 3 -g 6 -bf 1 -f mpeg1video",
                   "-f lavfi -i testsrc2=size=90x66:rate=25 -t 0.8"}),
    [](const auto& tested) {
      std::string name = tested.param.name;
      for (char& ch : name) {
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
      }
      return name;
    });

TEST(SecondEncoder, Mpeg2encInterlacedFramePictures) {
  if (!have_tool("mpeg2enc")) GTEST_SKIP() << "mpeg2enc is not installed";
  const auto path = scratch_dir() / "mpeg2enc-interlaced.m2v";
  const std::string command =
      "ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc2=size=352x288:rate=25 -t 0.8 "
      "-vf setfield=tff -f yuv4mpegpipe -pix_fmt yuv420p - | mpeg2enc -v 0 -f 3 -I 1 -g 6 -G 12 -b "
      "3000 -o '" +
      path.string() + "'";
  ASSERT_EQ(run_command(command), 0);
  expect_matches_ffmpeg(path);
}

class FieldPictures : public ::testing::TestWithParam<std::tuple<bool, int>> {};

TEST_P(FieldPictures, MatchFfmpegsDecode) {
  const auto [top_field_first, b_frames] = GetParam();
  FieldStreamOptions options;
  options.top_field_first = top_field_first;
  options.b_frames = b_frames;
  constexpr int kWidth = 176;
  constexpr int kHeight = 144;
  const auto frames = make_moving_frames(kWidth, kHeight, 10);
  const auto path = scratch_dir() / ("fields-" + std::to_string(top_field_first) + "-" +
                                     std::to_string(b_frames) + ".m2v");
  write_file(path, write_field_picture_stream(frames, kWidth, kHeight, options));
  expect_matches_ffmpeg(path);
}

INSTANTIATE_TEST_SUITE_P(Orders, FieldPictures,
                         ::testing::Combine(::testing::Bool(), ::testing::Values(0, 2)));

}  // namespace
}  // namespace tavik::test
