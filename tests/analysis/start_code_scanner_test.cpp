#include "analysis/start_code_scanner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <random>
#include <span>
#include <tuple>
#include <utility>
#include <vector>

#include "support/chunked_input.h"
#include "support/stream_tools.h"
#include "support/system_stream_builder.h"

namespace tavik {
namespace {

using Bytes = std::vector<uint8_t>;
using Entries = std::vector<uint32_t>;

constexpr uint8_t kPicture = 0x00;
constexpr uint8_t kSequenceHeader = 0xB3;
constexpr uint8_t kSequenceEnd = 0xB7;
constexpr uint8_t kGroup = 0xB8;
constexpr uint8_t kSystemHeader = 0xBB;
constexpr uint8_t kPadding = 0xBE;
constexpr uint8_t kAudio = 0xC0;
constexpr char kReadError[] = "No se puede leer del fichero";

// Builds a byte sequence and tells where each start code ends (the position of its last byte).
struct StreamBuilder {
  Bytes bytes;

  size_t code(uint8_t value) {
    bytes.insert(bytes.end(), {0x00, 0x00, 0x01, value});
    return bytes.size() - 1;
  }
  void fill(size_t n) { bytes.insert(bytes.end(), n, 0x55); }
  void add(std::initializer_list<uint8_t> values) { bytes.insert(bytes.end(), values); }
  [[nodiscard]] size_t end() const { return bytes.size(); }
};

// A packet of a stream other than video stream 0, with the given bytes.
void add_other_packet(test::SystemStreamBuilder& stream, uint8_t stream_id, const Bytes& body) {
  stream.raw(Bytes{0x00, 0x00, 0x01, stream_id, uint8_t(body.size() >> 8), uint8_t(body.size())});
  stream.raw(body);
}

// File position of byte `index` of the payload of the video packet just added.
size_t payload_position(const test::SystemStreamBuilder& stream, const Bytes& payload,
                        size_t index) {
  return stream.bytes().size() - payload.size() + index;
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
    store.update([&](StoreData& data) {
      if (data.scan_reset_pending != 0) {
        reset(data);
      } else {
        measure(data, type);
      }
    });
  }

  AnalysisStore store;
  int gop_signals = 0;

 private:
  void reset(StoreData& data) {
    data.bytes_scanned = 0;
    data.gop_accum = 0;
    data.max_frame_bytes = 0;
    data.last_frame = -1;
    data.open_gop = -1;
    data.slice_count = 0;
    data.max_slices_per_frame = 0;
    data.slice_codes_seen = 0;
    data.scan_reset_pending = 0;
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
    if ((type == 1 && data.filter_i) || (type == 2 && data.filter_p) ||
        (type == 3 && data.filter_b)) {
      return;
    }
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

auto counters(const AnalysisStore& store) {
  return store.read([](const StoreData& d) { return counters_of(d); });
}

void expect_same(const AnalysisStore& fast, const AnalysisStore& reference) {
  const StoreData a = fast.snapshot();
  const StoreData b = reference.snapshot();
  EXPECT_EQ(counters_of(a), counters_of(b));
  EXPECT_EQ(a.frame_bytes, b.frame_bytes);
  EXPECT_EQ(a.frame_types, b.frame_types);
  EXPECT_EQ(a.frame_first_slice, b.frame_first_slice);
  EXPECT_EQ(a.slice_bytes, b.slice_bytes);
  EXPECT_EQ(a.gop_bytes, b.gop_bytes);
  EXPECT_EQ(a.gop_first_frame, b.gop_first_frame);
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
      ++gop_signals_;
      ++file_signals_;
    });
  }

