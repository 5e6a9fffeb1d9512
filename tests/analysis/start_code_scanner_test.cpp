#include "analysis/start_code_scanner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <span>
#include <tuple>
#include <vector>

#include "input/system_demux.h"
#include "support/chunked_input.h"
#include "support/system_stream_builder.h"

namespace tavik {
namespace {

using Bytes = std::vector<uint8_t>;
using Entries = std::vector<uint32_t>;
using TimeStamps = test::SystemStreamBuilder::TimeStamps;

constexpr uint8_t kPicture = 0x00;
constexpr uint8_t kSequenceHeader = 0xB3;
constexpr uint8_t kSequenceEnd = 0xB7;
constexpr uint8_t kGroup = 0xB8;
constexpr uint8_t kSystemHeader = 0xBB;
constexpr uint8_t kPadding = 0xBE;
constexpr uint8_t kAudio = 0xC0;
constexpr char kReadError[] = "No se puede leer del fichero";

// Builds a byte sequence of start codes, each followed by `fill` filler bytes; code() tells
// where the code ends (the position of its last byte).
struct StreamBuilder {
  Bytes bytes;

  size_t code(uint8_t value, size_t fill = 0) {
    bytes.insert(bytes.end(), {0x00, 0x00, 0x01, value});
    const size_t last = bytes.size() - 1;
    bytes.insert(bytes.end(), fill, 0x55);
    return last;
  }
  [[nodiscard]] size_t end() const { return bytes.size(); }
};

// A packet of a stream other than video stream 0, with the given bytes.
void add_other_packet(test::SystemStreamBuilder& stream, uint8_t stream_id, const Bytes& body) {
  stream.raw(Bytes{0x00, 0x00, 0x01, stream_id, uint8_t(body.size() >> 8), uint8_t(body.size())});
  stream.raw(body);
}

// Gives the first `good` bytes, then fails on every read.
class FailingInput final : public ByteInput {
 public:
  FailingInput(std::span<const uint8_t> bytes, size_t good) : bytes_(bytes), good_(good) {}
  size_t read_some(uint8_t* dst, size_t n) override {
    const size_t count = std::min(n, good_ - offset_);
    failed_ = count == 0;
    std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(offset_), count, dst);
    offset_ += count;
    return count;
  }
  void rewind() override { offset_ = 0; }
  [[nodiscard]] bool read_failed() const override { return failed_; }

 private:
  std::span<const uint8_t> bytes_;
  size_t good_;
  size_t offset_ = 0;
  bool failed_ = false;
};

// The scanner written the plain way: one byte read, shifted and compared at a time. In a system
// stream each byte goes through its own demultiplexer, one byte per feed.
class ReferenceScanner {
 public:
  void attach(std::span<const uint8_t> file, bool system_stream) {
    file_ = file;
    pos_ = 0;
    system_stream_ = system_stream;
    demux_ = SystemDemux{};
    // An elementary stream's window keeps the bytes of the file before: the priming bytes push
    // them out before anything is compared. A system stream's window starts empty.
    if (system_stream) window_ = 0xFFFFFFFF;
  }

  void measure_picture(int32_t type) {
    store.update([&](StoreData& d) { d.scan_reset_pending != 0 ? reset(d) : measure(d, type); });
  }

  AnalysisStore store;
  int gop_signals = 0;

 private:
  void reset(StoreData& data) {
    data.bytes_scanned = data.gop_accum = 0;
    data.max_frame_bytes = data.slice_count = data.max_slices_per_frame = 0;
    data.slice_codes_seen = data.scan_reset_pending = 0;
    data.last_frame = data.open_gop = -1;
    store_at(data.frame_first_slice, 0, 0);
    store_at(data.gop_first_frame, 0, 0);
    for (int i = 0; i < 3 && pos_ < file_.size(); ++i) walk_byte();
  }

  // Reads one byte; true when it is a pattern byte (and so was shifted into the window).
  bool walk_byte() {
    const uint8_t byte = file_[pos_++];
    const bool pattern = !system_stream_ || demux_.feed({&byte, 1}).payload_size == 1;
    if (pattern) window_ = (window_ << 8) | byte;
    return pattern;
  }

