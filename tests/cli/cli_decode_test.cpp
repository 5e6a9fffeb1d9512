#include <gtest/gtest.h>
#include <png.h>

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "display/palette.h"
#include "support/cli_run.h"
#include "support/reference_decode.h"
#include "support/session_recorder.h"
#include "support/stream_tools.h"

namespace tavik {
namespace {

namespace fs = std::filesystem;

using test::CliResult;
using test::DecodedVideo;
using test::quoted;
using test::run_cli;

constexpr size_t kFrames = 25;

struct StreamCase {
  const char* name;
  const char* file;
  const char* args;
  const char* source;
  int width, height, chroma_format;
  int coded_width, coded_height;
  const char* summary;        // what decode prints
  const char* coded_summary;  // what decode --coded-size prints
};

constexpr const char* kSource176 = "-f lavfi -i testsrc2=size=176x144:rate=25 -t 1";
constexpr const char* kSource170 = "-f lavfi -i testsrc2=size=170x130:rate=25 -t 1";

// Each has 25 frames in GOPs of 12 with two B frames between references.
const StreamCase kCases[] = {
    {"Mpeg2", "clip.m2v", "-c:v mpeg2video -g 12 -bf 2 -f mpeg2video", kSource176, 176, 144, 1, 176,
     144, "25 frames, 176x144, 4:2:0\n", "25 frames, 176x144, 4:2:0\n"},
    {"Mpeg1System", "clip.mpg", "-c:v mpeg1video -g 12 -bf 2 -f mpeg", kSource176, 176, 144, 1, 176,
     144, "25 frames, 176x144, 4:2:0\n", "25 frames, 176x144, 4:2:0\n"},
    {"Mpeg2Chroma422", "clip422.m2v", "-c:v mpeg2video -pix_fmt yuv422p -g 12 -bf 2 -f mpeg2video",
     kSource176, 176, 144, 2, 176, 144, "25 frames, 176x144, 4:2:2\n",
     "25 frames, 176x144, 4:2:2\n"},
    {"ProgressiveCropped", "cropped.m2v", "-c:v mpeg2video -g 12 -bf 2 -f mpeg2video", kSource170,
     170, 130, 1, 176, 144, "25 frames, 170x130, 4:2:0 (coded size 176x144)\n",
     "25 frames, 176x144, 4:2:0 (picture size 170x130)\n"},
    // Interlaced frames are coded in whole macroblock pairs: 130 lines take 160.
    {"InterlacedCropped", "interlaced.m2v",
     "-c:v mpeg2video -flags +ildct+ilme -top 1 -g 12 -bf 2 -f mpeg2video", kSource170, 170, 130, 1,
     176, 160, "25 frames, 170x130, 4:2:0 (coded size 176x160)\n",
     "25 frames, 176x160, 4:2:0 (picture size 170x130)\n"},
};

void PrintTo(const StreamCase& c, std::ostream* os) {
  *os << c.name;
}

fs::path make_stream(const StreamCase& c) {
  return test::make_ffmpeg_stream(c.file, c.args, c.source);
}

size_t frame_bytes(const DecodedVideo& video) {
  return size_t(video.width) * size_t(video.height) +
         2 * size_t(video.chroma_width()) * size_t(video.chroma_height());
}

// The raw planar file the CLI wrote, split into frames; a partial frame at the end is kept as it
// is, so that a size mismatch shows.
DecodedVideo decode_with_cli(const StreamCase& c, bool coded_size, CliResult& result) {
  const fs::path out = test::scratch_dir() / (std::string(c.name) + ".yuv");
  fs::remove(out);
  result = run_cli(std::string("decode ") + quoted(make_stream(c)) + " -o " + quoted(out) +
                   (coded_size ? " --coded-size" : ""));
  DecodedVideo video{coded_size ? c.coded_width : c.width,
                     coded_size ? c.coded_height : c.height,
                     c.chroma_format,
                     {},
                     "",
                     ""};
  const std::vector<uint8_t> bytes = test::read_file(out);
  for (size_t at = 0; at < bytes.size(); at += frame_bytes(video)) {
    const size_t end = std::min(bytes.size(), at + frame_bytes(video));
    video.frames.emplace_back(bytes.begin() + std::ptrdiff_t(at),
                              bytes.begin() + std::ptrdiff_t(end));
  }
  return video;
}

// The top-left width x height corner of one plane of a frame.
std::vector<uint8_t> plane_corner(const DecodedVideo& video, const std::vector<uint8_t>& frame,
                                  int plane, int width, int height) {
  const size_t luma = size_t(video.width) * size_t(video.height);
  const size_t chroma = size_t(video.chroma_width()) * size_t(video.chroma_height());
  const size_t begin = plane == 0 ? 0 : plane == 1 ? luma : luma + chroma;
  const int stride = plane == 0 ? video.width : video.chroma_width();
  std::vector<uint8_t> corner;
  for (int y = 0; y < height; ++y) {
    const auto row = frame.begin() + std::ptrdiff_t(begin + size_t(y) * size_t(stride));
    corner.insert(corner.end(), row, row + width);
  }
  return corner;
}

class CliDecode : public ::testing::TestWithParam<StreamCase> {};

// With --coded-size the whole macroblocks around the picture are kept; the picture is their
// top-left corner.
TEST_P(CliDecode, WritesEveryFrameAsFfmpegDecodesIt) {
  const StreamCase& c = GetParam();
  CliResult result;
  const DecodedVideo video = decode_with_cli(c, false, result);
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, c.summary);
  ASSERT_EQ(video.frames.size(), kFrames);
  EXPECT_EQ(video.frames.back().size(), frame_bytes(video));
  const DecodedVideo coded = decode_with_cli(c, true, result);
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, c.coded_summary);
  ASSERT_EQ(coded.frames.size(), kFrames);
  EXPECT_EQ(coded.frames.back().size(), frame_bytes(coded));

