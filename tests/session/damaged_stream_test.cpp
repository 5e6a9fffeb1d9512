#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <regex>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "base/fatal_error.h"
#include "support/bit_feed.h"
#include "support/field_picture_writer.h"
#include "support/moving_frames.h"
#include "support/session_recorder.h"
#include "support/stream_tools.h"

namespace tavik {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint8_t kPictureCode = 0x00;
constexpr uint8_t kLastSliceCode = 0xAF;

// ---------------------------------------------------------------------------------------------
// Decoding a stream to its end.

struct Outcome {
  int steps = 0;
  int picture_counter = 0;
  int frames = 0;
  bool ended = false;  // decode_step returned false
  std::string fatal;   // the FatalError's text, if the session ended with one
  std::string out_text, err_text;
  StoreData store;
};

// Runs a session over the bytes. Every step reads a picture start code, so a session that
// takes more than `step_bound` steps is counted as hanging and stopped. The recorder copies
// every frame handed over, so that the sanitizer build catches a buffer smaller than announced.
Outcome decode(const Bytes& bytes, bool decode_pictures, int step_bound) {
  SessionOptions options;
  options.decode_pictures = decode_pictures;
  test::RecordedSession run(options);
  Outcome outcome;
  try {
    run.open(bytes);
    while (outcome.steps <= step_bound && run.step()) ++outcome.steps;
    outcome.ended = !run.session.is_open();
  } catch (const FatalError& error) {
    outcome.fatal = error.what();
  }
  EXPECT_FALSE(run.session.is_open())
      << "the session did not end within " << step_bound << " steps";
  EXPECT_EQ(run.recorder.summaries.size(), size_t(outcome.ended));
  for (const PaletteImage& image : run.recorder.images) {
    EXPECT_EQ(image.pixels.size(), size_t(image.width) * size_t(image.height));
  }
  outcome.picture_counter = run.session.picture_counter();
  outcome.frames = int(run.recorder.frames.size());
  outcome.out_text = run.messages.out_text;
  outcome.err_text = run.messages.err_text;
  outcome.store = run.store.snapshot();
  return outcome;
}

// The fatal texts the engine can end a session with on a damaged stream.
bool is_engine_fatal_text(const std::string& text) {
  static const std::regex kFatal(
      "This not a valid MPEG system or video stream\n|"
      "Error in packet header\n|"
      "Unexpected startcode [0-9a-f]{8} in system layer\n|"
      "Unsupported picture size -?[0-9]+x-?[0-9]+\n|"
      "temporal scalability not supported\n|"
      "temporal scalability not implemented\n");
  return std::regex_match(text, kFatal);
}

size_t count_of(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++count;
  }
  return count;
}

// ---------------------------------------------------------------------------------------------
// The structure of the streams, found from their bytes.

// Start codes of an elementary stream: the position of the first 00 of 00 00 01 and the code.
struct StartCode {
  size_t position;
  uint8_t code;
};

std::vector<StartCode> start_codes(const Bytes& bytes) {
  std::vector<StartCode> codes;
  for (size_t i = 0; i + 3 < bytes.size(); ++i) {
    if (bytes[i] == 0 && bytes[i + 1] == 0 && bytes[i + 2] == 1) {
      codes.push_back({i, bytes[i + 3]});
    }
  }
  return codes;
}

bool is_slice_code(uint8_t code) {
  return code >= 0x01 && code <= kLastSliceCode;
}

// The picture start codes a decoder can meet in an elementary stream: those of the file and
// any that the reader's padding (zeros to a multiple of four bytes, then end codes) completes.
int picture_codes(Bytes bytes) {
  bytes.resize((bytes.size() + 3) / 4 * 4, 0);
  bytes.insert(bytes.end(), {0x00, 0x00, 0x01, 0xB7});
  int count = 0;
  for (const auto& code : start_codes(bytes)) count += code.code == kPictureCode;
  return count;
}

// A slice from its start code up to the next start code.
struct Slice {
  size_t begin;
  size_t end;
  bool last_of_picture;  // the next start code is not a slice start code
};

std::vector<Slice> slices(const Bytes& bytes) {
  const auto codes = start_codes(bytes);
  std::vector<Slice> found;
  for (size_t c = 0; c < codes.size(); ++c) {
    if (!is_slice_code(codes[c].code)) continue;
    const bool has_next = c + 1 < codes.size();
    found.push_back({codes[c].position, has_next ? codes[c + 1].position : bytes.size(),
                     !has_next || !is_slice_code(codes[c + 1].code)});
  }
  return found;
}