  void measure(StoreData& data, int32_t type) {
    uint64_t picture = 0;
    uint64_t slice = 0;
    for (;;) {
      if (pos_ == file_.size()) {
        close_gop(data);
        break;
      }
      const bool pattern = walk_byte();
      ++picture;
      ++data.bytes_scanned;
      ++data.gop_accum;
      const bool prefix = pattern && (window_ >> 8) == 0x000001;
      const uint8_t code = window_ & 0xFF;
      if (prefix && code == kGroup) close_gop(data);
      if (prefix && code >= 0x01 && code <= 0xAF) {
        if (data.slice_codes_seen != 0) store_at(data.slice_bytes, data.slice_count++, slice);
        if (data.slice_chart.auto_scale == 1 && int64_t(slice) > data.max_slice_bytes) {
          data.max_slice_bytes = int32_t(slice);
        }
        ++data.slice_codes_seen;
        slice = 0;
      }
      ++slice;
      if (prefix && code == kPicture) break;
    }
    const int32_t filters[] = {0, data.filter_i, data.filter_p, data.filter_b};
    if (type >= 1 && type <= 3 && filters[type] != 0) return;
    if (type != 0) ++data.last_frame;
    const int32_t f = data.last_frame;
    if (f >= 0) {
      store_at(data.frame_first_slice, f + 1, data.slice_count);
      store_at(data.frame_bytes, f, uint32_t(picture));
      store_at(data.frame_types, f, uint32_t(type));
      if (f >= 1) {
        const int32_t c = int32_t(data.frame_first_slice[f] - data.frame_first_slice[f - 1]);
        if (c >= data.max_slices_per_frame) data.max_slices_per_frame = c;
      }
    }
    if (data.frame_chart.auto_scale == 1 && int64_t(picture) > data.max_frame_bytes) {
      data.max_frame_bytes = int32_t(picture);
      store.frame_max_changed = 1;
    }
  }

  void close_gop(StoreData& data) {
    const int32_t g = data.open_gop;
    if (g >= 0) {
      store_at(data.gop_first_frame, g + 1, data.last_frame + 1);
      store_at(data.gop_bytes, g, uint32_t(data.gop_accum));
      const int32_t c = int32_t(data.gop_first_frame[g + 1] - data.gop_first_frame[g]);
      if (c >= data.max_frames_per_gop) data.max_frames_per_gop = c;
    }
    ++data.open_gop;
    if (data.gop_chart.auto_scale == 1 && int64_t(data.gop_accum) > data.max_gop_bytes) {
      data.max_gop_bytes = int32_t(data.gop_accum);
      store.gop_max_changed = 1;
    }
    data.gop_accum = 0;
    ++gop_signals;
  }

  std::span<const uint8_t> file_;
  size_t pos_ = 0;
  bool system_stream_ = false;
  SystemDemux demux_;
  uint32_t window_ = 0;
};

auto counters_of(const StoreData& d) {
  return std::tuple(d.last_frame, d.open_gop, d.slice_count, d.slice_codes_seen, d.bytes_scanned,
                    d.gop_accum, d.max_frame_bytes, d.max_gop_bytes, d.max_slice_bytes,
                    d.max_frames_per_gop, d.max_slices_per_frame, d.scan_reset_pending);
}

// Runs one measuring scanner on a store, with the calls the decoder makes.
class ScannerTest : public ::testing::Test {
 protected:
  ScannerTest() {
    store_.set_gop_closed_callback([this] {
      // Outside the store's lock (this would block otherwise), after the GOP is recorded.
      const StoreData data = store_.snapshot();
      EXPECT_EQ(data.open_gop, file_signals_);
      EXPECT_EQ(data.gop_accum, 0u);
      ++file_signals_;
    });
  }

