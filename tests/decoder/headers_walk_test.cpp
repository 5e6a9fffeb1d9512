#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "analysis/analysis_store.h"
#include "analysis/messages.h"
#include "decoder/decoding_session.h"
#include "decoder/fatal_error.h"
#include "results/summary.h"
#include "support/header_writer.h"
#include "support/stream_tools.h"
#include "support/system_stream_builder.h"

namespace tavik {
namespace {

// ---------------------------------------------------------------------------------------------
// The measurements expected from the start codes of a file, found here independently of the
// scanner and the decoder.

// A start code in the video: the file position of its last byte, its code byte, and for a
// picture start code the picture_coding_type behind it.
struct VideoCode {
  uint64_t position = 0;
  uint8_t code = 0;
  uint32_t picture_type = 0;
};

// The video elementary stream of a file with the file position of each of its bytes.
struct Video {
  std::vector<uint8_t> bytes;
  std::vector<uint64_t> file_position;
};

Video elementary_video(const std::vector<uint8_t>& file) {
  Video video{file, std::vector<uint64_t>(file.size())};
  for (size_t i = 0; i < file.size(); ++i) video.file_position[i] = i;
  return video;
}

uint32_t big_endian(const std::vector<uint8_t>& file, size_t at, int bytes) {
  uint32_t value = 0;
  for (int i = 0; i < bytes; ++i) value = value << 8 | (at + i < file.size() ? file[at + i] : 0);
  return value;
}

// The payload of video stream 0 of an ISO/IEC 11172-1 system stream, cut at the end code or
// at the end of the file.
Video system_video(const std::vector<uint8_t>& file) {
  Video video;
  size_t at = 0;
  while (at + 4 <= file.size()) {
    const uint32_t code = big_endian(file, at, 4);
    at += 4;
    if (code == 0x1B9) break;
    if (code == 0x1BA) {
      at += 8;
      continue;
    }
    EXPECT_GE(code, 0x1BBu) << "system layer broken at " << at;
    if (code < 0x1BB) break;
    const size_t end = at + 2 + big_endian(file, at, 2);
    at += 2;
    if (code == 0x1E0) {
      while (at < end && file[at] == 0xFF) ++at;
      if (at < end && (file[at] & 0xC0) == 0x40) at += 2;
      if (at < end) {
        const uint8_t flags = file[at];
        at += (flags & 0xF0) == 0x30 ? 10 : (flags & 0xF0) == 0x20 ? 5 : 1;
      }
      for (; at < end && at < file.size(); ++at) {
        video.bytes.push_back(file[at]);
        video.file_position.push_back(at);
      }
    }
    at = end;
  }
  return video;
}

std::vector<VideoCode> video_codes(const Video& video) {
  std::vector<VideoCode> codes;
  const auto& v = video.bytes;
  for (size_t i = 3; i < v.size(); ++i) {
    if (v[i - 3] != 0 || v[i - 2] != 0 || v[i - 1] != 1) continue;
    VideoCode code{video.file_position[i], v[i], 0};
    if (v[i] == 0x00 && i + 2 < v.size()) code.picture_type = (v[i + 2] >> 3) & 7;
    codes.push_back(code);
  }
  return codes;
}

// What the store must hold after a walk of a file of `file_size` bytes with these start codes.
struct ExpectedStore {
  std::vector<uint32_t> frame_bytes, frame_types, frame_first_slice, slice_bytes, gop_bytes,
      gop_first_frame;
};

ExpectedStore expected_store(const std::vector<VideoCode>& codes, uint64_t file_size) {
  ExpectedStore e;
  const uint64_t last_byte = file_size - 1;
  std::vector<uint64_t> pictures, groups;
  std::vector<uint32_t> types;
  for (const auto& c : codes) {
    if (c.code == 0x00) {
      pictures.push_back(c.position);
      types.push_back(c.picture_type);
    } else if (c.code == 0xB8) {
      groups.push_back(c.position);
    }
  }
  // Frames: from one picture start code to the next; the last one to the end of the file.
  for (size_t f = 0; f < pictures.size(); ++f) {
    const uint64_t next = f + 1 < pictures.size() ? pictures[f + 1] : last_byte;
    e.frame_bytes.push_back(uint32_t(next - pictures[f]));
    e.frame_types.push_back(types[f]);
  }
  // GOPs: from one group start code to the next. A GOP boundary is met while the picture in
  // front of it is being measured, so that picture is not yet counted.
  auto pictures_before = [&](uint64_t position) {
    return uint32_t(std::lower_bound(pictures.begin(), pictures.end(), position) -
                    pictures.begin());
  };
  if (!groups.empty()) e.gop_first_frame.push_back(0);
  for (size_t g = 0; g < groups.size(); ++g) {
    const uint64_t next = g + 1 < groups.size() ? groups[g + 1] : last_byte;
    e.gop_bytes.push_back(uint32_t(next - groups[g]));
    const uint32_t before =
        g + 1 < groups.size() ? pictures_before(groups[g + 1]) : uint32_t(pictures.size());
    e.gop_first_frame.push_back(before == 0 ? 0 : before - 1);
  }
  // Slices: from one slice start code to the next, or from just after the picture start code
  // that began a measurement, less one byte. The first slice start code writes nothing.
  bool first_slice = true;
  uint64_t boundary = 0;
  size_t next_picture = 0;
  uint32_t entries = 0;
  e.frame_first_slice.push_back(0);
  for (const auto& c : codes) {
    if (c.code == 0x00) {
      if (next_picture > 0) e.frame_first_slice.push_back(entries);
      ++next_picture;
      boundary = c.position + 1;
    } else if (c.code >= 0x01 && c.code <= 0xAF) {
      if (!first_slice) {
        e.slice_bytes.push_back(uint32_t(c.position - boundary));
        ++entries;
      }
      first_slice = false;
      boundary = c.position;
    }
  }
  if (!pictures.empty()) e.frame_first_slice.push_back(entries);
  return e;
}

void expect_store(const AnalysisStore& store, const ExpectedStore& e, uint64_t file_size) {
  const auto data = store.snapshot();
  EXPECT_EQ(data.frame_count(), int32_t(e.frame_bytes.size()));
  EXPECT_EQ(data.frame_bytes, e.frame_bytes);
  EXPECT_EQ(data.frame_types, e.frame_types);
  EXPECT_EQ(data.frame_first_slice, e.frame_first_slice);
  EXPECT_EQ(data.slice_bytes, e.slice_bytes);
  EXPECT_EQ(data.gop_count(), int32_t(e.gop_bytes.size()));
  EXPECT_EQ(data.gop_bytes, e.gop_bytes);
  EXPECT_EQ(data.gop_first_frame, e.gop_first_frame);
  EXPECT_EQ(data.bytes_scanned, file_size - 3);
}

// ---------------------------------------------------------------------------------------------

class RecordingListener final : public SessionListener {
 public:
  void session_ended(const std::string& text) override {
    ++ended;
    summary = text;
  }
  int ended = 0;
  std::string summary;
};

// A headers-only session with everything it reports.
struct Walk {
  AnalysisStore store;
  CollectedMessages messages;
  RecordingListener listener;
  DecodingSession session{store, messages, listener, SessionOptions{.decode_pictures = false}};
  int pictures = 0;