// A pack or packet of an ISO/IEC 11172-1 system stream.
struct Packet {
  size_t begin;
  size_t end;
  uint8_t id;  // 0xBA pack, 0xE0 video stream 0, ...
};

uint32_t big_endian(const Bytes& bytes, size_t at, int count) {
  uint32_t value = 0;
  for (int i = 0; i < count; ++i) value = value << 8 | bytes.at(at + i);
  return value;
}

std::vector<Packet> system_packets(const Bytes& bytes) {
  std::vector<Packet> packets;
  size_t at = 0;
  while (at + 4 <= bytes.size()) {
    const uint32_t code = big_endian(bytes, at, 4);
    EXPECT_EQ(code >> 8, 1u) << "system layer lost at " << at;
    if (code >> 8 != 1) break;
    const auto id = static_cast<uint8_t>(code);
    const size_t size = id == 0xB9 ? 4 : id == 0xBA ? 12 : 6 + big_endian(bytes, at + 4, 2);
    packets.push_back({at, std::min(at + size, bytes.size()), id});
    at += size;
  }
  return packets;
}

// The payload of video stream 0, as the demultiplexer passes it on.
Bytes system_video(const Bytes& bytes) {
  Bytes video;
  for (const Packet& packet : system_packets(bytes)) {
    if (packet.id != 0xE0) continue;
    size_t at = packet.begin + 6;
    while (bytes[at] == 0xFF) ++at;
    if ((bytes[at] & 0xC0) == 0x40) at += 2;
    at += (bytes[at] & 0xF0) == 0x30 ? 10 : (bytes[at] & 0xF0) == 0x20 ? 5 : 1;
    video.insert(video.end(), bytes.begin() + long(at), bytes.begin() + long(packet.end));
  }
  return video;
}

// ---------------------------------------------------------------------------------------------
// The test streams.

const std::string kSource = "-f lavfi -i testsrc2=size=176x144:rate=25 -t 0.6";

const Bytes& mpeg1_stream() {
  static const Bytes bytes = test::read_file(test::make_ffmpeg_stream(
      "mpeg1.m1v", "-c:v mpeg1video -q:v 5 -g 6 -bf 2 -f mpeg1video", kSource));
  return bytes;
}

const Bytes& interlaced_stream() {
  static const Bytes bytes = test::read_file(test::make_ffmpeg_stream(
      "interlaced.m2v", "-c:v mpeg2video -q:v 5 -g 6 -bf 2 -flags +ildct+ilme -top 1 -f mpeg2video",
      kSource));
  return bytes;
}

const Bytes& system_stream() {
  static const Bytes bytes = test::read_file(
      test::make_ffmpeg_stream("system.mpg", "-c:v mpeg1video -q:v 5 -g 6 -bf 2 -c:a mp2 -f mpeg",
                               kSource + " -f lavfi -i sine -t 0.6"));
  return bytes;
}

const Bytes& field_picture_stream() {
  static const Bytes bytes = [] {
    test::FieldStreamOptions options;
    options.gop_size = 4;
    return test::write_field_picture_stream(test::make_moving_frames(176, 144, 8), 176, 144,
                                            options);
  }();
  return bytes;
}

struct NamedStream {
  const char* name;
  const Bytes& (*bytes)();
  bool system;
};

const NamedStream kStreams[] = {{"MPEG-1", mpeg1_stream, false},
                                {"MPEG-2 interlaced", interlaced_stream, false},
                                {"MPEG-1 system", system_stream, true},
                                {"MPEG-2 field pictures", field_picture_stream, false}};

const NamedStream kElementaryStreams[] = {{"MPEG-1", mpeg1_stream, false},
                                          {"MPEG-2 interlaced", interlaced_stream, false}};

// ---------------------------------------------------------------------------------------------
// Damage, deterministic by the seed.

