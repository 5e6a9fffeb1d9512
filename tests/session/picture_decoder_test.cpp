#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "support/flat_picture_writer.h"
#include "support/header_writer.h"
#include "support/session_recorder.h"

namespace tavik::test {
namespace {

using field_writer::BitWriter;
namespace hw = header_writer;

constexpr int kI = 1;
constexpr int kP = 2;
constexpr int kD = 4;

using MacroblockSamples = std::function<FlatMacroblock(int, int)>;

// Distinct samples for every macroblock position, different per picture (`seed`).
MacroblockSamples pattern(int seed) {
  return [seed](int column, int row) {
    return FlatMacroblock{16 + (seed * 37 + column * 11 + row * 53) % 220,
                          16 + (seed * 23 + column * 7 + row * 29) % 220,
                          16 + (seed * 41 + column * 13 + row * 17) % 220};
  };
}

// An MPEG-1 stream: the sequence header and a GOP, then whatever `pictures` writes, then the
// sequence end code.
std::vector<uint8_t> mpeg1_stream(int width, int height,
                                  const std::function<void(BitWriter&)>& pictures) {
  BitWriter w;
  hw::sequence_header(w, width, height);
  hw::group_of_pictures(w);
  pictures(w);
  hw::sequence_end(w);
  return w.bytes();
}

void whole_picture(BitWriter& w, int type, int temporal_reference, int columns, int rows,
                   const MacroblockSamples& mb) {
  hw::picture_header(w,
                     {.temporal_reference = temporal_reference, .type = type, .forward_f_code = 1});
  flat_rows(w, type, columns, 0, rows, mb);
}

// Every sample of every macroblock of a 4:2:0 frame equals the expected flat macroblock's.
void expect_frame(const RecordedFrame& frame, int columns, int rows,
                  const MacroblockSamples& expected, const std::string& where) {
  ASSERT_EQ(frame.geometry.mb_columns, columns) << where;
  ASSERT_EQ(frame.geometry.mb_rows, rows) << where;
  for (int row = 0; row < rows; ++row) {
    for (int column = 0; column < columns; ++column) {
      const FlatMacroblock mb = expected(column, row);
      const int values[3] = {mb.y, mb.cb, mb.cr};
      int mismatches = 0;
      for (int plane = 0; plane < 3; ++plane) {
        const int size = plane == 0 ? 16 : 8;
        for (int i = 0; i < size * size; ++i) {
          mismatches +=
              frame.sample(plane, column * size + i % size, row * size + i / size) != values[plane];
        }
      }
      EXPECT_EQ(mismatches, 0) << where << " macroblock " << column << "," << row;
    }
  }
}

// The picture layer's notices (standard output) and warnings (standard error).
void expect_messages(const RecordedSession& run, const std::string& out, const std::string& err) {
  EXPECT_EQ(run.messages.out_text, out);
  EXPECT_EQ(run.messages.err_text, err);
}

// ---------------------------------------------------------------------------------------------
// Pictures whose slices leave macroblocks out. Three intra pictures: the third is decoded into
// the frame set that held the first, so whatever it leaves out shows the first picture.

struct CoverageCase {
  const char* name;
  int columns;
  int rows;
  // Writes the slices of the third picture, whose samples are `third`.
  std::function<void(BitWriter&, const MacroblockSamples& third)> slices;
  // The macroblocks the third picture shows; the others show the first.
  std::function<bool(int column, int row)> shows_third;
  const char* out;
  const char* err;
};

constexpr int kColumns = 4;
constexpr int kRows = 3;
constexpr int kWideColumns = 22;  // more than 33 macroblocks to a row pair: escapes
constexpr int kWideRows = 4;

const CoverageCase kCoverageCases[] = {
    {"partial", kColumns, kRows,
     [](BitWriter& w, const MacroblockSamples& third) { flat_rows(w, kI, kColumns, 0, 1, third); },
     [](int, int row) { return row == 0; }, "Premature end of picture\n", ""},
    // The last slice reaches the last macroblock: the picture is complete.
    {"row 1 skipped", kColumns, kRows,
     [](BitWriter& w, const MacroblockSamples& third) {
       flat_rows(w, kI, kColumns, 0, 1, third);
       flat_rows(w, kI, kColumns, 2, 1, third);
     },
     [](int, int row) { return row != 1; }, "", ""},
    {"first increment starts at column 2", kColumns, kRows,
     [](BitWriter& w, const MacroblockSamples& third) {
       FlatSlice slice(w, kI, 1);
       slice.macroblock(3, third(2, 0));
       slice.macroblock(1, third(3, 0));
       flat_rows(w, kI, kColumns, 1, 2, third);
     },
     [](int column, int row) { return row > 0 || column >= 2; }, "", ""},
    {"one slice over every row", kColumns, kRows,
     [](BitWriter& w, const MacroblockSamples& third) {
       FlatSlice slice(w, kI, 1);
       for (int a = 0; a < kColumns * kRows; ++a)
         slice.macroblock(1, third(a % kColumns, a / kColumns));
     },
     [](int, int) { return true; }, "", ""},
    // The rest of the slice is passed over: it would write other samples into columns 2, 3.
    {"corrupt macroblock_type", kColumns, kRows,
     [](BitWriter& w, const MacroblockSamples& third) {
       FlatSlice slice(w, kI, 1);
       slice.macroblock(1, third(0, 0));
       slice.increment(1);
       w.put(0b00, 2);  // no macroblock_type of an I picture begins with 00
       for (int column = 2; column < kColumns; ++column) slice.macroblock(1, pattern(9)(column, 0));
       flat_rows(w, kI, kColumns, 1, 2, third);
     },
     [](int column, int row) { return row > 0 || column == 0; }, "",
     "Invalid macroblock_type code\n"},
    {"extra macroblock", kColumns, kRows,
     [](BitWriter& w, const MacroblockSamples& third) {
       flat_rows(w, kI, kColumns, 0, kRows - 1, third);
       FlatSlice slice(w, kI, kRows);
       for (int column = 0; column < kColumns; ++column)
         slice.macroblock(1, third(column, kRows - 1));
       slice.macroblock(1, {255, 0, 255});
     },
     [](int, int) { return true; }, "Too many macroblocks in picture\n", ""},
    {"slice below the picture", kColumns, kRows,
     [](BitWriter& w, const MacroblockSamples& third) {
       flat_rows(w, kI, kColumns, 0, kRows - 1, third);
       flat_rows(w, kI, kColumns, kRows, 1, [](int, int) { return FlatMacroblock{255, 0, 255}; });
     },
     [](int, int row) { return row < kRows - 1; }, "Too many macroblocks in picture\n", ""},
    // macroblock_escape adds 33 each: two escapes and "1" give increment 67, row 3, column 0.
    {"escaped first increment", kWideColumns, kWideRows,
     [](BitWriter& w, const MacroblockSamples& third) {
       FlatSlice slice(w, kI, 1);
       slice.macroblock(67, third(0, 3));
       for (int a = 67; a < kWideColumns * kWideRows; ++a) {
         slice.macroblock(1, third(a % kWideColumns, a / kWideColumns));
       }
     },
     [](int, int row) { return row == 3; }, "", ""},
};

TEST(PictureCoverage, LeftOutMacroblocksKeepThePreviousContents) {
  for (const CoverageCase& c : kCoverageCases) {
    SCOPED_TRACE(c.name);
    const MacroblockSamples first = pattern(1);
    const MacroblockSamples third = pattern(3);
    RecordedSession run;
    run.open(mpeg1_stream(16 * c.columns, 16 * c.rows, [&](BitWriter& w) {
      whole_picture(w, kI, 0, c.columns, c.rows, first);
      whole_picture(w, kI, 1, c.columns, c.rows, pattern(2));
      hw::picture_header(w, {.temporal_reference = 2, .type = kI});
      c.slices(w, third);
    }));
    EXPECT_EQ(run.run(), 3);
    ASSERT_EQ(run.recorder.frames.size(), 3u);
    expect_frame(
        run.recorder.frames[2], c.columns, c.rows,
        [&](int column, int row) {
          return c.shows_third(column, row) ? third(column, row) : first(column, row);
        },
        c.name);
    expect_messages(run, c.out, c.err);
  }
}

// In mid-slice, escapes and stuffing (which adds nothing) skip macroblocks of a P picture.
TEST(AddressIncrement, EscapesAndStuffingInMidSliceSkipMacroblocksOfAPPicture) {
  const MacroblockSamples reference = pattern(1);
  const MacroblockSamples coded = pattern(5);
  const int last = kWideColumns * kWideRows;
  RecordedSession run;
  run.open(mpeg1_stream(16 * kWideColumns, 16 * kWideRows, [&](BitWriter& w) {
    whole_picture(w, kI, 0, kWideColumns, kWideRows, reference);
    hw::picture_header(w, {.temporal_reference = 1, .type = kP, .forward_f_code = 1});
    FlatSlice slice(w, kP, 1);
    slice.macroblock(1, coded(0, 0));
    w.put(field_writer::VlcCode{0b00000001111, 11});  // macroblock_stuffing
    slice.macroblock(67, coded(67 % kWideColumns, 67 / kWideColumns));
    for (int address = 68; address < last; ++address) {
      if (address == 80) w.put(field_writer::VlcCode{0b00000001111, 11});
      slice.macroblock(1, coded(address % kWideColumns, address / kWideColumns));
    }
  }));
  EXPECT_EQ(run.run(), 2);
  expect_messages(run, "", "");
  ASSERT_EQ(run.recorder.frames.size(), 2u);
  expect_frame(run.recorder.frames[0], kWideColumns, kWideRows, reference, "I");
  // Macroblocks 1 to 66 are skipped: copied from the reference with a zero vector.
  expect_frame(
      run.recorder.frames[1], kWideColumns, kWideRows,
      [&](int column, int row) {
        const int address = row * kWideColumns + column;
        return address >= 1 && address < 67 ? reference(column, row) : coded(column, row);
      },
      "P");
}

// ---------------------------------------------------------------------------------------------
// Interlaced frame pictures: the second field of the frame shown last is due half-way through
// the next picture, when the macroblock address reaches half the picture.

std::vector<uint8_t> interlaced_intra_stream(const std::vector<int>& macroblocks_per_picture) {
  constexpr int kSize = 64;
  constexpr int kMbColumns = kSize / 16;
  BitWriter w;
  hw::sequence_header(w, kSize, kSize);
  hw::sequence_extension(w, {.progressive_sequence = 0});
  hw::group_of_pictures(w);
  int temporal_reference = 0;
  for (const int macroblocks : macroblocks_per_picture) {
    flat_mpeg2_frame_picture_header(w, temporal_reference);
    const MacroblockSamples mb = pattern(temporal_reference++);
    for (int row = 0; row * kMbColumns < macroblocks; ++row) {
      FlatSlice slice(w, kI, row + 1);
      for (int column = 0; column < kMbColumns && row * kMbColumns + column < macroblocks;
           ++column) {
        slice.macroblock(1, mb(column, row));
      }
    }
  }
  hw::sequence_end(w);
  return w.bytes();
}

TEST(SecondField, ShownWhenTheAddressReachesHalfThePicture) {
  // 16 macroblocks a picture: the second picture stops exactly at half, the third one short of
  // it.
  RecordedSession run;
  run.open(interlaced_intra_stream({16, 8, 7, 16}));
  EXPECT_EQ(run.run(), 4);
  EXPECT_EQ(run.messages.out_text, "Premature end of picture\nPremature end of picture\n");
  using enum SessionEvent;
  const std::vector<SessionEvent> expected = {kPicture, kFrame, kPicture, kFrame, kPicture,
                                              kPicture, kFrame, kPicture, kFrame, kPicture};
  EXPECT_EQ(run.recorder.events, expected);
  EXPECT_EQ(run.recorder.image_steps, (std::vector<int>{2, 2, 3, 4, 4, 5}));
  ASSERT_EQ(run.recorder.frames.size(), 4u);
  expect_frame(run.recorder.frames[0], 4, 4, pattern(0), "first");
}

// ---------------------------------------------------------------------------------------------
// D pictures (ISO/IEC 11172-2 2.4.2.7): DC coefficients only, then end_of_macroblock.

// The second picture takes every dct_dc_size from 0 to 8, both signs: the samples swing from 0
// to 255 and back.
TEST(DPictures, DecodeTheDcOnlySyntax) {
  constexpr int kMbs = 3;
  const MacroblockSamples swing = [](int column, int row) {
    const int levels[] = {0, 255, 1, 254, 128, 129, 127, 64, 200};
    const int i = row * kMbs + column;
    return FlatMacroblock{levels[i], levels[(i + 4) % 9], levels[(i + 7) % 9]};
  };
  RecordedSession run;
  run.open(mpeg1_stream(16 * kMbs, 16 * kMbs, [&](BitWriter& w) {
    hw::picture_header(w, {.temporal_reference = 0, .type = kD});
    flat_rows(w, kD, kMbs, 0, kMbs, pattern(4));
    hw::picture_header(w, {.temporal_reference = 1, .type = kD});
    FlatSlice slice(w, kD, 1);
    for (int a = 0; a < kMbs * kMbs; ++a) slice.macroblock(1, swing(a % kMbs, a / kMbs));
  }));
  EXPECT_EQ(run.run(), 2);
  expect_messages(run, "", "");
  ASSERT_EQ(run.recorder.frames.size(), 2u);
  expect_frame(run.recorder.frames[0], kMbs, kMbs, pattern(4), "first D picture");
  expect_frame(run.recorder.frames[1], kMbs, kMbs, swing, "second D picture");
}

}  // namespace
}  // namespace tavik::test
