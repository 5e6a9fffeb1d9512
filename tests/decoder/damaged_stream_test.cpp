#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "analysis/analysis_store.h"
#include "analysis/messages.h"
#include "decoder/decoder_state.h"
#include "decoder/decoding_session.h"
#include "decoder/fatal_error.h"
#include "display/dither.h"
#include "support/bit_feed.h"
#include "support/field_picture_writer.h"
#include "support/moving_frames.h"
#include "support/stream_tools.h"

namespace tavik {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint8_t kPictureCode = 0x00;
constexpr uint8_t kLastSliceCode = 0xAF;

// ---------------------------------------------------------------------------------------------
// Decoding a stream to its end.

// Counts what is handed over and reads its first and last samples, so that the sanitizer
// build catches a buffer smaller than announced.
class CountingListener final : public SessionListener {
 public:
  void frame_ready(const FramePlanes& frame, const FrameGeometry& geometry,
                   const DecodingVariables& vars) override {
    const size_t luma = size_t(geometry.coded_width) * size_t(geometry.coded_height);
    touched += frame.plane[0][0] + frame.plane[0][luma - 1];
    ++frames;
  }
  void picture_ready(const PaletteImage& image) override {
    const size_t size = size_t(image.width) * size_t(image.height);
    ASSERT_GT(size, 0u);
    ASSERT_LE(size, image.pixels.size());
    touched += image.pixels[0] + image.pixels[size - 1];
    ++images;
  }
  void session_ended(const std::string& summary) override { ended = true; }