// Flips `count` bits anywhere, or, with `in_slices`, inside slice data only, past the slice
// start codes, so that every header stays intact.
Bytes flip_bits(Bytes bytes, std::mt19937& rng, int count, bool in_slices = false) {
  const std::vector<Slice> ranges =
      in_slices ? slices(bytes) : std::vector<Slice>{{0, bytes.size(), true}};
  const size_t skip = in_slices ? 4 : 0;
  std::uniform_int_distribution<size_t> pick(0, ranges.size() - 1);
  for (int i = 0; i < count; ++i) {
    const Slice& range = ranges[pick(rng)];
    const size_t at =
        std::uniform_int_distribution<size_t>((range.begin + skip) * 8, range.end * 8 - 1)(rng);
    bytes[at / 8] ^= uint8_t(0x80 >> (at % 8));
  }
  return bytes;
}

// Removes a run of bytes from the middle of each of `count` slices.
Bytes cut_slices(const Bytes& bytes, std::mt19937& rng, int count) {
  auto found = slices(bytes);
  std::shuffle(found.begin(), found.end(), rng);
  found.resize(std::min<size_t>(found.size(), size_t(count)));
  std::sort(found.begin(), found.end(),
            [](const Slice& a, const Slice& b) { return a.begin > b.begin; });
  Bytes damaged = bytes;
  for (const Slice& slice : found) {
    const size_t first = slice.begin + 6;
    if (slice.end < first + 4) continue;
    std::uniform_int_distribution<size_t> point(first, slice.end - 2);
    size_t from = point(rng);
    size_t to = point(rng);
    if (from > to) std::swap(from, to);
    damaged.erase(damaged.begin() + long(from), damaged.begin() + long(to + 1));
  }
  return damaged;
}

// Replaces each slice that `pick` picks, from its first `keep` bytes on, by `data`: keep 0 and
// no data drop the slice, start code and all.
template <typename Pick>
Bytes rewrite_slices(const Bytes& bytes, Pick pick, size_t keep, const Bytes& data = {}) {
  Bytes damaged;
  size_t copied = 0;
  for (const Slice& slice : slices(bytes)) {
    if (!pick(slice)) continue;
    damaged.insert(damaged.end(), bytes.begin() + long(copied),
                   bytes.begin() + long(slice.begin + keep));
    damaged.insert(damaged.end(), data.begin(), data.end());
    copied = slice.end;
  }
  damaged.insert(damaged.end(), bytes.begin() + long(copied), bytes.end());
  return damaged;
}

// A slice header (quantiser_scale_code 1, no extra information) and no macroblock: the address
// increment is then read from the zeros of the next start code, which is an invalid code.
const Bytes kEmptySlice = {0x08};

Bytes drop_packets(const Bytes& bytes, std::mt19937& rng, int count) {
  auto packets = system_packets(bytes);
  std::vector<size_t> video;
  for (size_t p = 0; p < packets.size(); ++p) {
    if (packets[p].id == 0xE0) video.push_back(p);
  }
  std::shuffle(video.begin(), video.end(), rng);
  video.resize(std::min<size_t>(video.size(), size_t(count)));
  Bytes damaged;
  for (size_t p = 0; p < packets.size(); ++p) {
    if (std::find(video.begin(), video.end(), p) != video.end()) continue;
    damaged.insert(damaged.end(), bytes.begin() + long(packets[p].begin),
                   bytes.begin() + long(packets[p].end));
  }
  return damaged;
}

// ---------------------------------------------------------------------------------------------
// What every damaged stream must give.

// Decodes the damaged stream in full and walks it headers-only: each must end, or fail with one
// of the engine's fatal texts, and count no more frames than its picture start codes allow.
Outcome expect_survives(const Bytes& damaged, int picture_bound) {
  const Outcome outcome = decode(damaged, true, picture_bound + 2);
  if (!outcome.ended) {
    EXPECT_TRUE(is_engine_fatal_text(outcome.fatal)) << "fatal text: " << outcome.fatal;
  }
  EXPECT_LE(outcome.picture_counter, picture_bound);
  EXPECT_LE(outcome.frames, outcome.picture_counter + 1);
  // The headers-only walk of the same bytes likewise.
  const Outcome walk = decode(damaged, false, picture_bound + 2);
  if (!walk.ended) {
    EXPECT_TRUE(is_engine_fatal_text(walk.fatal)) << "fatal text of the walk: " << walk.fatal;
  }
  EXPECT_LE(walk.picture_counter, picture_bound);
  return outcome;
}

int undamaged_pictures(const NamedStream& stream) {
  return picture_codes(stream.system ? system_video(stream.bytes()) : stream.bytes());
}