  const DecodedVideo reference =
      test::decode_with_ffmpeg(make_stream(c), c.width, c.height, c.chroma_format);
  ASSERT_EQ(reference.frames.size(), kFrames);
  for (const size_t f : {size_t(0), kFrames - 1}) {
    for (int plane = 0; plane < 3; ++plane) {
      EXPECT_GE(test::plane_psnr(video, video.frames[f], reference.frames[f], plane), 40.0)
          << "frame " << f << " plane " << plane;
      const int width = plane == 0 ? video.width : video.chroma_width();
      const int height = plane == 0 ? video.height : video.chroma_height();
      EXPECT_EQ(plane_corner(coded, coded.frames[f], plane, width, height),
                plane_corner(video, video.frames[f], plane, width, height))
          << "frame " << f << " plane " << plane;
    }
  }
}

// The image the session hands over right after each frame, and the frame's colour matrix.
struct FrameImage {
  PaletteImage image;
  int matrix_coefficients = 0;
};

std::vector<FrameImage> session_images(const fs::path& stream) {
  test::RecordedSession run;
  run.open(stream);
  run.run();
  using enum test::SessionEvent;
  const auto& events = run.recorder.events;
  std::vector<FrameImage> images;
  for (size_t e = 0, image = 0, frame = 0; e < events.size(); ++e) {
    if (events[e] == kPicture) {
      ++image;
      continue;
    }
    if (e + 1 < events.size() && events[e + 1] == kPicture) {
      images.push_back(
          {run.recorder.images[image], run.recorder.frames[frame].vars.matrix_coefficients});
    }
    ++frame;
  }
  return images;
}

struct PngContents {
  png_uint_32 width = 0;
  png_uint_32 height = 0;
  int bit_depth = 0;
  int color_type = 0;
  std::vector<png_color> palette;
  std::vector<uint8_t> rows;  // top-down, one byte per pixel when the depth is 8
};

// Reads a PNG as stored, without transformations. False when libpng refuses it.
bool read_png(const fs::path& path, PngContents& contents) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  std::vector<png_bytep> row_pointers;
  if (setjmp(png_jmpbuf(png)) != 0) {
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(file);
    return false;
  }
  png_init_io(png, file);
  png_read_info(png, info);
  png_get_IHDR(png, info, &contents.width, &contents.height, &contents.bit_depth,
               &contents.color_type, nullptr, nullptr, nullptr);
  png_colorp colours = nullptr;
  int count = 0;
  if (png_get_PLTE(png, info, &colours, &count) != 0)
    contents.palette.assign(colours, colours + count);
  const size_t row_bytes = png_get_rowbytes(png, info);
  contents.rows.resize(row_bytes * contents.height);
  for (png_uint_32 y = 0; y < contents.height; ++y) {
    row_pointers.push_back(contents.rows.data() + y * row_bytes);
  }
  png_read_image(png, row_pointers.data());
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(file);
  return true;
}

