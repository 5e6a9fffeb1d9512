#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "base/fatal_error.h"
#include "decoder/picture/frame_output.h"
#include "display/dither.h"
#include "results/summary.h"
#include "support/field_picture_writer.h"
#include "support/flat_picture_writer.h"
#include "support/header_writer.h"
#include "support/moving_frames.h"
#include "support/reference_decode.h"
#include "support/session_recorder.h"
#include "support/stream_tools.h"

namespace tavik::test {
namespace {

using field_writer::BitWriter;
namespace hw = header_writer;

const std::vector<uint8_t> kSequenceEndCode = {0x00, 0x00, 0x01, 0xB7};

// A small picture keeps the streams quick to make and to decode.
std::string small_source(const std::string& size, double seconds) {
  return "-f lavfi -i testsrc2=size=" + size + ":rate=25 -t " + std::to_string(seconds);
}

std::filesystem::path mpeg1_ibbp_stream() {
  return make_ffmpeg_stream("ibbp.m1v", "-c:v mpeg1video -q:v 4 -g 9 -bf 2 -f mpeg1video",
                            small_source("96x64", 0.6));
}

// A recorded frame cropped to the picture size, as ffmpeg writes it.
std::vector<uint8_t> picture_bytes(const RecordedFrame& frame) {
  RecordedFrame copy = frame;
  std::vector<uint8_t> bytes;
  append_planar_frame(bytes, copy.frame_planes(), frame.geometry,
                      output_plane_sizes(frame.geometry, frame.vars, false));
  return bytes;
}

// The frames match ffmpeg's decode of `stream`, one for one and in the same order (the test
// pictures move: a frame out of place falls far below the bound).
void expect_frames_match(const std::vector<RecordedFrame>& frames, size_t first,
                         const std::filesystem::path& stream) {
  ASSERT_LT(first, frames.size());
  const RecordedFrame& sample = frames[first];
  const DecodedVideo reference =
      decode_with_ffmpeg(stream, std::min(sample.vars.horizontal_size, sample.geometry.coded_width),
                         std::min(sample.vars.vertical_size, sample.geometry.coded_height),
                         sample.geometry.chroma_format);
  ASSERT_GE(frames.size() - first, reference.frames.size()) << stream;
  ASSERT_GT(reference.frames.size(), 2u) << stream;
  for (size_t f = 0; f < reference.frames.size(); ++f) {
    const std::vector<uint8_t> ours = picture_bytes(frames[first + f]);
    for (int plane = 0; plane < 3; ++plane) {
      EXPECT_GE(plane_psnr(reference, ours, reference.frames[f], plane), 40.0)
          << stream << " frame " << f << " plane " << plane;
    }
  }
}

// The steps that delivered the frames.
std::vector<int> frame_steps(const SessionRecorder& recorder) {
  std::vector<int> steps;
  for (const RecordedFrame& frame : recorder.frames) steps.push_back(frame.step);
  return steps;
}

// `count` consecutive step numbers from `from` on.
std::vector<int> steps_from(int from, int count) {
  std::vector<int> steps;
  for (int i = 0; i < count; ++i) steps.push_back(from + i);
  return steps;
}

// A sequence of one intra picture of the given size with a single slice.
std::vector<uint8_t> one_picture_sequence(int width, int height, bool mpeg2, int size_extension) {
  BitWriter w;
  hw::sequence_header(w, width, height);
  if (mpeg2) {
    hw::sequence_extension(w, {.horizontal_size_extension = size_extension,
                               .vertical_size_extension = size_extension});
  }
  hw::group_of_pictures(w);
  if (mpeg2) {
    flat_mpeg2_frame_picture_header(w, 0);
  } else {
    hw::picture_header(w, {});
  }
  FlatSlice slice(w, 1, 1);
  slice.macroblock(1, {});
  hw::sequence_end(w);
  return w.bytes();
}

// ---------------------------------------------------------------------------------------------
// Display order.

// The first I picture waits for the next reference picture; from then on every step hands
// over one frame, and the ending step the last reference frame. Progressive material: one image
// per frame, at the coded size, right after the frame, unless the display is off.
TEST(DisplayOrder, FramesComeOutInDisplayOrder) {
  const auto stream = mpeg1_ibbp_stream();
  for (const bool display_disabled : {false, true}) {
    SessionOptions options;
    options.display_disabled = display_disabled;
    RecordedSession run(options);
    run.open(stream);
    const int pictures = run.run();
    ASSERT_GT(pictures, 10);
    EXPECT_EQ(run.session.picture_counter(), pictures);
    EXPECT_EQ(frame_steps(run.recorder), steps_from(2, pictures));
    expect_frames_match(run.recorder.frames, 0, stream);
    EXPECT_EQ(run.recorder.image_steps,
              display_disabled ? std::vector<int>{} : steps_from(2, pictures));
    for (const PaletteImage& image : run.recorder.images) {
      EXPECT_EQ(image.width, 96);
      EXPECT_EQ(image.height, 64);
      EXPECT_EQ(image.pixels.size(), 96u * 64u);
    }
  }
}

TEST(DisplayOrder, OnePictureStreamIsShownAtTheEnd) {
  RecordedSession run;
  run.open(one_picture_sequence(16, 16, true, 0));
  EXPECT_TRUE(run.step());
  EXPECT_TRUE(run.recorder.frames.empty());
  EXPECT_FALSE(run.step());
  ASSERT_EQ(run.recorder.frames.size(), 1u);
  EXPECT_EQ(run.recorder.frames[0].step, 2);
  EXPECT_EQ(run.recorder.frames[0].sample(0, 15, 15), 128);
  EXPECT_EQ(run.recorder.image_steps, std::vector<int>{2});
  EXPECT_EQ(run.recorder.summaries.size(), 1u);
}

// ---------------------------------------------------------------------------------------------
// Interlaced frame pictures: two field images per frame; the second one is shown half-way
// through the next picture.

TEST(InterlacedFramePictures, BothFieldImagesAreShownInTurn) {
  const auto stream = make_ffmpeg_stream(
      "interlaced.m2v",
      "-c:v mpeg2video -q:v 4 -g 12 -bf 2 -flags +ildct+ilme -top 1 -f mpeg2video",
      small_source("176x144", 0.4));
  RecordedSession run;
  run.open(stream);
  const int pictures = run.run();
  ASSERT_GT(pictures, 5);
  ASSERT_EQ(int(run.recorder.frames.size()), pictures);

  // Step 1 shows nothing; every later picture shows the second field of the frame shown
  // before it, then the first field of the frame now due; the end shows the last first field.
  using enum SessionEvent;
  std::vector<SessionEvent> expected;
  for (int step = 2; step <= pictures; ++step) {
    expected.insert(expected.end(), {kPicture, kFrame, kPicture});
  }
  expected.insert(expected.end(), {kFrame, kPicture});
  EXPECT_EQ(run.recorder.events, expected);

  // The images are the dither of the frames handed over: each frame's first field right after
  // it, its second field next.
  const FrameGeometry& geometry = run.recorder.frames[0].geometry;
  ASSERT_EQ(geometry.coded_width, 176);
  ASSERT_EQ(geometry.coded_height, 160);
  Ditherer ditherer;
  ditherer.init_display(8, geometry.coded_width, geometry.coded_height);
  size_t frame = 0;
  size_t image = 0;
  const PaletteImage* due = nullptr;
  for (const SessionEvent event : run.recorder.events) {
    if (event == kFrame) {
      RecordedFrame recorded = run.recorder.frames[frame++];
      ditherer.display_picture(recorded.frame_planes(), recorded.geometry, recorded.vars);
      due = &ditherer.display_image();
      continue;
    }
    const PaletteImage& shown = run.recorder.images[image++];
    if (due != nullptr) {
      EXPECT_EQ(shown.pixels, due->pixels) << "image " << image;
    }
    due = frame > 0 ? &ditherer.second_display_image() : nullptr;
  }
}

// ---------------------------------------------------------------------------------------------
// Field pictures, from the field-picture writer.

constexpr int kFieldWidth = 64;
constexpr int kFieldHeight = 64;

FieldStream field_stream(int frames, int b_frames) {
  FieldStreamOptions options;
  options.b_frames = b_frames;
  return encode_field_picture_stream(make_moving_frames(kFieldWidth, kFieldHeight, frames),
                                     kFieldWidth, kFieldHeight, options);
}

// The stream up to the last picture start code: everything but the last field.
std::vector<uint8_t> without_last_field(const std::vector<uint8_t>& bytes) {
  const std::vector<uint8_t> picture_start = {0x00, 0x00, 0x01, 0x00};
  const auto last =
      std::find_end(bytes.begin(), bytes.end(), picture_start.begin(), picture_start.end());
  return {bytes.begin(), last};
}

void expect_writer_frame(const RecordedFrame& frame, const YuvFrame& expected, size_t index) {
  DecodedVideo geometry{kFieldWidth, kFieldHeight, 1, {}, "", ""};
  std::vector<uint8_t> planar = expected.y;
  planar.insert(planar.end(), expected.cb.begin(), expected.cb.end());
  planar.insert(planar.end(), expected.cr.begin(), expected.cr.end());
  for (int plane = 0; plane < 3; ++plane) {
    EXPECT_GE(plane_psnr(geometry, picture_bytes(frame), planar, plane), 40.0)
        << "frame " << index << " plane " << plane;
  }
}

TEST(FieldPictures, PictureCounterCountsFrames) {
  const FieldStream stream = field_stream(5, 2);
  RecordedSession run;
  run.open(stream.bytes);
  std::vector<int> counters;
  while (run.step()) counters.push_back(run.session.picture_counter());
  EXPECT_EQ(counters, (std::vector<int>{0, 1, 1, 2, 2, 3, 3, 4, 4, 5}));
  EXPECT_EQ(run.session.picture_counter(), 5);
  EXPECT_EQ(run.messages.out_text, "");
  ASSERT_EQ(run.recorder.frames.size(), 5u);
  // A frame is handed over when its second field completes the next frame, or at the end.
  EXPECT_EQ(frame_steps(run.recorder), (std::vector<int>{4, 6, 8, 10, 11}));
  for (size_t f = 0; f < 5; ++f) expect_writer_frame(run.recorder.frames[f], stream.decoded[f], f);
  // The first field of each later frame shows the second field image of the frame before.
  EXPECT_EQ(run.recorder.image_steps, (std::vector<int>{3, 4, 5, 6, 7, 8, 9, 10, 11}));
}

// I P P P and a lone field, then the sequence end or two frame pictures (Y 60 and 160). At the
// end the frames before the last complete one are shown, the last one is not; frame pictures
// after the lone field make it a frame of its own, reported once.
TEST(FieldPictures, LoneFieldAtTheEndOrBeforeFramePictures) {
  const FieldStream stream = field_stream(5, 0);
  BitWriter frame_pictures;
  for (int picture = 0; picture < 2; ++picture) {
    flat_mpeg2_frame_picture_header(frame_pictures, 5 + picture);
    flat_rows(frame_pictures, 1, kFieldWidth / 16, 0, kFieldHeight / 16, [&](int, int) {
      return FlatMacroblock{60 + 100 * picture, 100, 150};
    });
  }
  hw::sequence_end(frame_pictures);
  struct Case {
    std::vector<uint8_t> tail;
    int steps;
    const char* notice;
    int frames;
    int last_image_step;  // the ending step shows the last frame only when there is one
  };
  const Case cases[] = {{kSequenceEndCode, 9, "last frame incomplete, not stored\n", 4, 9},
                        {frame_pictures.bytes(), 11, "odd number of field pictures\n", 6, 12}};
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes = without_last_field(stream.bytes);
    bytes.insert(bytes.end(), c.tail.begin(), c.tail.end());
    RecordedSession run;
    run.open(bytes);
    EXPECT_EQ(run.run(), c.steps);
    EXPECT_EQ(run.messages.out_text, c.notice);
    EXPECT_EQ(run.messages.err_text, "");
    EXPECT_EQ(run.session.picture_counter(), c.frames);
    EXPECT_EQ(run.recorder.summaries.size(), 1u);
    EXPECT_EQ(run.recorder.image_steps.back(), c.last_image_step);
    ASSERT_EQ(run.recorder.frames.size(), size_t(c.frames == 4 ? 3 : 6));
    for (size_t f = 0; f < 3; ++f)
      expect_writer_frame(run.recorder.frames[f], stream.decoded[f], f);
    for (size_t f = 4; f < run.recorder.frames.size(); ++f) {
      const RecordedFrame& frame = run.recorder.frames[f];
      const int y = 60 + 100 * int(f - 4);
      EXPECT_EQ(frame.sample(0, 0, 0), y);
      EXPECT_EQ(frame.sample(0, kFieldWidth - 1, kFieldHeight - 1), y);
      EXPECT_EQ(frame.sample(2, 0, 0), 150);
    }
  }
}

// ---------------------------------------------------------------------------------------------
// The end of a session.

TEST(SessionEnd, EndsOnceWithTheSummary) {
  RecordedSession run;
  run.open(mpeg1_ibbp_stream());
  EXPECT_TRUE(run.session.is_open());
  ASSERT_TRUE(run.step());
  EXPECT_EQ(run.store.current_picture_type, 1);
  const int pictures = 1 + run.run();
  ASSERT_EQ(run.recorder.summaries.size(), 1u);
  EXPECT_EQ(run.recorder.summaries[0], BuildSummary(run.store));
  EXPECT_NE(run.recorder.summaries[0].find(std::to_string(pictures)), std::string::npos);
  EXPECT_EQ(run.store.current_picture_type, 0);
  EXPECT_FALSE(run.session.is_open());
  const size_t frames = run.recorder.frames.size();
  const size_t images = run.recorder.images.size();
  EXPECT_FALSE(run.step());
  EXPECT_FALSE(run.step());
  EXPECT_EQ(run.recorder.summaries.size(), 1u);
  EXPECT_EQ(run.recorder.frames.size(), frames);
  EXPECT_EQ(run.recorder.images.size(), images);
}

// The bytes of an ffmpeg stream without a sequence end code, so that another sequence can
// follow.
std::vector<uint8_t> without_end_code(const std::filesystem::path& stream) {
  std::vector<uint8_t> bytes = read_file(stream);
  if (bytes.size() >= 4 &&
      std::equal(kSequenceEndCode.begin(), kSequenceEndCode.end(), bytes.end() - 4)) {
    bytes.resize(bytes.size() - 4);
  }
  return bytes;
}

TEST(SessionEnd, FatalErrorMidStreamClosesTheSessionAndANewOpenWorks) {
  const auto stream = mpeg1_ibbp_stream();
  std::vector<uint8_t> bytes = without_end_code(stream);
  const std::vector<uint8_t> zero_size = one_picture_sequence(0, 0, false, 0);
  bytes.insert(bytes.end(), zero_size.begin(), zero_size.end());

  RecordedSession run;
  run.open(bytes);
  std::string error;
  int pictures = 0;
  try {
    while (run.step()) ++pictures;
  } catch (const FatalError& fatal) {
    error = fatal.what();
  }
  EXPECT_NE(error.find("Unsupported picture size"), std::string::npos) << error;
  EXPECT_GT(pictures, 10);
  // The last frame of the stream is shown before the new size is refused.
  EXPECT_EQ(run.recorder.frames.size(), size_t(pictures));
  EXPECT_FALSE(run.session.is_open());
  EXPECT_FALSE(run.step());
  EXPECT_TRUE(run.recorder.summaries.empty());

  const size_t frames_before = run.recorder.frames.size();
  run.open(stream);
  EXPECT_TRUE(run.session.is_open());
  EXPECT_EQ(run.session.picture_counter(), 0);
  EXPECT_EQ(run.run(), pictures);
  EXPECT_EQ(run.recorder.summaries.size(), 1u);
  EXPECT_EQ(run.recorder.frames.size() - frames_before, size_t(pictures));
  expect_frames_match(run.recorder.frames, frames_before, stream);
}

// ---------------------------------------------------------------------------------------------
// Picture size.

TEST(PictureSize, LaterSequenceWithAnotherSizeIsDecodedAtItsSize) {
  const std::string args = "-c:v mpeg2video -q:v 4 -g 6 -bf 2 -f mpeg2video";
  const auto large = make_ffmpeg_stream("size-large.m2v", args, small_source("176x144", 0.28));
  const auto small = make_ffmpeg_stream("size-small.m2v", args, small_source("96x64", 0.28));
  std::vector<uint8_t> bytes = without_end_code(large);
  const std::vector<uint8_t> second = read_file(small);
  bytes.insert(bytes.end(), second.begin(), second.end());

  RecordedSession run;
  run.open(bytes);
  const int pictures = run.run();
  EXPECT_EQ(pictures, 14);
  EXPECT_EQ(run.messages.err_text, "");
  ASSERT_EQ(run.recorder.frames.size(), 14u);
  // One image per progressive frame, dithered at the frame's own size.
  ASSERT_EQ(run.recorder.images.size(), 14u);
  for (size_t f = 0; f < 14; ++f) {
    const FrameGeometry& g = run.recorder.frames[f].geometry;
    const PaletteImage& image = run.recorder.images[f];
    EXPECT_EQ(std::tie(g.coded_width, g.coded_height, image.width, image.height),
              f < 7 ? std::tuple(176, 144, 176, 144) : std::tuple(96, 64, 96, 64))
        << "frame " << f;
  }
  expect_frames_match(run.recorder.frames, 0, large);
  expect_frames_match(run.recorder.frames, 7, small);
}

long peak_resident_kilobytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

TEST(PictureSize, AbsurdSizesAreRefusedBeforeAnyAllocation) {
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
  };
  const Case cases[] = {
      {"0x0", one_picture_sequence(0, 0, false, 0)},
      {"0x64", one_picture_sequence(0, 64, false, 0)},
      {"16383x16383", one_picture_sequence(4095, 4095, true, 3)},
  };
  const long peak_before = peak_resident_kilobytes();
  for (const Case& c : cases) {
    RecordedSession run;
    run.open(c.bytes);
    try {
      run.step();
      ADD_FAILURE() << c.name << " decoded";
    } catch (const FatalError& error) {
      EXPECT_EQ(std::string(error.what()).rfind("Unsupported picture size", 0), 0u)
          << c.name << ": " << error.what();
    }
    EXPECT_FALSE(run.session.is_open()) << c.name;
    EXPECT_TRUE(run.recorder.frames.empty()) << c.name;
  }
  EXPECT_LT(peak_resident_kilobytes() - peak_before, 64 * 1024);
}

}  // namespace
}  // namespace tavik::test