TEST(DamagedStreams, RandomBitFlipsNeverCrashOrHang) {
  for (const NamedStream& stream : kStreams) {
    for (int seed = 0; seed < 48; ++seed) {
      SCOPED_TRACE(std::string(stream.name) + ", seed " + std::to_string(seed));
      std::mt19937 rng(seed);
      const Bytes damaged = flip_bits(stream.bytes(), rng, 1 + seed % 8 * 4);
      // A flip in a system stream's packet layer may move the video anywhere in the file.
      const int bound = stream.system ? int(damaged.size() / 4) : picture_codes(damaged);
      expect_survives(damaged, bound);
    }
  }
}

TEST(DamagedStreams, TruncatedStreamsEndCleanly) {
  for (const NamedStream& stream : kStreams) {
    const Bytes& bytes = stream.bytes();
    const auto found = slices(bytes);
    for (int seed = 0; seed < 16; ++seed) {
      SCOPED_TRACE(std::string(stream.name) + ", seed " + std::to_string(seed));
      std::mt19937 rng(seed);
      const size_t cut = std::uniform_int_distribution<size_t>(0, bytes.size() - 1)(rng);
      const Bytes damaged(bytes.begin(), bytes.begin() + long(cut));
      const Outcome outcome = expect_survives(damaged, undamaged_pictures(stream));
      if (stream.system) continue;
      EXPECT_TRUE(outcome.ended ||
                  outcome.fatal == "This not a valid MPEG system or video stream\n");
      EXPECT_LE(outcome.picture_counter, picture_codes(damaged));
      // Cut inside a slice that other slices of its picture follow: the picture is certainly
      // short of macroblocks.
      const bool short_picture = std::any_of(found.begin(), found.end(), [&](const Slice& s) {
        return !s.last_of_picture && cut >= s.begin + 4 && cut < s.end;
      });
      if (short_picture) {
        EXPECT_GE(count_of(outcome.out_text, "Premature end of picture\n"), 1u);
      }
    }
  }
}

// Bits flipped or bytes cut in slices: no flip or cut touches a picture header, but one may make
// a start code, and a damaged slice may end in a fixed-length field read across the next start
// code, losing it; at most one per damaged slice. Twenty flips are met as invalid codes.
TEST(DamagedStreams, DamagedSlicesCostAtMostOneStartCodeEach) {
  for (const NamedStream& stream : kElementaryStreams) {
    const int pictures = picture_codes(stream.bytes());
    for (int seed = 0; seed < 12; ++seed) {
      for (const bool cut : {false, true}) {
        SCOPED_TRACE(std::string(stream.name) + ", seed " + std::to_string(seed) +
                     (cut ? ", cut" : ", flipped"));
        std::mt19937 rng(seed);
        const int damaged_slices = cut ? 1 + seed * 3 : 20;
        const Bytes damaged = cut ? cut_slices(stream.bytes(), rng, damaged_slices)
                                  : flip_bits(stream.bytes(), rng, damaged_slices, true);
        const int bound = picture_codes(damaged);
        const Outcome outcome = expect_survives(damaged, bound);
        EXPECT_TRUE(outcome.ended);
        EXPECT_GE(outcome.picture_counter, std::min(bound, pictures) - damaged_slices);
        if (cut) continue;
        EXPECT_GE(bound, pictures);
        EXPECT_GE(count_of(outcome.err_text, "Invalid ") + count_of(outcome.err_text, "invalid "),
                  1u);
      }
    }
  }
}

// Slices dropped at random are passed over silently; without its last slice, every picture ends
// prematurely.
TEST(DamagedStreams, DroppedSlicesAreSkipped) {
  for (const NamedStream& stream : kElementaryStreams) {
    const int pictures = picture_codes(stream.bytes());
    for (int seed = -1; seed < 8; ++seed) {
      SCOPED_TRACE(std::string(stream.name) + ", seed " + std::to_string(seed));
      std::mt19937 rng(seed);
      std::bernoulli_distribution drop(0.1 + 0.1 * seed);
      const Bytes damaged = rewrite_slices(
          stream.bytes(),
          [&](const Slice& slice) { return seed < 0 ? slice.last_of_picture : drop(rng); }, 0);
      const Outcome outcome = expect_survives(damaged, pictures);
      EXPECT_TRUE(outcome.ended);
      EXPECT_EQ(outcome.picture_counter, pictures);
      EXPECT_EQ(outcome.err_text, "");
      if (seed < 0) {
        EXPECT_EQ(count_of(outcome.out_text, "Premature end of picture\n"), size_t(pictures));
      }
    }
  }
}