TEST_P(CliDecode, SnapshotWritesTheFramesDitheredImage) {
  const StreamCase& c = GetParam();
  const fs::path stream = make_stream(c);
  const std::vector<FrameImage> images = session_images(stream);
  ASSERT_EQ(images.size(), kFrames);
  // An I frame, a B frame and the last reference frame, flushed at the end.
  for (const size_t f : {size_t(0), size_t(7), kFrames - 1}) {
    SCOPED_TRACE("frame " + std::to_string(f));
    const fs::path out = test::scratch_dir() / (std::string(c.name) + ".png");
    fs::remove(out);
    const CliResult result = run_cli("snapshot " + quoted(stream) + " --frame " +
                                     std::to_string(f) + " -o " + quoted(out));
    ASSERT_EQ(result.status, 0) << result.err;

    PngContents png;
    ASSERT_TRUE(read_png(out, png));
    EXPECT_EQ(png.color_type, PNG_COLOR_TYPE_PALETTE);
    EXPECT_EQ(png.bit_depth, 8);
    ASSERT_EQ(png.width, png_uint_32(c.coded_width));
    ASSERT_EQ(png.height, png_uint_32(c.coded_height));

    const FrameImage& expected = images[f];
    const auto entries = make_palette_entries(expected.matrix_coefficients);
    ASSERT_EQ(png.palette.size(), size_t(kPaletteSize));
    for (size_t i = 0; i < png.palette.size(); ++i) {
      const png_color& colour = png.palette[i];
      EXPECT_EQ(std::tie(colour.red, colour.green, colour.blue),
                std::tie(entries[i].red, entries[i].green, entries[i].blue))
          << "entry " << i;
    }
    // The file holds the rows top-down, the image bottom-up.
    ASSERT_EQ(expected.image.width, c.coded_width);
    ASSERT_EQ(expected.image.height, c.coded_height);
    std::vector<uint8_t> top_down;
    for (int y = c.coded_height - 1; y >= 0; --y) {
      const auto row = expected.image.pixels.begin() + std::ptrdiff_t(y) * c.coded_width;
      top_down.insert(top_down.end(), row, row + c.coded_width);
    }
    EXPECT_TRUE(png.rows == top_down);
  }
}

// The dither desaturates strongly; true colour keeps the colours the stream holds.
TEST(CliSnapshot, TrueColourKeepsSaturatedColours) {
  const fs::path stream = test::make_ffmpeg_stream(
      "red.m2v", "-c:v mpeg2video -q:v 2", "-f lavfi -i color=c=red:size=64x48:rate=25 -t 0.2");
  const fs::path out = test::scratch_dir() / "red.png";
  const CliResult result =
      run_cli("snapshot " + quoted(stream) + " --frame 2 --true-colour -o " + quoted(out));
  ASSERT_EQ(result.status, 0) << result.err;
  PngContents png;
  ASSERT_TRUE(read_png(out, png));
  fs::remove(out);
  EXPECT_EQ(png.color_type, PNG_COLOR_TYPE_RGB);
  ASSERT_EQ(png.width * png.height * 3, png.rows.size());
  const uint8_t* centre = &png.rows[(24 * 64 + 32) * 3];
  EXPECT_GE(centre[0], 250);
  EXPECT_LE(centre[1], 6);
  EXPECT_LE(centre[2], 6);
}

INSTANTIATE_TEST_SUITE_P(Streams, CliDecode, ::testing::ValuesIn(kCases),
                         [](const auto& test_info) { return std::string(test_info.param.name); });

