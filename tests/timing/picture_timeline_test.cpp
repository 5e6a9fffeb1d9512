#include "timing/picture_timeline.h"

#include <gtest/gtest.h>

#include <vector>

#include "timing/vbv_model.h"

namespace tavik {
namespace {

// One picture as coded: its type, repeat_first_field, top_field_first, picture_structure.
struct Coded {
  int type;
  int repeat = 0;
  int top_first = 0;
  int structure = 3;
};

struct Case {
  const char* name;
  int progressive_sequence;
  int low_delay;
  std::vector<Coded> pictures;
  std::vector<double> decode_times;
  double duration;
};

constexpr int kPictureBytes = 1000;

// A sequence at 25 frames/s, each picture kPictureBytes long, the first behind the sequence
// header. The timeline is built from the header records alone.
PictureTimeline timeline_of(const Case& c, int vbv_delay = 0xFFFF) {
  SequenceValues sequence;
  sequence.mpeg2 = true;
  sequence.frame_rate_code = 3;
  sequence.bit_rate_value = 1000;      // 400000 bit/s
  sequence.vbv_buffer_size_value = 1;  // 16384 bits
  sequence.progressive_sequence = c.progressive_sequence;
  sequence.low_delay = c.low_delay;
  PictureTimeline timeline;
  HeaderRecord h;
  h.kind = HeaderKind::kSequenceHeader;
  timeline.header_read(h, sequence);
  for (size_t i = 0; i < c.pictures.size(); ++i) {
    h = HeaderRecord{};
    h.kind = HeaderKind::kPictureHeader;
    h.bit_offset = int64_t(i * kPictureBytes + (i == 0 ? 12 : 0)) * 8;
    h.elements[elements::picture_header::kPictureCodingType].value = c.pictures[i].type;
    h.elements[elements::picture_header::kVbvDelay].value = vbv_delay;
    timeline.header_read(h, sequence);
    h = HeaderRecord{};
    h.kind = HeaderKind::kPictureCodingExtension;
    using namespace elements::picture_coding_extension;
    h.elements[kPictureStructure].value = c.pictures[i].structure;
    h.elements[kRepeatFirstField].value = c.pictures[i].repeat;
    h.elements[kTopFieldFirst].value = c.pictures[i].top_first;
    timeline.header_read(h, sequence);
  }
  timeline.stream_end(int64_t(c.pictures.size()) * kPictureBytes);
  return timeline;
}

// Decoding times in seconds; a field period is 0.02 s.
const Case kCases[] = {
    // A reference picture is decoded a display duration of the reference before it later.
    {"pulldown", 0, 0, {{1, 1}, {2, 0}, {2, 1}, {2, 0}}, {0, 0.06, 0.12, 0.16}, 0.2},
    {"b pictures", 0, 0, {{1, 0}, {2, 1}, {3, 1}, {3, 0}}, {0, 0.04, 0.08, 0.14}, 0.2},
    // Each field a field period; the second reference field takes the rest of the frame.
    {"field pictures",
     0,
     0,
     {{1, 0, 1, 1}, {2, 0, 1, 2}, {2, 0, 1, 1}, {2, 0, 1, 2}},
     {0, 0.02, 0.04, 0.06},
     0.08},
    // A progressive sequence repeats whole frames; with low delay each picture its own.
    {"progressive repeat, low delay", 1, 1, {{1, 1, 1}, {2, 0}, {2, 1}}, {0, 0.12, 0.16}, 0.24},
};

TEST(PictureTimeline, DecodingTimesFollowTheFieldsShown) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    const PictureTimeline timeline = timeline_of(c);
    ASSERT_TRUE(timeline.problem().empty());
    ASSERT_EQ(timeline.pictures().size(), c.decode_times.size());
    for (size_t i = 0; i < c.decode_times.size(); ++i) {
      EXPECT_NEAR(timeline.pictures()[i].decode_time, c.decode_times[i], 1e-12) << i;
      // The sequence header counts with the first picture.
      EXPECT_EQ(timeline.pictures()[i].es_bytes, kPictureBytes);
    }
    EXPECT_NEAR(timeline.duration(), c.duration, 1e-12);
  }
}

// Variable rate: the buffer of 16384 bits fills at 400000 bit/s, and the first picture leaves
// when it is full; 8000-bit pictures every 0.04 s fit (16000 bits come in between).
TEST(PictureTimeline, VariableRateBufferFillsWhileNotFull) {
  const VbvReport report = model_vbv(timeline_of(kCases[0]));
  ASSERT_TRUE(report.problem.empty()) << report.problem;
  EXPECT_FALSE(report.constant_rate);
  ASSERT_EQ(report.pictures.size(), 4u);
  EXPECT_NEAR(report.pictures[0].decode_time, 16384.0 / 400000, 1e-12);
  EXPECT_DOUBLE_EQ(report.pictures[0].occupancy_before, 16384);
  EXPECT_DOUBLE_EQ(report.pictures[1].occupancy_before, 16384);
  EXPECT_FALSE(report.violated());
}

// Low delay at constant rate: a picture whose data have not all arrived waits whole frame
// periods for them, and it is no underflow.
TEST(PictureTimeline, LowDelayPictureWaitsForItsData) {
  const VbvReport report = model_vbv(timeline_of(kCases[3], 0));
  ASSERT_TRUE(report.problem.empty()) << report.problem;
  // Its start code's last bit arrives at 0.00032 s, when vbv_delay 0 would decode it, its
  // 8096 bits at 0.02024 s: it waits one frame period.
  EXPECT_NEAR(report.pictures[0].decode_time, 0.00032 + 0.04, 1e-9);
  for (const VbvViolation& v : report.violations) EXPECT_EQ(v.kind, VbvKind::kVbvDelay);
}

TEST(PictureTimeline, ForbiddenFrameRateGivesNoTime) {
  PictureTimeline timeline;
  SequenceValues sequence;
  sequence.frame_rate_code = 9;
  HeaderRecord h;
  h.kind = HeaderKind::kPictureHeader;
  timeline.header_read(h, sequence);
  timeline.stream_end(100);
  EXPECT_EQ(timeline.problem(), "frame_rate_code 9 is forbidden");
  EXPECT_EQ(model_vbv(timeline).problem, "frame_rate_code 9 is forbidden");
}

}  // namespace
}  // namespace tavik