TEST(DamagedStreams, EmptiedSlicesAreReportedOnceEach) {
  for (const NamedStream& stream : kElementaryStreams) {
    SCOPED_TRACE(stream.name);
    std::mt19937 rng(7);
    std::bernoulli_distribution empty(0.3);
    size_t emptied = 0;
    const Bytes damaged = rewrite_slices(
        stream.bytes(),
        [&](const Slice&) {
          const bool pick = empty(rng);
          emptied += pick;
          return pick;
        },
        4, kEmptySlice);
    ASSERT_GT(emptied, 0u);
    const int pictures = picture_codes(stream.bytes());
    const Outcome outcome = expect_survives(damaged, pictures);
    EXPECT_TRUE(outcome.ended);
    EXPECT_EQ(outcome.picture_counter, pictures);
    EXPECT_EQ(count_of(outcome.err_text, "Invalid macroblock_address_increment code\n"), emptied);
  }
}

TEST(DamagedStreams, EndlessAddressEscapesAreInvalid) {
  // Far more macroblock_escapes than any picture has macroblocks, then an increment of 1.
  std::string bits =
      "00001"
      "0";
  for (int i = 0; i < 3000; ++i) bits += "00000001000";
  const Bytes data = test::bytes_from_bits(bits + "1");
  bool first = true;
  const Bytes damaged = rewrite_slices(
      mpeg1_stream(), [&](const Slice&) { return std::exchange(first, false); }, 4, data);
  const Outcome outcome = expect_survives(damaged, picture_codes(damaged));
  EXPECT_TRUE(outcome.ended);
  EXPECT_EQ(count_of(outcome.err_text, "Invalid macroblock_address_increment code\n"), 1u);
  EXPECT_EQ(count_of(outcome.out_text, "Too many macroblocks in picture\n"), 0u);
}

TEST(DamagedStreams, DroppedSystemPacketsNeverCrashOrHang) {
  const Bytes& bytes = system_stream();
  for (int seed = 0; seed < 16; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    const Bytes damaged = drop_packets(bytes, rng, 1 + seed);
    const int pictures = picture_codes(system_video(damaged));
    // A lost sequence header leaves the pictures before the next one without a size, which
    // ends the session with "Unsupported picture size 0x0\n".
    expect_survives(damaged, pictures);
  }
}

// ---------------------------------------------------------------------------------------------
// The analysis does not depend on the decoding: a full decode measures what the headers-only
// walk measures.

// Every field of the store.
auto store_fields(const StoreData& d) {
  return std::tie(d.frame_bytes, d.frame_types, d.frame_first_slice, d.slice_bytes, d.gop_bytes,
                  d.gop_first_frame, d.last_frame, d.open_gop, d.slice_count, d.slice_codes_seen,
                  d.bytes_scanned, d.gop_accum, d.max_frame_bytes, d.max_gop_bytes,
                  d.max_slice_bytes, d.max_frames_per_gop, d.max_slices_per_frame,
                  d.frame_chart.bar_width, d.frame_chart.auto_scale, d.frame_chart.y_limit,
                  d.gop_chart.bar_width, d.gop_chart.auto_scale, d.gop_chart.y_limit,
                  d.slice_chart.bar_width, d.slice_chart.auto_scale, d.slice_chart.y_limit,
                  d.filter_i, d.filter_p, d.filter_b, d.scan_reset_pending);
}

TEST(UndamagedStreams, FullDecodeMeasuresWhatTheHeadersWalkMeasures) {
  for (const NamedStream& stream : kStreams) {
    SCOPED_TRACE(stream.name);
    const int pictures = undamaged_pictures(stream);
    const Outcome decoded = decode(stream.bytes(), true, pictures + 2);
    const Outcome walked = decode(stream.bytes(), false, pictures + 2);
    ASSERT_TRUE(decoded.ended) << decoded.fatal;
    ASSERT_TRUE(walked.ended) << walked.fatal;
    EXPECT_EQ(decoded.err_text, "");
    EXPECT_EQ(decoded.out_text, "");
    EXPECT_GT(decoded.store.frame_count(), 0);
    EXPECT_EQ(store_fields(decoded.store), store_fields(walked.store));
  }
}

}  // namespace
}  // namespace tavik
