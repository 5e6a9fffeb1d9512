#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "analysis/analysis_store.h"
#include "base/fatal_error.h"
#include "base/messages.h"
#include "input/system_demux.h"
#include "results/summary.h"
#include "session/decoding_session.h"
#include "support/header_writer.h"
#include "support/stream_tools.h"

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

// The video bytes of a file, each with its file position: the whole file, or the video payload
// of a system stream as the (separately tested) demultiplexer finds it.
std::vector<std::pair<uint8_t, uint64_t>> video_bytes(const std::vector<uint8_t>& file,
                                                      bool system) {
  std::vector<std::pair<uint8_t, uint64_t>> video;
  const auto take = [&](size_t from, size_t to) {
    for (size_t at = from; at < to; ++at) video.emplace_back(file[at], at);
  };
  if (!system) take(0, file.size());
  SystemDemux demux;
  for (size_t at = 0; system && at < file.size();) {
    const auto step = demux.feed(std::span(file).subspan(at));
    take(at + step.payload_offset, at + step.payload_offset + step.payload_size);
    if (step.consumed == 0) break;
    at += step.consumed;
  }
  return video;
}

std::vector<VideoCode> video_codes(const std::vector<uint8_t>& file, bool system) {
  const auto v = video_bytes(file, system);
  std::vector<VideoCode> codes;
  for (size_t i = 3; i < v.size(); ++i) {
    if (v[i - 3].first != 0 || v[i - 2].first != 0 || v[i - 1].first != 1) continue;
    VideoCode code{v[i].second, v[i].first, 0};
    if (v[i].first == 0x00 && i + 2 < v.size()) code.picture_type = (v[i + 2].first >> 3) & 7;
    codes.push_back(code);
  }
  return codes;
}

int picture_count(const std::vector<VideoCode>& codes) {
  return int(
      std::count_if(codes.begin(), codes.end(), [](const VideoCode& c) { return c.code == 0; }));
}