  void open(ByteInput& input, bool system_stream = false) {
    scanner_.attach(&input);
    file_signals_ = 0;
    store_.update([](StoreData& data) { data.scan_reset_pending = 1; });
    scanner_.measure_picture();
    scanner_.set_container(system_stream ? Container::kSystem : Container::kElementary);
  }
  void open(const Bytes& bytes, bool system_stream = false) {
    file_ = bytes;
    input_ = std::make_unique<MemoryInput>(file_);
    open(*input_, system_stream);
  }
  // One measuring call; `type` is the type of the picture it measures.
  void measure(int32_t type) {
    store_.current_picture_type = type;
    scanner_.measure_picture();
  }
  // Opens the file and makes the call up to its first picture, then one call per type.
  StoreData run(const Bytes& bytes, const std::vector<int32_t>& types) {
    open(bytes);
    measure(kNoPicture);
    for (const int32_t type : types) measure(type);
    return data();
  }
  [[nodiscard]] StoreData data() const { return store_.snapshot(); }

  AnalysisStore store_;
  CollectedMessages messages_;
  StartCodeScanner scanner_{store_, messages_};
  int file_signals_ = 0;  // GOPs closed since the last open
  Bytes file_;
  std::unique_ptr<MemoryInput> input_;
};

// ---------------------------------------------------------------------------------------------
// Elementary streams.

TEST_F(ScannerTest, CountsPicturesGroupsAndSlicesBetweenTheirLastBytes) {
  StreamBuilder s;
  s.code(kSequenceHeader, 8);
  const size_t group = s.code(kGroup, 4);
  const size_t picture0 = s.code(kPicture, 4);
  s.code(0x01, 10);
  const size_t slice0b = s.code(0x02, 20);
  const size_t slice0c = s.code(0x03, 30);
  const size_t slice0d = s.code(0x04, 7);
  const size_t picture1 = s.code(kPicture, 4);
  const size_t slice1a = s.code(0x90, 10);  // a slice row of a very tall picture
  for (int code = 0xB0; code <= 0xFF; ++code) {
    if (code != kGroup) s.code(uint8_t(code), 1);  // none of them a slice
  }
  const size_t slice1b = s.code(0xAF, 5);
  s.code(kSequenceEnd);
  open(s.bytes);
  store_.update([](StoreData& d) { d.max_slice_bytes = 0; });

  EXPECT_EQ(data().bytes_scanned, 0u);
  measure(kNoPicture);  // up to the first picture: opens GOP 0, records nothing
  StoreData d = data();
  EXPECT_EQ(std::tuple(d.last_frame, d.open_gop, d.bytes_scanned, d.gop_accum, d.max_frame_bytes),
            std::tuple(-1, 0, picture0 - 2, picture0 - group, int32_t(picture0 - 2)));
  EXPECT_TRUE(d.gop_bytes.empty());
  EXPECT_EQ(file_signals_, 1);

  measure(kIPicture);
  d = data();
  EXPECT_EQ(d.frame_bytes, Entries{uint32_t(picture1 - picture0)});
  EXPECT_EQ(d.frame_types, Entries{1});
  // Frame 0 lacks the entry of its first slice: four slices, three entries.
  EXPECT_EQ(d.slice_bytes, (Entries{14, uint32_t(slice0c - slice0b), uint32_t(slice0d - slice0c)}));
  EXPECT_EQ(d.frame_first_slice, (Entries{0, 3}));
  EXPECT_EQ(d.max_slice_bytes, 30 + 4);

  measure(kPPicture);  // ends at end of file, after the sequence end code
  d = data();
  const auto frame1 = uint32_t(s.end() - 1 - picture1);
  EXPECT_EQ(d.frame_bytes, (Entries{uint32_t(picture1 - picture0), frame1}));
  EXPECT_EQ(d.frame_types, (Entries{1, 2}));
  // A later frame's first entry is its header, less one byte.
  EXPECT_EQ(d.slice_bytes,
            (Entries{14, 24, 34, uint32_t(slice1a - picture1 - 1), uint32_t(slice1b - slice1a)}));
  EXPECT_EQ(d.frame_first_slice, (Entries{0, 3, 5}));
  EXPECT_EQ(std::tuple(d.slice_codes_seen, d.max_slices_per_frame), std::tuple(6, 3));
  const auto gop0 = uint32_t(s.end() - 1 - group);
  EXPECT_EQ(d.gop_bytes, Entries{gop0});
  EXPECT_EQ(d.gop_first_frame, (Entries{0, 1}));
  EXPECT_EQ(std::tuple(d.open_gop, d.bytes_scanned, file_signals_), std::tuple(1, s.end() - 3, 2));

  // Calls past the end record empty frames and close empty GOPs, filtered ones too.
  store_.set_filters(false, false, true);
  measure(kPPicture);
  measure(kBPicture);
  measure(kPPicture);
  d = data();
  EXPECT_EQ(d.frame_bytes, (Entries{uint32_t(picture1 - picture0), frame1, 0, 0}));
  EXPECT_EQ(d.frame_types, (Entries{1, 2, 2, 2}));
  EXPECT_EQ(d.gop_bytes, (Entries{gop0, 0, 0, 0}));
  EXPECT_EQ(d.gop_first_frame, (Entries{0, 1, 2, 3, 3}));
  EXPECT_EQ(std::tuple(d.bytes_scanned, file_signals_), std::tuple(s.end() - 3, 5));
  EXPECT_TRUE(messages_.box_text.empty());
}

// I P B B P B (two slices each) in one GOP, then an I picture in a second GOP.
const std::vector<int32_t> kFilterTypes{1, 2, 3, 3, 2, 3, 1};

class FilterTest : public ScannerTest, public ::testing::WithParamInterface<int32_t> {};

TEST_P(FilterTest, FilteredFramesLeaveBytesInTheGopAndSlicesToTheNextFrame) {
  StreamBuilder s;
  s.code(kSequenceHeader, 6);
  s.code(kGroup, 3);
  for (size_t i = 0; i < kFilterTypes.size(); ++i) {
    if (i == 6) s.code(kGroup, 2);
    s.code(kPicture, 4 + i);
    s.code(0x01, 10 + 3 * i);
    s.code(0x02, 20 + 7 * i);
  }
  const StoreData all = run(s.bytes, kFilterTypes);
  const int32_t filtered_type = GetParam();
  store_.set_filters(filtered_type == 1, filtered_type == 2, filtered_type == 3);
  const StoreData kept = run(s.bytes, kFilterTypes);

  EXPECT_EQ(kept.gop_bytes, all.gop_bytes);
  EXPECT_EQ(kept.slice_bytes, all.slice_bytes);
  EXPECT_EQ(kept.bytes_scanned, all.bytes_scanned);
  EXPECT_EQ(kept.bytes_scanned, s.end() - 3);
  size_t f = 0;
  for (size_t u = 0; u < kFilterTypes.size(); ++u) {
    if (kFilterTypes[u] == filtered_type) continue;
    ASSERT_LT(f, kept.frame_bytes.size());
    EXPECT_EQ(kept.frame_bytes[f], all.frame_bytes[u]);
    EXPECT_EQ(kept.frame_types[f], all.frame_types[u]);
    // The entries of filtered frames before it fall into this frame's range.
    EXPECT_EQ(kept.frame_first_slice[f + 1], all.frame_first_slice[u + 1]);
    ++f;
  }
  EXPECT_EQ(kept.last_frame + 1, int32_t(f));
  EXPECT_EQ(kept.open_gop, all.open_gop);
}

INSTANTIATE_TEST_SUITE_P(EachType, FilterTest, ::testing::Values(1, 2, 3));

TEST_F(ScannerTest, ShortFilesMeasureNothing) {
  for (size_t size = 0; size < 5; ++size) {
    const StoreData d = run(Bytes(size, 0), {kIPicture});
    EXPECT_EQ(d.bytes_scanned, size > 3 ? size - 3 : 0);
    EXPECT_EQ(d.frame_bytes, Entries{0});
    EXPECT_EQ(d.gop_bytes, Entries{0});
  }
}

TEST_F(ScannerTest, ReadErrorIsShownOnceAndEndsTheCallAsAtEndOfFile) {
  StreamBuilder s;
  s.code(kSequenceHeader);
  s.code(kGroup);
  const size_t picture = s.code(kPicture, 40);
  s.code(kPicture, 40);
  const size_t good = picture + 20;
  FailingInput input(s.bytes, good);
  open(input);
  measure(kNoPicture);
  EXPECT_TRUE(messages_.box_text.empty());
  measure(kIPicture);
  EXPECT_EQ(messages_.box_text, kReadError);
  measure(kPPicture);
  measure(kBPicture);
  EXPECT_EQ(messages_.box_text, kReadError);
  const StoreData d = data();
  EXPECT_EQ(d.frame_bytes, (Entries{uint32_t(good - 1 - picture), 0, 0}));
  EXPECT_EQ(d.gop_bytes, (Entries{uint32_t(good - 8), 0, 0}));
  EXPECT_EQ(d.bytes_scanned, good - 3);

  // A failure while priming is shown by the measuring call.
  messages_.box_text.clear();
  FailingInput priming(s.bytes, 1);
  open(priming);
  EXPECT_TRUE(messages_.box_text.empty());
  measure(kNoPicture);
  EXPECT_EQ(messages_.box_text, kReadError);
  EXPECT_EQ(data().bytes_scanned, 0u);
}

TEST_F(ScannerTest, TwentyFivePicturesInGopsOfTwelveWithEachChartMode) {
  StreamBuilder s;  // one slice per picture, sequence end code at the end
  s.code(kSequenceHeader, 8);
  for (size_t p = 0; p < 25; ++p) {
    if (p % 12 == 0) s.code(kGroup, 4);
    s.code(kPicture, 2000 + p);
    s.code(0x01, 2000);
  }
  s.code(kSequenceEnd);
  for (const int32_t automatic : {0, 1}) {
    store_.update([automatic](StoreData& d) {
      d.frame_chart.auto_scale = d.gop_chart.auto_scale = d.slice_chart.auto_scale = automatic;
      d.max_gop_bytes = d.max_slice_bytes = 7;
      d.max_frames_per_gop = 0;
    });
    store_.frame_max_changed = 0;
    store_.gop_max_changed = 0;
    const StoreData d = run(s.bytes, std::vector<int32_t>(25, kPPicture));
    EXPECT_EQ(d.gop_first_frame, (Entries{0, 11, 23, 24}));
    const uint32_t largest_gop = *std::max_element(d.gop_bytes.begin(), d.gop_bytes.end());
    const uint32_t largest_frame = *std::max_element(d.frame_bytes.begin(), d.frame_bytes.end());
    EXPECT_EQ(d.max_frame_bytes, automatic ? int32_t(largest_frame) : 0);
    EXPECT_EQ(d.max_gop_bytes, automatic ? int32_t(largest_gop) : 7);
    EXPECT_EQ(d.max_slice_bytes, automatic ? 2000 + 24 + 3 : 7);
    EXPECT_EQ(store_.frame_max_changed.exchange(0), automatic);
    EXPECT_EQ(store_.gop_max_changed.exchange(0), automatic);
    // These two have no mode.
    EXPECT_EQ(d.max_frames_per_gop, 12);
    EXPECT_EQ(d.max_slices_per_frame, 1);
  }
}

// ---------------------------------------------------------------------------------------------
// System streams.

TEST_F(ScannerTest, SystemStreamPayloadEndingInAPrefixMakesNoPicture) {
  test::SystemStreamBuilder stream;
  StreamBuilder v1;
  v1.code(kSequenceHeader, 8);
  v1.code(kGroup, 3);
  const size_t picture0 = v1.code(kPicture, 6);
  v1.code(0x01, 10);
  v1.bytes.insert(v1.bytes.end(), {0x00, 0x00, 0x01});  // the code's last byte comes later
  stream.pack().video_packet(v1.bytes);
  const size_t picture0_at = stream.bytes().size() - v1.bytes.size() + picture0;
  stream.pack();  // raw bytes: 00 00 01 | 00 00 01 BA, a false picture code
  add_other_packet(stream, kAudio, {0x00, 0x00, 0x01, 0xB8, 0x00, 0x00, 0x01, 0x00, 0x01});
  StreamBuilder v2{{0xB2, 0x55, 0x55, 0x55, 0x55, 0x55}};
  const size_t picture1 = v2.code(kPicture, 6);
  v2.code(kSequenceEnd);
  stream.video_packet(v2.bytes, 2, true, TimeStamps::kPts);
  const size_t picture1_at = stream.bytes().size() - v2.bytes.size() + picture1;
  const Bytes& file = stream.end().bytes();

  // The raw bytes alone do show the false code.
  EXPECT_NE(run(file, {kIPicture}).frame_bytes[0], picture1_at - picture0_at);

  open(file, true);
  measure(kNoPicture);
  EXPECT_EQ(data().bytes_scanned, picture0_at - 2);
  measure(kIPicture);
  EXPECT_EQ(data().frame_bytes, Entries{uint32_t(picture1_at - picture0_at)});
  measure(kPPicture);
  const StoreData d = data();
  EXPECT_EQ(d.frame_bytes[1], file.size() - 1 - picture1_at);
  EXPECT_EQ(d.bytes_scanned, file.size() - 3);
  EXPECT_EQ(d.slice_codes_seen, 1);
  EXPECT_EQ(d.open_gop, 1);  // the codes in the audio packet are not video
}

// ---------------------------------------------------------------------------------------------
// The fast scanner against the byte-at-a-time reference.

// Bytes rich in start-code prefixes: every measured code, the near misses, runs of zeros.
Bytes rich_bytes(size_t n, std::mt19937& rng) {
  Bytes out;
  static constexpr uint8_t kCodes[] = {0x00, 0x00, 0x00, 0xB8, 0xB8, 0x01, 0x02, 0x90,
                                       0xAF, 0xB0, 0xB3, 0xB5, 0xB7, 0xBA, 0xE0, 0xFF};
  while (out.size() < n) {
    const uint32_t pick = rng() % 100;
    if (pick < 12) {
      out.insert(out.end(), {0x00, 0x00, 0x01, kCodes[rng() % std::size(kCodes)]});
    } else if (pick < 18) {
      out.insert(out.end(), 2 + rng() % 4, 0x00);
    } else if (pick < 30) {
      out.push_back(uint8_t(rng() % 2));
    } else {
      const size_t run = 1 + rng() % (pick < 35 ? 2000 : 60);
      for (size_t i = 0; i < run; ++i) out.push_back(uint8_t(rng()));
    }
  }
  out.resize(n);
  return out;
}

// A system stream of packs carrying `video` in packets of random sizes, among padding, audio
// and system header packets with rich bytes; sometimes an end code with bytes after it, or a
// broken layer.
Bytes make_system_stream(const Bytes& video, std::mt19937& rng) {
  test::SystemStreamBuilder stream;
  const bool tiny_packets = rng() % 3 == 0;
  size_t taken = 0;
  while (taken < video.size()) {
    if (rng() % 3 == 0) stream.pack();
    if (rng() % 8 == 0) {
      const Bytes body = rich_bytes(rng() % 40, rng);
      add_other_packet(stream, rng() % 2 ? kSystemHeader : kPadding, body);
    }
    if (rng() % 4 == 0) add_other_packet(stream, kAudio, rich_bytes(rng() % 300, rng));
    const size_t size = std::min(video.size() - taken, size_t(rng() % (tiny_packets ? 9 : 3000)));
    const auto payload = std::span(video).subspan(taken, size);
    stream.video_packet(payload, int(rng() % 3), rng() % 2, TimeStamps(rng() % 3));
    taken += size;
    if (rng() % 400 == 0) stream.raw(Bytes{0x00, 0x00, 0x01, 0x42});  // a broken layer
  }
  if (rng() % 2) stream.end().raw(rich_bytes(rng() % 500, rng));
  return stream.bytes();
}

// Measures files with both scanners, through changing types, filters and chart modes, with
// calls past the end, and compares after every call.
void compare_with_reference(uint32_t seed, bool system_stream) {
  std::mt19937 rng(seed);
  AnalysisStore fast;
  CollectedMessages messages;
  StartCodeScanner scanner(fast, messages);
  int fast_signals = 0;
  fast.set_gop_closed_callback([&] { ++fast_signals; });
  ReferenceScanner reference;

  for (int file_number = 0; file_number < 2; ++file_number) {
    const Bytes video = rich_bytes(rng() % (rng() % 4 == 0 ? 300000 : 20000), rng);
    const Bytes file = system_stream ? make_system_stream(video, rng) : video;
    const auto configure = [&](StoreData& d) {
      d.filter_i = rng() % 4 == 0;
      d.filter_p = rng() % 4 == 0;
      d.filter_b = rng() % 4 == 0;
      d.frame_chart.auto_scale = rng() % 5 != 0;
      d.gop_chart.auto_scale = rng() % 5 != 0;
      d.slice_chart.auto_scale = rng() % 5 != 0;
      d.max_slice_bytes = int32_t(rng() % 600);
      d.scan_reset_pending = 1;
    };
    const std::mt19937 config_rng = rng;
    fast.update(configure);
    rng = config_rng;
    reference.store.update(configure);

    // Whole blocks, or reads so short that every block end splits a pattern somewhere.
    test::ChunkedInput input(file, rng() % 2 ? file.size() + 1 : 1 + rng() % 300);
    scanner.attach(&input);
    reference.attach(file, system_stream);
    scanner.measure_picture();
    reference.measure_picture(0);
    scanner.set_container(system_stream ? Container::kSystem : Container::kElementary);

    const uint64_t scanned_at_end = file.size() > 3 ? file.size() - 3 : 0;
    for (int calls_after_end = 0; calls_after_end < 3;) {
      const uint32_t pick = rng() % 20;
      const int32_t type = pick == 0 ? 0 : (pick == 1 ? 6 : int32_t(1 + pick % 3));
      if (rng() % 50 == 0) {
        const bool filter_b = rng() % 2;
        fast.update([filter_b](StoreData& d) { d.filter_b = filter_b; });
        reference.store.update([filter_b](StoreData& d) { d.filter_b = filter_b; });
      }
      fast.current_picture_type = type;
      scanner.measure_picture();
      reference.measure_picture(type);
      const auto counters = fast.read([](const StoreData& d) { return counters_of(d); });
      ASSERT_EQ(counters, reference.store.read([](const StoreData& d) { return counters_of(d); }));
      EXPECT_EQ(fast.frame_max_changed.exchange(0), reference.store.frame_max_changed.exchange(0));
      EXPECT_EQ(fast.gop_max_changed.exchange(0), reference.store.gop_max_changed.exchange(0));
      if (std::get<4>(counters) == scanned_at_end) ++calls_after_end;
    }
    const StoreData a = fast.snapshot();
    const StoreData b = reference.store.snapshot();
    EXPECT_EQ(std::tie(a.frame_bytes, a.frame_types, a.frame_first_slice, a.slice_bytes,
                       a.gop_bytes, a.gop_first_frame),
              std::tie(b.frame_bytes, b.frame_types, b.frame_first_slice, b.slice_bytes,
                       b.gop_bytes, b.gop_first_frame));
    EXPECT_EQ(fast_signals, reference.gop_signals);
    EXPECT_EQ(a.bytes_scanned, scanned_at_end);
  }
  EXPECT_TRUE(messages.box_text.empty());
}

TEST(ScannerAgainstReference, ElementaryAndSystemStreams) {
  for (const bool system_stream : {false, true}) {
    for (uint32_t seed = 1; seed <= 60; ++seed) {
      SCOPED_TRACE(testing::Message() << "seed " << seed << " system " << system_stream);
      compare_with_reference(seed + (system_stream ? 1000 : 0), system_stream);
      if (testing::Test::HasFatalFailure()) return;
    }
  }
}

}  // namespace
}  // namespace tavik