  int frames = 0;
  int images = 0;
  bool ended = false;
  uint64_t touched = 0;
};

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
// takes more than `step_bound` steps is counted as hanging and stopped.
Outcome decode(const Bytes& bytes, bool decode_pictures, int step_bound) {
  AnalysisStore store;
  CollectedMessages messages;
  CountingListener listener;
  DecodingSession session(store, messages, listener, {.decode_pictures = decode_pictures});
  Outcome outcome;
  try {
    session.open_memory(bytes);
    while (outcome.steps <= step_bound && session.decode_step()) ++outcome.steps;
    outcome.ended = !session.is_open();
  } catch (const FatalError& error) {
    outcome.fatal = error.what();
  }
  EXPECT_FALSE(session.is_open()) << "the session did not end within " << step_bound << " steps";
  EXPECT_EQ(listener.ended, outcome.ended);
  outcome.picture_counter = session.picture_counter();
  outcome.frames = listener.frames;
  outcome.out_text = messages.out_text;
  outcome.err_text = messages.err_text;
  outcome.store = store.snapshot();
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

Bytes flip_bits(Bytes bytes, std::mt19937& rng, int count) {
  std::uniform_int_distribution<size_t> bit(0, bytes.size() * 8 - 1);
  for (int i = 0; i < count; ++i) {
    const size_t at = bit(rng);
    bytes[at / 8] ^= uint8_t(0x80 >> (at % 8));
  }
  return bytes;
}

// Flips bits inside slice data only, past the slice start codes; every header stays intact.
Bytes flip_slice_bits(Bytes bytes, std::mt19937& rng, int count) {
  const auto found = slices(bytes);
  std::uniform_int_distribution<size_t> pick(0, found.size() - 1);
  for (int i = 0; i < count; ++i) {
    const Slice& slice = found[pick(rng)];
    std::uniform_int_distribution<size_t> bit((slice.begin + 4) * 8, slice.end * 8 - 1);
    const size_t at = bit(rng);
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

// Removes every slice that `drop` picks, start code and all.
template <typename Pick>
Bytes drop_slices(const Bytes& bytes, Pick drop) {
  Bytes damaged;
  size_t copied = 0;
  for (const Slice& slice : slices(bytes)) {
    if (!drop(slice)) continue;
    damaged.insert(damaged.end(), bytes.begin() + long(copied), bytes.begin() + long(slice.begin));
    copied = slice.end;
  }
  damaged.insert(damaged.end(), bytes.begin() + long(copied), bytes.end());
  return damaged;
}

// Replaces the data behind the start code of each picked slice.
template <typename Pick>
Bytes replace_slice_data(const Bytes& bytes, Pick replace, const Bytes& data) {
  Bytes damaged;
  size_t copied = 0;
  for (const Slice& slice : slices(bytes)) {
    if (!replace(slice)) continue;
    damaged.insert(damaged.end(), bytes.begin() + long(copied),
                   bytes.begin() + long(slice.begin + 4));
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

TEST(DamagedStreams, BitFlipsInSlicesAreReported) {
  for (const NamedStream& stream : kElementaryStreams) {
    const int pictures = picture_codes(stream.bytes());
    for (int seed = 0; seed < 12; ++seed) {
      SCOPED_TRACE(std::string(stream.name) + ", seed " + std::to_string(seed));
      std::mt19937 rng(seed);
      const Bytes damaged = flip_slice_bits(stream.bytes(), rng, 20);
      const int bound = picture_codes(damaged);
      const Outcome outcome = expect_survives(damaged, bound);
      EXPECT_TRUE(outcome.ended);
      // No flip touches a picture header, but a flip may make a start code, and a damaged
      // slice may end in a fixed-length field read across the next start code, losing it.
      EXPECT_GE(bound, pictures);
      EXPECT_GE(outcome.picture_counter, pictures - 20);
      // Twenty flips spread over the slices are met by the decoder as invalid codes.
      EXPECT_GE(count_of(outcome.err_text, "Invalid ") + count_of(outcome.err_text, "invalid "),
                1u);
    }
  }
}

TEST(DamagedStreams, BytesCutFromSlicesNeverCrashOrHang) {
  for (const NamedStream& stream : kElementaryStreams) {
    for (int seed = 0; seed < 12; ++seed) {
      SCOPED_TRACE(std::string(stream.name) + ", seed " + std::to_string(seed));
      std::mt19937 rng(seed);
      const Bytes damaged = cut_slices(stream.bytes(), rng, 1 + seed * 3);
      const int pictures = picture_codes(damaged);
      const Outcome outcome = expect_survives(damaged, pictures);
      EXPECT_TRUE(outcome.ended);
      // At most one start code lost per damaged slice (see above).
      EXPECT_GE(outcome.picture_counter, pictures - (1 + seed * 3));
    }
  }
}

TEST(DamagedStreams, MissingLastSlicesEndPicturesPrematurely) {
  for (const NamedStream& stream : kElementaryStreams) {
    SCOPED_TRACE(stream.name);
    const Bytes damaged =
        drop_slices(stream.bytes(), [](const Slice& slice) { return slice.last_of_picture; });
    const int pictures = picture_codes(stream.bytes());
    const Outcome outcome = expect_survives(damaged, pictures);
    EXPECT_TRUE(outcome.ended);
    EXPECT_EQ(outcome.picture_counter, pictures);
    EXPECT_EQ(count_of(outcome.out_text, "Premature end of picture\n"), size_t(pictures));
    EXPECT_EQ(outcome.err_text, "");
  }
}

TEST(DamagedStreams, DroppedSlicesAreSkipped) {
  for (const NamedStream& stream : kElementaryStreams) {
    for (int seed = 0; seed < 8; ++seed) {
      SCOPED_TRACE(std::string(stream.name) + ", seed " + std::to_string(seed));
      std::mt19937 rng(seed);
      std::bernoulli_distribution drop(0.1 + 0.1 * seed);
      const Bytes damaged = drop_slices(stream.bytes(), [&](const Slice&) { return drop(rng); });
      const int pictures = picture_codes(stream.bytes());
      const Outcome outcome = expect_survives(damaged, pictures);
      EXPECT_TRUE(outcome.ended);
      EXPECT_EQ(outcome.picture_counter, pictures);
      EXPECT_EQ(outcome.err_text, "");
    }
  }
}

TEST(DamagedStreams, EmptiedSlicesAreReportedOnceEach) {
  for (const NamedStream& stream : kElementaryStreams) {
    SCOPED_TRACE(stream.name);
    std::mt19937 rng(7);
    std::bernoulli_distribution empty(0.3);
    size_t emptied = 0;
    const Bytes damaged = replace_slice_data(
        stream.bytes(),
        [&](const Slice&) {
          const bool pick = empty(rng);
          emptied += pick;
          return pick;
        },
        kEmptySlice);
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
  const Bytes damaged = replace_slice_data(
      mpeg1_stream(), [&](const Slice&) { return std::exchange(first, false); }, data);
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

void expect_same_store(const StoreData& a, const StoreData& b) {
#define TAVIK_EXPECT_SAME(field) EXPECT_EQ(a.field, b.field) << #field
  TAVIK_EXPECT_SAME(frame_bytes);
  TAVIK_EXPECT_SAME(frame_types);
  TAVIK_EXPECT_SAME(frame_first_slice);
  TAVIK_EXPECT_SAME(slice_bytes);
  TAVIK_EXPECT_SAME(gop_bytes);
  TAVIK_EXPECT_SAME(gop_first_frame);
  TAVIK_EXPECT_SAME(last_frame);
  TAVIK_EXPECT_SAME(open_gop);
  TAVIK_EXPECT_SAME(slice_count);
  TAVIK_EXPECT_SAME(slice_codes_seen);
  TAVIK_EXPECT_SAME(bytes_scanned);
  TAVIK_EXPECT_SAME(gop_accum);
  TAVIK_EXPECT_SAME(max_frame_bytes);
  TAVIK_EXPECT_SAME(max_gop_bytes);
  TAVIK_EXPECT_SAME(max_slice_bytes);
  TAVIK_EXPECT_SAME(max_frames_per_gop);
  TAVIK_EXPECT_SAME(max_slices_per_frame);
  for (const auto chart :
       {&StoreData::frame_chart, &StoreData::gop_chart, &StoreData::slice_chart}) {
    EXPECT_EQ((a.*chart).bar_width, (b.*chart).bar_width);
    EXPECT_EQ((a.*chart).auto_scale, (b.*chart).auto_scale);
    EXPECT_EQ((a.*chart).y_limit, (b.*chart).y_limit);
  }
  TAVIK_EXPECT_SAME(filter_i);
  TAVIK_EXPECT_SAME(filter_p);
  TAVIK_EXPECT_SAME(filter_b);
  TAVIK_EXPECT_SAME(scan_reset_pending);
#undef TAVIK_EXPECT_SAME
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
    expect_same_store(decoded.store, walked.store);
  }
}

}  // namespace
}  // namespace tavik