// Failures print one line and leave no output file behind; the input is never replaced.
TEST(CliDecodeErrors, FailuresArePrintedAndExitWithOne) {
  const fs::path stream = make_stream(kCases[0]);
  const fs::path missing = test::scratch_dir() / "missing.m2v";
  const fs::path junk = test::scratch_dir() / "junk.bin";
  test::write_file(junk, std::vector<uint8_t>(4096, 0x5a));
  const fs::path out = test::scratch_dir() / "failed.out";
  const fs::path png = test::scratch_dir() / "failed.png";
  const fs::path unwritable = test::scratch_dir() / "no-such-dir" / "out.png";
  const fs::path link = test::scratch_dir() / "link.m2v";
  fs::remove(link);
  fs::create_symlink(stream, link);
  const auto stream_size = fs::file_size(stream);
  const std::string not_found = ": No such file or directory\n";
  const std::pair<std::string, std::string> cases[] = {
      {"snapshot " + quoted(stream) + " --frame 25 -o " + quoted(png),
       "tavik-cli: frame 25 is beyond the end of the stream (25 frames)\n"},
      {"decode " + quoted(missing) + " -o " + quoted(out),
       "tavik-cli: cannot open " + missing.string() + not_found},
      {"snapshot --frame 0 " + quoted(missing) + " -o " + quoted(png),
       "tavik-cli: cannot open " + missing.string() + not_found},
      {"decode " + quoted(junk) + " -o " + quoted(out),
       "This not a valid MPEG system or video stream\n"},
      {"decode " + quoted(stream) + " -o " + quoted(unwritable),
       "tavik-cli: cannot write " + unwritable.string() + not_found},
      {"snapshot --frame 0 " + quoted(stream) + " -o " + quoted(unwritable),
       "tavik-cli: cannot write " + unwritable.string() + not_found},
      {"snapshot --frame 0 " + quoted(stream) + " -o " + quoted(out),
       "tavik-cli: the output name must end in .png: " + out.string() + "\n"},
      // The same file under another name is still the input.
      {"decode " + quoted(link) + " -o " + quoted(stream),
       "tavik-cli: " + stream.string() + " is the input file; nothing written\n"},
      // A device that opens but takes nothing: the first frame's write fails.
      {"decode " + quoted(stream) + " -o /dev/full",
       "tavik-cli: cannot write /dev/full: No space left on device\n"},
  };
  for (const auto& [command, error] : cases) {
    const CliResult result = run_cli(command);
    EXPECT_EQ(result.status, 1) << command;
    EXPECT_EQ(result.err, error) << command;
    EXPECT_FALSE(fs::exists(out)) << command;
    EXPECT_FALSE(fs::exists(png)) << command;
  }
  EXPECT_EQ(fs::file_size(stream), stream_size);
  // Nothing but what the test made is left in the folder (no temporary files).
  for (const auto& entry : fs::directory_iterator(test::scratch_dir())) {
    EXPECT_NE(entry.path().filename().string().front(), '.') << entry.path();
  }
}

// YUV4MPEG2 for a .y4m name, read back by ffprobe; "-o -" puts the frames on the standard
// output and the report on the standard error stream.
TEST(CliDecodeOutputs, Y4mAndStandardOutput) {
  const StreamCase& c = kCases[4];
  const fs::path stream = make_stream(c);
  const fs::path y4m = test::scratch_dir() / "frames.y4m";
  ASSERT_EQ(run_cli("decode " + quoted(stream) + " -o " + quoted(y4m)).status, 0);
  const fs::path probe = test::scratch_dir() / "probe.txt";
  ASSERT_EQ(test::run_command("ffprobe -v error -count_frames -show_entries "
                              "stream=width,height,r_frame_rate,nb_read_frames,field_order "
                              "-of default=nw=1 " +
                              quoted(y4m) + " >" + quoted(probe)),
            0);
  EXPECT_EQ(test::file_text(probe),
            "width=170\nheight=130\nfield_order=tt\nr_frame_rate=25/1\nnb_read_frames=25\n");

  const CliResult piped = run_cli("decode " + quoted(stream) + " -o -");
  ASSERT_EQ(piped.status, 0) << piped.err;
  EXPECT_EQ(piped.err, c.summary);
  const fs::path raw = test::scratch_dir() / "frames.yuv";
  ASSERT_EQ(run_cli("decode " + quoted(stream) + " -o " + quoted(raw)).status, 0);
  EXPECT_EQ(piped.out, test::file_text(raw));
}

// A system stream cut in the middle is read from its next pack; the pictures before its first
// sequence header are measured but not decoded.
TEST(CliDecodeOutputs, ACutSystemStreamDecodesFromItsFirstSequenceHeader) {
  const std::vector<uint8_t> whole = test::read_file(make_stream(kCases[1]));
  const fs::path cut = test::scratch_dir() / "cut.mpg";
  test::write_file(cut, {whole.begin() + 3000, whole.end()});
  const CliResult result =
      run_cli("decode " + quoted(cut) + " -o " + quoted(test::scratch_dir() / "cut.yuv"));
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_TRUE(result.err.starts_with("skipped ")) << result.err;
  EXPECT_NE(result.err.find(" bytes before the first pack header\n"), std::string::npos);
  EXPECT_GT(std::stoi(result.out), 0) << result.out;
}

}  // namespace
}  // namespace tavik