  void open(ByteInput& input, bool system_stream = false) {
    scanner_.attach(&input);
    file_signals_ = 0;
    store_.update([](StoreData& data) { data.scan_reset_pending = 1; });
    scanner_.measure_picture();
    scanner_.set_system_stream(system_stream);
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
  void set(void (*change)(StoreData&)) { store_.update(change); }
  [[nodiscard]] StoreData data() const { return store_.snapshot(); }

  AnalysisStore store_;
  CollectedMessages messages_;
  StartCodeScanner scanner_{store_, messages_};
  int gop_signals_ = 0;
  int file_signals_ = 0;  // GOPs closed since the last open
  Bytes file_;
  std::unique_ptr<MemoryInput> input_;
};

// ---------------------------------------------------------------------------------------------
// Boundaries in an elementary stream.

TEST_F(ScannerTest, CountsPicturesGroupsAndSlicesBetweenTheirLastBytes) {
  StreamBuilder s;
  s.code(kSequenceHeader);
  s.fill(8);
  const size_t group = s.code(kGroup);
  s.fill(4);
  const size_t picture0 = s.code(kPicture);
  s.fill(4);
  s.code(0x01);
  s.fill(10);
  const size_t slice0b = s.code(0x02);
  s.fill(20);
  const size_t slice0c = s.code(0x03);
  s.fill(30);
  const size_t slice0d = s.code(0x04);
  s.fill(7);
  const size_t picture1 = s.code(kPicture);
  s.fill(4);
  const size_t slice1a = s.code(0x01);
  s.fill(10);
  const size_t slice1b = s.code(0x02);
  s.fill(5);
  s.code(kSequenceEnd);
  open(s.bytes);
  set([](StoreData& d) { d.max_slice_bytes = 0; });

  EXPECT_EQ(data().bytes_scanned, 0u);
  measure(0);  // up to the first picture: opens GOP 0, records nothing
  StoreData d = data();
  EXPECT_EQ(d.last_frame, -1);
  EXPECT_EQ(d.open_gop, 0);
  EXPECT_EQ(d.bytes_scanned, picture0 - 2);
  EXPECT_EQ(d.gop_accum, picture0 - group);
  EXPECT_EQ(d.max_frame_bytes, int32_t(picture0 - 2));
  EXPECT_TRUE(d.gop_bytes.empty());
  EXPECT_EQ(gop_signals_, 1);

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
  EXPECT_EQ(d.frame_bytes,
            (Entries{uint32_t(picture1 - picture0), uint32_t(s.end() - 1 - picture1)}));
  EXPECT_EQ(d.frame_types, (Entries{1, 2}));
  // A later frame's first entry is its header, less one byte.
  EXPECT_EQ(d.slice_bytes,
            (Entries{14, 24, 34, uint32_t(slice1a - picture1 - 1), uint32_t(slice1b - slice1a)}));
  EXPECT_EQ(d.frame_first_slice, (Entries{0, 3, 5}));
  EXPECT_EQ(d.max_slices_per_frame, 3);
  EXPECT_EQ(d.gop_bytes, Entries{uint32_t(s.end() - 1 - group)});
  EXPECT_EQ(d.gop_first_frame, (Entries{0, 1}));
  EXPECT_EQ(d.open_gop, 1);
  EXPECT_EQ(d.bytes_scanned, s.end() - 3);
  EXPECT_EQ(gop_signals_, 2);
}

TEST_F(ScannerTest, SliceCodesAreZeroOneToAfOnly) {
  StreamBuilder s;
  s.code(kSequenceHeader);
  s.fill(3);
  s.code(kPicture);
  s.fill(3);
  s.code(0x01);
  s.fill(2);
  const size_t tall = s.code(0x90);  // a slice row of a very tall picture
  s.fill(2);
  for (int code = 0xB0; code <= 0xFF; ++code) {
    if (code == kGroup) continue;
    s.code(uint8_t(code));
    s.fill(1);
  }
  const size_t last = s.code(0xAF);
  s.fill(2);
  open(s.bytes);
  measure(0);
  measure(kIPicture);
  const StoreData d = data();
  EXPECT_EQ(d.slice_codes_seen, 3);
  EXPECT_EQ(d.slice_bytes, (Entries{6, uint32_t(last - tall)}));
  EXPECT_EQ(d.open_gop, 0);
  EXPECT_EQ(d.last_frame, 0);
}

TEST_F(ScannerTest, PatternsStraddlingBlockEndsAreFound) {
  // Codes ending on every position around the end of the first 64 KiB read.
  for (size_t shift = 0; shift < 8; ++shift) {
    StreamBuilder s;
    s.code(kSequenceHeader);
    s.fill((1 << 16) - 12 + shift);
    const size_t picture0 = s.code(kPicture);
    s.fill(5);
    const size_t slice_a = s.code(0x01);
    s.fill((1 << 16) - 12);
    const size_t slice_b = s.code(0x02);
    s.fill(2);
    const size_t picture1 = s.code(kPicture);
    s.fill(3);
    open(s.bytes);
    measure(0);
    EXPECT_EQ(data().bytes_scanned, picture0 - 2) << shift;
    measure(kIPicture);
    measure(kPPicture);
    const StoreData d = data();
    EXPECT_EQ(d.frame_bytes, (Entries{uint32_t(picture1 - picture0), 3})) << shift;
    EXPECT_EQ(d.slice_bytes, Entries{uint32_t(slice_b - slice_a)}) << shift;
  }
}

// ---------------------------------------------------------------------------------------------
// Frame-type filters.

// I P B B P B (two slices each) in one GOP, then an I picture in a second GOP.
struct FilterStream {
  Bytes bytes;
  std::vector<int32_t> types{1, 2, 3, 3, 2, 3, 1};
  FilterStream() {
    StreamBuilder s;
    s.code(kSequenceHeader);
    s.fill(6);
    s.code(kGroup);
    s.fill(3);
    for (size_t i = 0; i < types.size(); ++i) {
      if (i == 6) {
        s.code(kGroup);
        s.fill(2);
      }
      s.code(kPicture);
      s.fill(4 + i);
      s.code(0x01);
      s.fill(10 + 3 * i);
      s.code(0x02);
      s.fill(20 + 7 * i);
    }
    bytes = std::move(s.bytes);
  }
};

class FilterTest : public ScannerTest, public ::testing::WithParamInterface<int32_t> {};

TEST_P(FilterTest, FilteredFramesLeaveBytesInTheGopAndSlicesToTheNextFrame) {
  const FilterStream stream;
  const auto run = [&](int32_t filtered_type) {
    store_.set_filters(filtered_type == 1, filtered_type == 2, filtered_type == 3);
    open(stream.bytes);
    measure(0);
    for (int32_t type : stream.types) measure(type);
    return data();
  };
  const StoreData all = run(0);
  const int32_t filtered_type = GetParam();
  const StoreData kept = run(filtered_type);

  EXPECT_EQ(kept.gop_bytes, all.gop_bytes);
  EXPECT_EQ(kept.slice_bytes, all.slice_bytes);
  EXPECT_EQ(kept.bytes_scanned, all.bytes_scanned);
  EXPECT_EQ(kept.bytes_scanned, stream.bytes.size() - 3);
  size_t f = 0;
  for (size_t u = 0; u < stream.types.size(); ++u) {
    if (stream.types[u] == filtered_type) continue;
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

// ---------------------------------------------------------------------------------------------
// End of file.

TEST_F(ScannerTest, EndOfFileClosesTheGopAndLaterCallsRecordEmptyFrames) {
  StreamBuilder s;
  s.code(kSequenceHeader);
  s.fill(2);
  const size_t group = s.code(kGroup);
  s.fill(2);
  const size_t picture = s.code(kPicture);
  s.fill(3);
  s.code(0x01);
  s.fill(9);  // no sequence end code
  open(s.bytes);
  measure(0);
  measure(kIPicture);
  StoreData d = data();
  EXPECT_EQ(d.frame_bytes, Entries{uint32_t(s.end() - 1 - picture)});
  EXPECT_EQ(d.gop_bytes, Entries{uint32_t(s.end() - 1 - group)});
  EXPECT_EQ(d.bytes_scanned, s.end() - 3);

  store_.set_filters(false, false, true);
  measure(kPPicture);
  measure(kBPicture);  // filtered: the GOP still closes
  measure(kPPicture);
  d = data();
  EXPECT_EQ(d.frame_bytes, (Entries{uint32_t(s.end() - 1 - picture), 0, 0}));
  EXPECT_EQ(d.frame_types, (Entries{1, 2, 2}));
  EXPECT_EQ(d.gop_bytes, (Entries{uint32_t(s.end() - 1 - group), 0, 0, 0}));
  EXPECT_EQ(d.gop_first_frame, (Entries{0, 0, 1, 2, 2}));
  EXPECT_EQ(d.bytes_scanned, s.end() - 3);
  EXPECT_EQ(gop_signals_, 5);
  EXPECT_TRUE(messages_.box_text.empty());
}

TEST_F(ScannerTest, StreamWithoutGroupCodesRecordsNoGop) {
  StreamBuilder s;
  s.code(kSequenceHeader);
  s.code(kPicture);
  s.fill(5);
  s.code(kPicture);
  s.fill(5);
  open(s.bytes);
  measure(0);
  EXPECT_EQ(data().open_gop, -1);
  measure(kIPicture);
  measure(kPPicture);
  const StoreData d = data();
  EXPECT_EQ(d.open_gop, 0);
  EXPECT_TRUE(d.gop_bytes.empty());
  EXPECT_EQ(d.last_frame, 1);
}

TEST_F(ScannerTest, ShortFilesMeasureNothing) {
  for (size_t size = 0; size < 5; ++size) {
    open(Bytes(size, 0));
    measure(0);
    measure(kIPicture);
    const StoreData d = data();
    EXPECT_EQ(d.bytes_scanned, size > 3 ? size - 3 : 0);
    EXPECT_EQ(d.frame_bytes, Entries{0});
    EXPECT_EQ(d.gop_bytes, Entries{0});
  }
}

TEST_F(ScannerTest, ReadErrorIsShownOnceAndEndsTheCallAsAtEndOfFile) {
  StreamBuilder s;
  s.code(kSequenceHeader);
  s.code(kGroup);
  const size_t picture = s.code(kPicture);
  s.fill(40);
  s.code(kPicture);
  s.fill(40);
  const size_t good = picture + 20;
  FailingInput input(s.bytes, good);
  open(input);
  measure(0);
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
}

TEST_F(ScannerTest, ReadErrorWhilePrimingIsShownByTheMeasuringCall) {
  const Bytes bytes{0x00, 0x00, 0x01, kSequenceHeader};
  FailingInput input(bytes, 1);
  open(input);
  EXPECT_TRUE(messages_.box_text.empty());
  measure(0);
  measure(kIPicture);
  EXPECT_EQ(messages_.box_text, kReadError);
  EXPECT_EQ(data().bytes_scanned, 0u);
}

// ---------------------------------------------------------------------------------------------
// Whole streams and sessions.

// 25 pictures (I B B P ...) in GOPs of 12, sequence end code at the end.
Bytes twenty_five_pictures(size_t picture_fill) {
  StreamBuilder s;
  s.code(kSequenceHeader);
  s.fill(8);
  for (int p = 0; p < 25; ++p) {
    if (p % 12 == 0) {
      s.code(kGroup);
      s.fill(4);
    }
    s.code(kPicture);
    s.fill(picture_fill + size_t(p));
    s.code(0x01);
    s.fill(picture_fill);
  }
  s.code(kSequenceEnd);
  return s.bytes;
}

int32_t type_of(int picture) {
  return picture % 12 == 0 ? 1 : (picture % 3 == 0 ? 2 : 3);
}

TEST_F(ScannerTest, TwentyFivePicturesInGopsOfTwelve) {
  open(twenty_five_pictures(50));
  measure(0);
  for (int p = 0; p < 25; ++p) measure(type_of(p));
  const StoreData d = data();
  EXPECT_EQ(d.last_frame, 24);
  EXPECT_EQ(d.open_gop, 3);
  EXPECT_EQ(d.gop_first_frame, (Entries{0, 11, 23, 24}));
  EXPECT_EQ(d.max_frames_per_gop, 12);
  EXPECT_EQ(d.slice_count, 24);
  EXPECT_EQ(gop_signals_, 4);
}

TEST_F(ScannerTest, SecondFileKeepsTheLongLivedMaxima) {
  open(twenty_five_pictures(600));
  measure(0);
  for (int p = 0; p < 25; ++p) measure(type_of(p));
  const StoreData first = data();
  EXPECT_GT(first.max_gop_bytes, 1000);
  EXPECT_GT(first.max_slice_bytes, 500);
  EXPECT_EQ(first.max_slices_per_frame, 1);

  StreamBuilder s;
  s.code(kSequenceHeader);
  s.code(kGroup);
  s.code(kPicture);
  s.fill(30);
  s.code(kPicture);
  s.fill(20);
  open(s.bytes);
  const StoreData reset = data();
  EXPECT_EQ(reset.max_frame_bytes, 0);
  EXPECT_EQ(reset.max_slices_per_frame, 0);
  EXPECT_EQ(reset.last_frame, -1);
  EXPECT_EQ(reset.open_gop, -1);
  EXPECT_EQ(reset.slice_count, 0);
  EXPECT_EQ(reset.max_gop_bytes, first.max_gop_bytes);
  EXPECT_EQ(reset.max_slice_bytes, first.max_slice_bytes);
  EXPECT_EQ(reset.max_frames_per_gop, first.max_frames_per_gop);
  measure(0);
  measure(kIPicture);
  measure(kPPicture);
  const StoreData second = data();
  EXPECT_EQ(second.max_frame_bytes, 34);
  EXPECT_EQ(second.max_gop_bytes, first.max_gop_bytes);
  EXPECT_EQ(second.max_frames_per_gop, first.max_frames_per_gop);
  EXPECT_EQ(second.frame_bytes, (Entries{34, 20}));
}

TEST_F(ScannerTest, AutomaticOffLeavesTheChartMaximaAlone) {
  const Bytes bytes = twenty_five_pictures(2000);
  for (const int32_t automatic : {0, 1}) {
    store_.update([automatic](StoreData& d) {
      d.frame_chart.auto_scale = d.gop_chart.auto_scale = d.slice_chart.auto_scale = automatic;
      d.max_gop_bytes = 7;
      d.max_slice_bytes = 7;
      d.max_frames_per_gop = 0;
    });
    store_.frame_max_changed = 0;
    store_.gop_max_changed = 0;
    open(bytes);
    measure(0);
    for (int p = 0; p < 25; ++p) measure(type_of(p));
    const StoreData d = data();
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
  stream.pack();
  StreamBuilder v1;
  v1.code(kSequenceHeader);
  v1.fill(8);
  v1.code(kGroup);
  v1.fill(3);
  const size_t picture0 = v1.code(kPicture);
  v1.fill(6);
  v1.code(0x01);
  v1.fill(10);
  v1.add({0x00, 0x00, 0x01});  // the user data code's last byte is in the next packet
  stream.video_packet(v1.bytes);
  const size_t picture0_at = payload_position(stream, v1.bytes, picture0);
  stream.pack();  // raw bytes: 00 00 01 | 00 00 01 BA, a false picture code
  StreamBuilder v2;
  v2.add({0xB2});
  v2.fill(5);
  const size_t picture1 = v2.code(kPicture);
  v2.fill(6);
  v2.code(kSequenceEnd);
  stream.video_packet(v2.bytes, 2, true, test::SystemStreamBuilder::TimeStamps::kPts);
  const size_t picture1_at = payload_position(stream, v2.bytes, picture1);
  stream.end();
  const Bytes& file = stream.bytes();

  // The raw bytes alone do show the false code.
  open(file, false);
  measure(0);
  measure(kIPicture);
  EXPECT_NE(data().frame_bytes[0], picture1_at - picture0_at);

  open(file, true);
  measure(0);
  EXPECT_EQ(data().bytes_scanned, picture0_at - 2);
  measure(kIPicture);
  EXPECT_EQ(data().frame_bytes, Entries{uint32_t(picture1_at - picture0_at)});
  measure(kPPicture);
  const StoreData d = data();
  EXPECT_EQ(d.frame_bytes[1], file.size() - 1 - picture1_at);
  EXPECT_EQ(d.bytes_scanned, file.size() - 3);
  EXPECT_EQ(d.slice_codes_seen, 1);
}

TEST_F(ScannerTest, SystemStreamPictureCodeSplitAcrossPacketsIsFoundAtItsLastByte) {
  test::SystemStreamBuilder stream;
  stream.pack();
  StreamBuilder v1;
  v1.code(kSequenceHeader);
  v1.fill(8);
  const size_t picture0 = v1.code(kPicture);
  v1.fill(12);
  v1.add({0x00, 0x00});
  stream.video_packet(v1.bytes);
  const size_t picture0_at = payload_position(stream, v1.bytes, picture0);
  stream.other_packet(kPadding, 9, 0xFF);
  stream.pack();
  add_other_packet(stream, kAudio, Bytes{0x00, 0x00, 0x01, 0x00, 0x00, 0x01, 0xB8, 0x00});
  const Bytes v2{0x01, 0x00, 0x55, 0x55, 0x55};
  stream.video_packet(v2, 0, false, test::SystemStreamBuilder::TimeStamps::kPtsDts);
  const size_t picture1_at = payload_position(stream, v2, 1);
  const Bytes& file = stream.bytes();

  open(file, true);
  measure(0);
  measure(kIPicture);
  StoreData d = data();
  EXPECT_EQ(d.frame_bytes, Entries{uint32_t(picture1_at - picture0_at)});
  EXPECT_EQ(d.open_gop, -1);  // the group code in the audio packet is not video
  measure(kPPicture);         // no end code: the file's end ends the video
  d = data();
  EXPECT_EQ(d.frame_bytes[1], file.size() - 1 - picture1_at);
  EXPECT_EQ(d.bytes_scanned, file.size() - 3);
}

TEST_F(ScannerTest, SystemStreamBytesAfterTheEndCodeAreCountedButNotSearched) {
  test::SystemStreamBuilder stream;
  stream.pack();
  StreamBuilder v;
  v.code(kSequenceHeader);
  const size_t picture = v.code(kPicture);
  v.fill(4);
  stream.video_packet(v.bytes);
  const size_t picture_at = payload_position(stream, v.bytes, picture);
  stream.end();
  StreamBuilder tail;
  tail.code(kGroup);
  tail.code(kPicture);
  tail.code(0x01);
  stream.raw(tail.bytes);
  const Bytes& file = stream.bytes();

  open(file, true);
  measure(0);
  measure(kIPicture);
  const StoreData d = data();
  EXPECT_EQ(d.frame_bytes, Entries{uint32_t(file.size() - 1 - picture_at)});
  EXPECT_EQ(d.open_gop, 0);
  EXPECT_EQ(d.slice_codes_seen, 0);
  EXPECT_EQ(d.bytes_scanned, file.size() - 3);
}

// A real system stream (video and audio packets interleaved) yields the same pictures, GOPs and
// slices as its video stream taken out whole; the file is read through FileInput.
TEST(ScannerOnRealStreams, SystemStreamMatchesItsVideoStream) {
  const auto system_path = test::make_ffmpeg_stream(
      "scanner_av.mpg", "-c:v mpeg1video -q:v 4 -g 12 -bf 2 -c:a mp2 -f mpeg",
      "-f lavfi -i testsrc2=size=176x144:rate=25 -f lavfi -i sine=frequency=440 -t 3");
  const auto video_path = test::make_ffmpeg_stream("scanner_v.m1v", "-c:v copy -an -f mpeg1video",
                                                   "-i '" + system_path.string() + "'");
  const auto scan = [](const std::filesystem::path& path, bool system_stream) {
    AnalysisStore store;
    CollectedMessages messages;
    StartCodeScanner scanner(store, messages);
    auto input = FileInput::open(path.string());
    EXPECT_NE(input, nullptr) << path;
    scanner.attach(input.get());
    store.update([](StoreData& d) { d.scan_reset_pending = 1; });
    scanner.measure_picture();
    scanner.set_system_stream(system_stream);
    const uint64_t size = std::filesystem::file_size(path);
    for (int call = 0; store.snapshot().bytes_scanned + 3 < size; ++call) {
      store.current_picture_type = call == 0 ? kNoPicture : kPPicture;
      scanner.measure_picture();
    }
    EXPECT_TRUE(messages.box_text.empty());
    return store.snapshot();
  };
  const StoreData system = scan(system_path, true);
  const StoreData video = scan(video_path, false);
  EXPECT_EQ(system.bytes_scanned, std::filesystem::file_size(system_path) - 3);
  EXPECT_EQ(system.last_frame, 74);
  EXPECT_EQ(system.last_frame, video.last_frame);
  EXPECT_EQ(system.open_gop, video.open_gop);
  EXPECT_EQ(system.slice_count, video.slice_count);
  EXPECT_EQ(system.max_frames_per_gop, video.max_frames_per_gop);
}

// ---------------------------------------------------------------------------------------------
// The fast scanner against the byte-at-a-time reference.

// Bytes rich in start-code prefixes: every measured code, the near misses, runs of zeros.
void add_rich_bytes(Bytes& out, size_t n, std::mt19937& rng) {
  static constexpr uint8_t kCodes[] = {0x00, 0x00, 0x00, 0xB8, 0xB8, 0x01, 0x02, 0x90,
                                       0xAF, 0xB0, 0xB3, 0xB5, 0xB7, 0xBA, 0xE0, 0xFF};
  const size_t end = out.size() + n;
  while (out.size() < end) {
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
  out.resize(end);
}

// A system stream of packs carrying `video` in packets of random sizes, among padding, audio
// and system header packets with rich bytes; sometimes an end code with bytes after it, or a
// broken layer.
Bytes make_system_stream(const Bytes& video, std::mt19937& rng) {
  using TimeStamps = test::SystemStreamBuilder::TimeStamps;
  test::SystemStreamBuilder stream;
  const bool tiny_packets = rng() % 3 == 0;
  size_t taken = 0;
  while (taken < video.size()) {
    if (rng() % 3 == 0) stream.pack();
    if (rng() % 8 == 0) {
      Bytes body;
      add_rich_bytes(body, rng() % 40, rng);
      add_other_packet(stream, rng() % 2 ? kSystemHeader : kPadding, body);
    }
    if (rng() % 4 == 0) {
      Bytes audio;
      add_rich_bytes(audio, rng() % 300, rng);
      add_other_packet(stream, kAudio, audio);
    }
    const size_t size = std::min(video.size() - taken, size_t(rng() % (tiny_packets ? 9 : 3000)));
    const auto payload = std::span(video).subspan(taken, size);
    stream.video_packet(payload, int(rng() % 3), rng() % 2, TimeStamps(rng() % 3));
    taken += size;
    if (rng() % 400 == 0) stream.raw(Bytes{0x00, 0x00, 0x01, 0x42});  // a broken layer
  }
  if (rng() % 2) {
    Bytes after_end;
    add_rich_bytes(after_end, rng() % 500, rng);
    stream.end().raw(after_end);
  }
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
    Bytes video;
    add_rich_bytes(video, rng() % (rng() % 4 == 0 ? 300000 : 20000), rng);
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

    std::unique_ptr<ByteInput> input;
    if (rng() % 2) {
      input = std::make_unique<MemoryInput>(file);
    } else {
      input = std::make_unique<test::ChunkedInput>(file, 1 + rng() % 300);
    }
    scanner.attach(input.get());
    reference.attach(file, system_stream);
    scanner.measure_picture();
    reference.measure_picture(0);
    scanner.set_system_stream(system_stream);

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
      const auto a = counters(fast);
      ASSERT_EQ(a, counters(reference.store));
      EXPECT_EQ(fast.frame_max_changed.exchange(0), reference.store.frame_max_changed.exchange(0));
      EXPECT_EQ(fast.gop_max_changed.exchange(0), reference.store.gop_max_changed.exchange(0));
      if (std::get<4>(a) == scanned_at_end) ++calls_after_end;
    }
    expect_same(fast, reference.store);
    EXPECT_EQ(fast_signals, reference.gop_signals);
    EXPECT_EQ(fast.snapshot().bytes_scanned, scanned_at_end);
  }
  EXPECT_TRUE(messages.box_text.empty());
}

TEST(ScannerAgainstReference, ElementaryStreams) {
  for (uint32_t seed = 1; seed <= 60; ++seed) {
    SCOPED_TRACE(seed);
    compare_with_reference(seed, false);
    if (HasFatalFailure()) return;
  }
}

TEST(ScannerAgainstReference, SystemStreams) {
  for (uint32_t seed = 1001; seed <= 1060; ++seed) {
    SCOPED_TRACE(seed);
    compare_with_reference(seed, true);
    if (HasFatalFailure()) return;
  }
}

}  // namespace
}  // namespace tavik