  // Steps to the end; false when the session did not end within `limit` steps.
  bool run(int limit = 100000) {
    while (pictures < limit) {
      if (!session.decode_step()) return true;
      ++pictures;
    }
    return false;
  }
};

std::string command_output(const std::string& command) {
  std::string out;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return out;
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
  ::pclose(pipe);
  return out;
}

int ffprobe_frame_count(const std::filesystem::path& path) {
  return std::stoi(
      command_output("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                     "stream=nb_read_frames -of csv=p=0 '" +
                     path.string() + "'"));
}

constexpr const char* kVideoSource = "-f lavfi -i testsrc2=size=176x144:rate=25 -t 2";
constexpr const char* kVideoAndAudioSource =
    "-f lavfi -i testsrc2=size=176x144:rate=25 -f lavfi -i sine=frequency=440:sample_rate=44100 "
    "-t 2";

struct StreamKind {
  const char* name;
  const char* args;
  const char* source;
  bool system;
};

const StreamKind kStreams[] = {
    {"mpeg2.m2v", "-c:v mpeg2video -g 12 -bf 2 -f mpeg2video", kVideoSource, false},
    {"mpeg2-interlaced.m2v", "-c:v mpeg2video -g 15 -bf 2 -flags +ilme+ildct -top 1 -f mpeg2video",
     kVideoSource, false},
    {"mpeg1.m1v", "-c:v mpeg1video -g 12 -bf 2 -f mpeg1video", kVideoSource, false},
    {"mpeg1-system.mpg", "-c:v mpeg1video -g 12 -bf 2 -c:a mp2 -f mpeg", kVideoAndAudioSource,
     true},
};

class HeadersWalk : public ::testing::TestWithParam<StreamKind> {
 protected:
  std::filesystem::path stream() const {
    const auto& kind = GetParam();
    return test::make_ffmpeg_stream(std::string("walk-") + kind.name, kind.args, kind.source);
  }
  Video video_of(const std::vector<uint8_t>& file) const {
    return GetParam().system ? system_video(file) : elementary_video(file);
  }
};

TEST_P(HeadersWalk, MeasuresEveryPictureGopAndSliceOfTheFile) {
  const auto path = stream();
  const auto file = test::read_file(path);
  ASSERT_GT(file.size(), 1000u);
  const auto codes = video_codes(video_of(file));

  Walk walk;
  walk.session.open_stream(path.string());
  EXPECT_TRUE(walk.session.is_open());
  ASSERT_TRUE(walk.run());

  const int frames = ffprobe_frame_count(path);
  EXPECT_EQ(walk.pictures, frames);
  EXPECT_EQ(walk.session.picture_counter(), frames);
  expect_store(walk.store, expected_store(codes, file.size()), file.size());
  EXPECT_EQ(walk.store.snapshot().frame_count(), frames);

  EXPECT_FALSE(walk.session.is_open());
  EXPECT_EQ(walk.listener.ended, 1);
  EXPECT_EQ(walk.listener.summary, BuildSummary(walk.store));
  EXPECT_EQ(walk.store.current_picture_type, 0);
  EXPECT_EQ(walk.messages.err_text, "");
  EXPECT_EQ(walk.messages.out_text, "");
  EXPECT_EQ(walk.messages.box_text, "");
  // A step after the end does nothing.
  EXPECT_FALSE(walk.session.decode_step());
  EXPECT_EQ(walk.listener.ended, 1);
}

TEST_P(HeadersWalk, MemoryAndFileGiveTheSameStore) {
  const auto path = stream();
  const auto file = test::read_file(path);
  Walk from_file;
  from_file.session.open_stream(path.string());
  ASSERT_TRUE(from_file.run());
  Walk from_memory;
  from_memory.session.open_memory(file);
  ASSERT_TRUE(from_memory.run());
  EXPECT_EQ(from_memory.pictures, from_file.pictures);
  EXPECT_EQ(from_memory.listener.summary, from_file.listener.summary);
  expect_store(from_memory.store, expected_store(video_codes(video_of(file)), file.size()),
               file.size());
}

TEST_P(HeadersWalk, TruncatedFileEndsCleanly) {
  const auto full = test::read_file(stream());
  for (const size_t cut : {full.size() / 2 + 1, full.size() * 3 / 4 + 2, full.size() - 5}) {
    const std::vector<uint8_t> file(full.begin(), full.begin() + std::ptrdiff_t(cut));
    Walk walk;
    walk.session.open_memory(file);
    ASSERT_TRUE(walk.run()) << cut;
    EXPECT_EQ(walk.listener.ended, 1);
    const auto codes = video_codes(video_of(file));
    const auto pictures =
        std::count_if(codes.begin(), codes.end(), [](const VideoCode& c) { return c.code == 0; });
    EXPECT_EQ(walk.pictures, pictures) << cut;
    expect_store(walk.store, expected_store(codes, file.size()), file.size());
  }
}

TEST_P(HeadersWalk, ReopeningStartsAFreshMeasurement) {
  const auto path = stream();
  Walk walk;
  walk.session.open_stream(path.string());
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(walk.session.decode_step());
  walk.session.open_stream(path.string());
  walk.pictures = 0;
  ASSERT_TRUE(walk.run());
  const auto file = test::read_file(path);
  expect_store(walk.store, expected_store(video_codes(video_of(file)), file.size()), file.size());
  EXPECT_EQ(walk.listener.ended, 1);
}

std::string stream_test_name(const ::testing::TestParamInfo<StreamKind>& param) {
  std::string name = param.param.name;
  for (char& c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  return name;
}

INSTANTIATE_TEST_SUITE_P(Streams, HeadersWalk, ::testing::ValuesIn(kStreams), stream_test_name);

// ---------------------------------------------------------------------------------------------
// Frame counting with field pictures, on hand-made MPEG-2 streams.

// picture_structure of each picture: 1 top field, 2 bottom field, 3 frame.
std::vector<uint8_t> interlaced_stream(const std::vector<int>& structures) {
  using namespace test::header_writer;
  BitWriter w;
  sequence_header(w, 64, 64);
  sequence_extension(w, {.progressive_sequence = 0});
  group_of_pictures(w);
  for (const int structure : structures) {
    picture_header(w, {.type = 1});
    picture_coding_extension(w, {.picture_structure = structure});
    slice(w, 1);
    slice(w, 2);
  }
  sequence_end(w);
  return w.bytes();
}

struct FieldCase {
  std::vector<int> structures;
  int frames;
  std::string notices;
};

TEST(FieldPictures, PairsCountOnceAndLoneFieldsAreReported) {
  const std::vector<FieldCase> cases = {
      {{1, 2, 1, 2, 2, 1, 1, 2, 1, 2}, 5, ""},
      {{3, 1, 2, 3}, 3, ""},
      {{1, 3, 3}, 2, "odd number of field pictures\n"},
      {{3, 1}, 1, "last frame incomplete, not stored\n"},
      {{3, 1, 2, 2}, 2, "last frame incomplete, not stored\n"},
      // The first picture counts as frame 0: nothing is flushed at the end.
      {{1}, 0, ""},
  };
  for (const auto& c : cases) {
    const auto bytes = interlaced_stream(c.structures);
    Walk walk;
    walk.session.open_memory(bytes);
    ASSERT_TRUE(walk.run());
    EXPECT_EQ(walk.pictures, int(c.structures.size()));
    EXPECT_EQ(walk.session.picture_counter(), c.frames) << ::testing::PrintToString(c.structures);
    EXPECT_EQ(walk.messages.out_text, c.notices) << ::testing::PrintToString(c.structures);
    // Every picture is measured, whatever its structure.
    EXPECT_EQ(walk.store.snapshot().frame_count(), int(c.structures.size()));
  }
}

// ---------------------------------------------------------------------------------------------
// Inputs that are not walkable streams.

std::string open_error(Walk& walk, const std::vector<uint8_t>& bytes) {
  try {
    walk.session.open_memory(bytes);
  } catch (const FatalError& error) {
    return error.what();
  }
  return "";
}

TEST(BadInput, NotAStreamIsRejectedAtOpen) {
  const std::string text = "This is a text file, not a video stream.\n";
  std::vector<uint8_t> gop_first = {0x00, 0x00, 0x01, 0xB8, 0x00, 0x08, 0x00, 0x40,
                                    0x00, 0x00, 0x01, 0xB3, 0x16, 0x00, 0xF0, 0x13};
  const std::vector<std::vector<uint8_t>> inputs = {
      {},
      {0x00},
      {0x00, 0x00, 0x01},
      std::vector<uint8_t>(text.begin(), text.end()),
      gop_first,
      std::vector<uint8_t>(5000, 0x00),
  };
  for (const auto& bytes : inputs) {
    Walk walk;
    EXPECT_EQ(open_error(walk, bytes), "This not a valid MPEG system or video stream\n")
        << bytes.size();
    EXPECT_FALSE(walk.session.is_open());
    EXPECT_FALSE(walk.session.decode_step());
    EXPECT_EQ(walk.listener.ended, 0);
  }
}

TEST(BadInput, MissingFileShowsTheBoxAndTheFatalText) {
  // Longer than any fixed buffer the message might have been formatted into.
  const std::string path =
      (test::scratch_dir() / std::string(300, 'x')).string() + "/no-such-file.m2v";
  Walk walk;
  try {
    walk.session.open_stream(path);
    FAIL() << "opened";
  } catch (const FatalError& error) {
    EXPECT_EQ(std::string(error.what()), "Input file " + path + " not found\n");
  }
  EXPECT_EQ(walk.messages.box_text, "Error al abrir fichero");
  EXPECT_FALSE(walk.session.is_open());
}

TEST(BadInput, GarbageAfterAValidStartEndsOrFailsCleanly) {
  const auto file = test::read_file(test::make_ffmpeg_stream(
      "walk-mpeg2.m2v", "-c:v mpeg2video -g 12 -bf 2 -f mpeg2video", kVideoSource));
  ASSERT_GT(file.size(), 3000u);
  // Garbage rich in start code prefixes, extension codes and header codes.
  constexpr uint8_t kAlphabet[] = {0x00, 0x00, 0x00, 0x01, 0xB5, 0xB3, 0xB8, 0xB2,
                                   0x01, 0x00, 0xFF, 0x12, 0x80, 0x8F, 0x10, 0x2A};
  for (unsigned seed = 0; seed < 40; ++seed) {
    std::mt19937 random(seed);
    std::vector<uint8_t> bytes(file.begin(), file.begin() + 300 + seed * 50);
    for (int i = 0; i < 20000; ++i) {
      bytes.push_back(seed % 2 == 0 ? kAlphabet[random() % std::size(kAlphabet)]
                                    : uint8_t(random()));
    }
    Walk walk;
    walk.session.open_memory(bytes);
    try {
      ASSERT_TRUE(walk.run()) << "seed " << seed;
      EXPECT_EQ(walk.listener.ended, 1);
    } catch (const FatalError& error) {
      const std::string text = error.what();
      EXPECT_TRUE(text == "temporal scalability not implemented\n" ||
                  text == "temporal scalability not supported\n")
          << text;
      EXPECT_FALSE(walk.session.is_open());
      EXPECT_FALSE(walk.session.decode_step());
    }
  }
}

TEST(BadInput, SystemStreamWithMpeg2PesHeaderFailsWithThePacketError) {
  const auto elementary = test::read_file(test::make_ffmpeg_stream(
      "walk-mpeg1.m1v", "-c:v mpeg1video -g 12 -bf 2 -f mpeg1video", kVideoSource));
  ASSERT_GT(elementary.size(), 20000u);
  const std::span<const uint8_t> video(elementary);
  const uint8_t pes[] = {0x80, 0x80, 0x05, 0x21, 0x00, 0x01, 0x00, 0x01};
  test::SystemStreamBuilder builder;
  builder.pack()
      .video_packet(video.first(2000))
      .video_packet(video.subspan(2000, 8000))
      .raw_video_packet(pes, video.subspan(10000, 2000))
      .end();
  Walk walk;
  walk.session.open_memory(builder.bytes());
  try {
    walk.run();
    FAIL() << "no error";
  } catch (const FatalError& error) {
    EXPECT_STREQ(error.what(), "Error in packet header\n");
  }
  // The pictures of the good packets were walked first.
  EXPECT_GE(walk.pictures, 1);
  EXPECT_FALSE(walk.session.is_open());
  EXPECT_FALSE(walk.session.decode_step());
  EXPECT_EQ(walk.listener.ended, 0);
}

TEST(BadInput, SystemStreamCutInsideAPacketEndsCleanly) {
  const auto full = test::read_file(test::make_ffmpeg_stream(
      "walk-mpeg1-system.mpg", "-c:v mpeg1video -g 12 -bf 2 -c:a mp2 -f mpeg",
      kVideoAndAudioSource));
  // Each cut lands somewhere inside a pack: in a header, a video payload or an audio packet.
  for (const size_t cut : {size_t{30}, size_t{2048 * 5 + 17}, size_t{2048 * 40 + 1003}}) {
    const std::vector<uint8_t> file(full.begin(), full.begin() + std::ptrdiff_t(cut));
    Walk walk;
    walk.session.open_memory(file);
    ASSERT_TRUE(walk.run());
    EXPECT_EQ(walk.listener.ended, 1);
    EXPECT_EQ(walk.messages.err_text, "");
  }
}

}  // namespace
}  // namespace tavik
