#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/field_picture_writer.h"
#include "support/moving_frames.h"
#include "support/reference_decode.h"
#include "support/stream_tools.h"

namespace tavik::test {
namespace {

// Decoding the slices of each picture on several threads gives the frames and texts of one.
void expect_same_as_one_thread(const std::filesystem::path& stream) {
  const DecodedVideo one = decode_with_tavik(stream, 1);
  ASSERT_FALSE(one.frames.empty()) << stream;
  for (const int threads : {2, 3, 8}) {
    const DecodedVideo many = decode_with_tavik(stream, threads);
    EXPECT_TRUE(many.frames == one.frames) << stream << " on " << threads << " threads";
    EXPECT_EQ(many.errors, one.errors) << stream;
    EXPECT_EQ(many.notices, one.notices) << stream;
  }
}

const std::string kSource = "-f lavfi -i testsrc2=size=352x288:rate=25 -t 0.6";

TEST(SliceThreads, FfmpegStreamsDecodeAsOnOneThread) {
  for (const auto& [name, args] : std::vector<std::pair<std::string, std::string>>{
           {"threads-mpeg1.m1v", "-c:v mpeg1video -q:v 4 -g 12 -bf 2 -f mpeg1video"},
           {"threads-interlaced.m2v",
            "-c:v mpeg2video -q:v 3 -g 12 -bf 2 -flags +ildct+ilme -top 1 -f mpeg2video"}}) {
    expect_same_as_one_thread(make_ffmpeg_stream(name, args, kSource));
  }
}

TEST(SliceThreads, FieldPicturesDecodeAsOnOneThread) {
  const auto path = scratch_dir() / "threads-fields.m2v";
  write_file(path, write_field_picture_stream(make_moving_frames(64, 64, 7), 64, 64, {}));
  expect_same_as_one_thread(path);
  std::filesystem::remove(path);
}

// A damaged picture: a slice cut short and one run past its row decode, with the same
// warnings, as on one thread.
TEST(SliceThreads, DamagedStreamDecodesAsOnOneThread) {
  const auto source = make_ffmpeg_stream(
      "threads-damaged-source.m2v", "-c:v mpeg2video -q:v 3 -g 6 -bf 0 -f mpeg2video", kSource);
  std::vector<uint8_t> bytes = read_file(source);
  for (size_t i = bytes.size() / 3; i < bytes.size(); i += bytes.size() / 7) bytes[i] ^= 0x5A;
  const auto path = scratch_dir() / "threads-damaged.m2v";
  write_file(path, bytes);
  expect_same_as_one_thread(path);
  std::filesystem::remove(path);
}

}  // namespace
}  // namespace tavik::test