// Checks the store after a walk of a file of `file_size` bytes with these start codes.
void expect_store(const AnalysisStore& store, const std::vector<VideoCode>& codes,
                  uint64_t file_size) {
  std::vector<uint32_t> frame_bytes, frame_types, frame_first_slice{0}, slice_bytes, gop_bytes,
      gop_first_frame{0};
  const uint64_t last_byte = file_size - 1;
  std::vector<uint64_t> pictures, groups;
  for (const auto& c : codes) {
    if (c.code == 0x00) {
      pictures.push_back(c.position);
      frame_types.push_back(c.picture_type);
    } else if (c.code == 0xB8) {
      groups.push_back(c.position);
    }
  }
  // Frames: from one picture start code to the next; the last one to the end of the file.
  for (size_t f = 0; f < pictures.size(); ++f) {
    frame_bytes.push_back(
        uint32_t((f + 1 < pictures.size() ? pictures[f + 1] : last_byte) - pictures[f]));
  }
  // GOPs: from one group start code to the next. A GOP boundary is met while the picture in
  // front of it is being measured, so that picture is not yet counted. The end of the file
  // closes a GOP even when there was none.
  for (size_t g = 0; g < groups.size(); ++g) {
    const bool last = g + 1 == groups.size();
    gop_bytes.push_back(uint32_t((last ? last_byte : groups[g + 1]) - groups[g]));
    const auto before =
        last ? pictures.size()
             : size_t(std::lower_bound(pictures.begin(), pictures.end(), groups[g + 1]) -
                      pictures.begin());
    gop_first_frame.push_back(before == 0 ? 0 : uint32_t(before - 1));
  }
  // Slices: from one slice start code to the next, or from just after the picture start code
  // that began a measurement, less one byte. The first slice start code writes nothing.
  bool first_slice = true;
  bool seen_picture = false;
  uint64_t boundary = 0;
  for (const auto& c : codes) {
    if (c.code == 0x00) {
      if (seen_picture) frame_first_slice.push_back(uint32_t(slice_bytes.size()));
      seen_picture = true;
      boundary = c.position + 1;
    } else if (c.code >= 0x01 && c.code <= 0xAF) {
      if (!first_slice) slice_bytes.push_back(uint32_t(c.position - boundary));
      first_slice = false;
      boundary = c.position;
    }
  }
  if (!pictures.empty()) frame_first_slice.push_back(uint32_t(slice_bytes.size()));

  const auto data = store.snapshot();
  EXPECT_EQ(data.frame_count(), int32_t(frame_bytes.size()));
  EXPECT_EQ(data.frame_bytes, frame_bytes);
  EXPECT_EQ(data.frame_types, frame_types);
  EXPECT_EQ(data.frame_first_slice, frame_first_slice);
  EXPECT_EQ(data.slice_bytes, slice_bytes);
  EXPECT_EQ(data.gop_count(), int32_t(gop_bytes.size()));
  EXPECT_EQ(data.gop_bytes, gop_bytes);
  EXPECT_EQ(data.gop_first_frame, gop_first_frame);
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

SessionOptions headers_only() {
  SessionOptions options;
  options.decode_pictures = false;
  return options;
}

// A headers-only session with everything it reports.
struct Walk {
  AnalysisStore store;
  CollectedMessages messages;
  RecordingListener listener;
  DecodingSession session{store, messages, listener, headers_only()};
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

int ffprobe_frame_count(const std::filesystem::path& path) {
  const auto out = test::scratch_dir() / (path.filename().string() + ".frames");
  EXPECT_EQ(test::run_command("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                              "stream=nb_read_frames -of csv=p=0 '" +
                              path.string() + "' > '" + out.string() + "'"),
            0);
  const auto text = test::read_file(out);
  return std::stoi(std::string(text.begin(), text.end()));
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

const StreamKind kMpeg2{"mpeg2", "-c:v mpeg2video -g 12 -bf 2 -f mpeg2video", kVideoSource, false};
const StreamKind kMpeg1{"mpeg1", "-c:v mpeg1video -g 12 -bf 2 -f mpeg1video", kVideoSource, false};
const StreamKind kSystem{"mpeg1_system", "-c:v mpeg1video -g 12 -bf 2 -c:a mp2 -f mpeg",
                         kVideoAndAudioSource, true};

std::vector<uint8_t> stream_bytes(const StreamKind& kind) {
  return test::read_file(test::make_ffmpeg_stream(kind.name, kind.args, kind.source));
}

class HeadersWalk : public ::testing::TestWithParam<StreamKind> {};

TEST_P(HeadersWalk, MeasuresEveryPictureGopAndSliceOfTheFile) {
  const auto& kind = GetParam();
  const auto path = test::make_ffmpeg_stream(kind.name, kind.args, kind.source);
  const auto file = test::read_file(path);
  ASSERT_GT(file.size(), 1000u);
  const auto codes = video_codes(file, kind.system);

  // A reopening starts a fresh measurement.
  Walk walk;
  walk.session.open_stream(path.string());
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(walk.session.decode_step());
  walk.session.open_stream(path.string());
  EXPECT_TRUE(walk.session.is_open());
  ASSERT_TRUE(walk.run());

  const int frames = ffprobe_frame_count(path);
  EXPECT_EQ(walk.pictures, frames);
  EXPECT_EQ(walk.session.picture_counter(), frames);
  expect_store(walk.store, codes, file.size());
  EXPECT_EQ(walk.store.snapshot().frame_count(), frames);

  EXPECT_FALSE(walk.session.is_open());
  EXPECT_EQ(walk.listener.ended, 1);
  EXPECT_EQ(walk.listener.summary, BuildSummary(walk.store));
  EXPECT_EQ(walk.store.current_picture_type, 0);
  EXPECT_EQ(walk.messages.err_text + walk.messages.out_text + walk.messages.box_text, "");
  // A step after the end does nothing.
  EXPECT_FALSE(walk.session.decode_step());
  EXPECT_EQ(walk.listener.ended, 1);

  // The same bytes from memory give the same measurements.
  Walk from_memory;
  from_memory.session.open_memory(file);
  ASSERT_TRUE(from_memory.run());
  EXPECT_EQ(from_memory.pictures, frames);
  EXPECT_EQ(from_memory.listener.summary, walk.listener.summary);
  expect_store(from_memory.store, codes, file.size());
}

// The FatalError text of opening the bytes, or of opening the file when `path` is given.
std::string open_error(Walk& walk, const std::vector<uint8_t>& bytes,
                       const std::string& path = "") {
  try {
    if (path.empty()) {
      walk.session.open_memory(bytes);
    } else {
      walk.session.open_stream(path);
    }
  } catch (const FatalError& error) {
    return error.what();
  }
  return "";
}

TEST_P(HeadersWalk, TruncatedFileEndsCleanly) {
  const auto full = stream_bytes(GetParam());
  // Cuts inside the first headers and somewhere inside later packets or pictures.
  for (const size_t cut :
       {size_t{30}, full.size() / 2 + 1, full.size() * 3 / 4 + 2, full.size() - 5}) {
    SCOPED_TRACE(cut);
    const std::vector<uint8_t> file(full.begin(), full.begin() + std::ptrdiff_t(cut));
    Walk walk;
    if (GetParam().system && cut == 30) {
      // No video packet before the cut: refused, never "0 frames".
      EXPECT_EQ(open_error(walk, file), "The MPEG-1 system stream carries no video data\n");
      continue;
    }
    walk.session.open_memory(file);
    ASSERT_TRUE(walk.run());
    EXPECT_EQ(walk.listener.ended, 1);
    EXPECT_EQ(walk.messages.err_text, "");
    const auto codes = video_codes(file, GetParam().system);
    EXPECT_EQ(walk.pictures, picture_count(codes));
    expect_store(walk.store, codes, file.size());
  }
}

INSTANTIATE_TEST_SUITE_P(Streams, HeadersWalk, ::testing::Values(kMpeg2, kMpeg1, kSystem),
                         [](const auto& param) { return std::string(param.param.name); });

// ---------------------------------------------------------------------------------------------

TEST(FieldPictures, PairsCountOnceAndLoneFieldsAreReported) {
  // picture_structure of each picture (1 top field, 2 bottom field, 3 frame), frames counted,
  // notices.
  const std::vector<std::tuple<std::vector<int>, int, std::string>> cases = {
      {{1, 2, 1, 2, 2, 1, 1, 2, 1, 2}, 5, ""},
      {{3, 1, 2, 3}, 3, ""},
      {{1, 3, 3}, 2, "odd number of field pictures\n"},
      {{3, 1}, 1, "last frame incomplete, not stored\n"},
      {{3, 1, 2, 2}, 2, "last frame incomplete, not stored\n"},
      // The first picture counts as frame 0: nothing is flushed at the end.
      {{1}, 0, ""},
  };
  for (const auto& [structures, frames, notices] : cases) {
    SCOPED_TRACE(::testing::PrintToString(structures));
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
    Walk walk;
    walk.session.open_memory(w.bytes());
    ASSERT_TRUE(walk.run());
    EXPECT_EQ(walk.pictures, int(structures.size()));
    EXPECT_EQ(walk.session.picture_counter(), frames);
    EXPECT_EQ(walk.messages.out_text, notices);
    // Every picture is measured, whatever its structure.
    EXPECT_EQ(walk.store.snapshot().frame_count(), int(structures.size()));
  }
}

// ---------------------------------------------------------------------------------------------
// Inputs that are not walkable streams.

TEST(BadInput, NotAStreamIsRejectedAtOpen) {
  // Three bytes of a prefix, zeros only, an empty file, and a GOP header with no sequence header
  // after it.
  const std::string not_valid = "This not a valid MPEG system or video stream\n";
  const std::vector<std::pair<std::vector<uint8_t>, std::string>> cases = {
      {{0x00, 0x00, 0x01}, not_valid},
      {std::vector<uint8_t>(5000), not_valid},
      {{}, not_valid + "The file is empty\n"},
      {{0x00, 0x00, 0x01, 0xB8, 0x00, 0x08, 0x00, 0x40, 0x00, 0x00, 0x01}, not_valid}};
  for (const auto& [bytes, text] : cases) {
    Walk walk;
    EXPECT_EQ(open_error(walk, bytes), text) << bytes.size();
    EXPECT_FALSE(walk.session.is_open());
    EXPECT_FALSE(walk.session.decode_step());
    EXPECT_EQ(walk.listener.ended, 0);
  }
}

TEST(BadInput, MissingFileWithALongPathShowsTheBoxAndTheFatalText) {
  // Longer than any fixed buffer the message might have been formatted into.
  const std::string path =
      (test::scratch_dir() / std::string(300, 'x')).string() + "/no-such-file.m2v";
  Walk walk;
  EXPECT_EQ(open_error(walk, {}, path), "Input file " + path + " not found\n");
  EXPECT_EQ(walk.messages.box_text, "Error al abrir fichero");
  EXPECT_FALSE(walk.session.is_open());
}

TEST(BadInput, GarbageAfterAValidStartEndsOrFailsCleanly) {
  const auto file = stream_bytes(kMpeg2);
  ASSERT_GT(file.size(), 3000u);
  // Garbage rich in start code prefixes, extension codes and header codes.
  constexpr uint8_t kAlphabet[] = {0x00, 0x00, 0x00, 0x01, 0xB5, 0xB3, 0xB8, 0xB2,
                                   0x01, 0x00, 0xFF, 0x12, 0x80, 0x8F, 0x10, 0x2A};
  for (unsigned seed = 0; seed < 40; ++seed) {
    SCOPED_TRACE(seed);
    std::mt19937 random(seed);
    std::vector<uint8_t> bytes(file.begin(), file.begin() + 300 + seed * 50);
    for (int i = 0; i < 20000; ++i) {
      bytes.push_back(seed % 2 == 0 ? kAlphabet[random() % std::size(kAlphabet)]
                                    : uint8_t(random()));
    }
    Walk walk;
    walk.session.open_memory(bytes);
    try {
      ASSERT_TRUE(walk.run());
      EXPECT_EQ(walk.listener.ended, 1);
    } catch (const FatalError& error) {
      EXPECT_EQ(std::string(error.what()).rfind("temporal scalability not ", 0), 0u)
          << error.what();
      EXPECT_FALSE(walk.session.is_open());
      EXPECT_FALSE(walk.session.decode_step());
    }
  }
}

}  // namespace
}  // namespace tavik
