#include <gtest/gtest.h>

#include <algorithm>
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

// Every sample of macroblock (column, row) of a 4:2:0 frame equals the flat macroblock's.
void expect_macroblock(const RecordedFrame& frame, int column, int row, FlatMacroblock mb,
                       const std::string& where) {
  const int values[3] = {mb.y, mb.cb, mb.cr};
  int mismatches[3] = {0, 0, 0};
  for (int plane = 0; plane < 3; ++plane) {
    const int size = plane == 0 ? 16 : 8;
    for (int y = 0; y < size; ++y) {
      for (int x = 0; x < size; ++x) {
        if (frame.sample(plane, column * size + x, row * size + y) != values[plane]) {
          ++mismatches[plane];
        }
      }
    }
  }
  EXPECT_EQ(mismatches[0], 0) << where << " macroblock " << column << "," << row << " Y "
                              << frame.sample(0, column * 16, row * 16) << " want " << mb.y;
  EXPECT_EQ(mismatches[1], 0) << where << " macroblock " << column << "," << row << " Cb";
  EXPECT_EQ(mismatches[2], 0) << where << " macroblock " << column << "," << row << " Cr";
}

// The expected frame, macroblock by macroblock.
void expect_frame(const RecordedFrame& frame, int columns, int rows,
                  const MacroblockSamples& expected, const std::string& where) {
  ASSERT_EQ(frame.geometry.mb_columns, columns) << where;
  ASSERT_EQ(frame.geometry.mb_rows, rows) << where;
  for (int row = 0; row < rows; ++row) {
    for (int column = 0; column < columns; ++column) {
      expect_macroblock(frame, column, row, expected(column, row), where);
    }
  }
}

// The picture layer's notices (standard output) and warnings (standard error).
void expect_messages(const RecordedSession& run, const std::string& out, const std::string& err) {
  EXPECT_EQ(run.messages.out_text, out);
  EXPECT_EQ(run.messages.err_text, err);
}

int count(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// ---------------------------------------------------------------------------------------------
// Pictures whose slices leave macroblocks out. Three intra pictures: the third is decoded into
// the frame set that held the first, so whatever it leaves out shows the first picture.

constexpr int kColumns = 4;
constexpr int kRows = 3;

struct Coverage {
  explicit Coverage(int mb_columns = kColumns, int mb_rows = kRows)
      : columns(mb_columns), rows(mb_rows) {}

  int columns;
  int rows;
  RecordedSession run;
  MacroblockSamples first = pattern(1);
  MacroblockSamples third = pattern(3);

  // Decodes the two whole pictures and the third as `third_slices` writes it; returns the
  // third frame.
  const RecordedFrame& decode(const std::function<void(BitWriter&)>& third_slices) {
    run.open(mpeg1_stream(16 * columns, 16 * rows, [&](BitWriter& w) {
      whole_picture(w, kI, 0, columns, rows, first);
      whole_picture(w, kI, 1, columns, rows, pattern(2));
      hw::picture_header(w, {.temporal_reference = 2, .type = kI});
      third_slices(w);
    }));
    EXPECT_EQ(run.run(), 3);
    if (run.recorder.frames.size() != 3) {
      ADD_FAILURE() << run.recorder.frames.size() << " frames";
      run.recorder.frames.resize(3);
    }
    return run.recorder.frames[2];
  }
};

TEST(PictureCoverage, MissingMacroblocksKeepThePreviousContents) {
  Coverage c;
  const RecordedFrame& frame =
      c.decode([&](BitWriter& w) { flat_rows(w, kI, kColumns, 0, 1, c.third); });
  expect_frame(
      frame, kColumns, kRows,
      [&](int column, int row) { return row == 0 ? c.third(column, row) : c.first(column, row); },
      "partial");
  expect_messages(c.run, "Premature end of picture\n", "");
}

TEST(PictureCoverage, SlicesThatSkipRowsLeaveThemUntouched) {
  Coverage c;
  const RecordedFrame& frame = c.decode([&](BitWriter& w) {
    flat_rows(w, kI, kColumns, 0, 1, c.third);
    flat_rows(w, kI, kColumns, 2, 1, c.third);
  });
  expect_frame(
      frame, kColumns, kRows,
      [&](int column, int row) { return row == 1 ? c.first(column, row) : c.third(column, row); },
      "row 1 skipped");
  // The last slice reaches the last macroblock: the picture is complete.
  expect_messages(c.run, "", "");
}

TEST(PictureCoverage, FirstIncrementOfASliceStartsAtThatColumn) {
  Coverage c;
  const RecordedFrame& frame = c.decode([&](BitWriter& w) {
    FlatSlice slice(w, kI, 1);
    slice.macroblock(3, c.third(2, 0));
    slice.macroblock(1, c.third(3, 0));
    flat_rows(w, kI, kColumns, 1, 2, c.third);
  });
  expect_frame(
      frame, kColumns, kRows,
      [&](int column, int row) {
        return row == 0 && column < 2 ? c.first(column, row) : c.third(column, row);
      },
      "slice from column 2");
  expect_messages(c.run, "", "");
}

TEST(PictureCoverage, SliceMayContinueOnTheNextRow) {
  Coverage c;
  const RecordedFrame& frame = c.decode([&](BitWriter& w) {
    FlatSlice slice(w, kI, 1);
    for (int address = 0; address < kColumns * kRows; ++address) {
      slice.macroblock(1, c.third(address % kColumns, address / kColumns));
    }
  });
  expect_frame(frame, kColumns, kRows, c.third, "one slice");
  expect_messages(c.run, "", "");
}

TEST(PictureCoverage, CorruptMacroblockTypeSkipsTheRestOfTheSliceOnly) {
  Coverage undamaged;
  const RecordedFrame& reference = undamaged.decode(
      [&](BitWriter& w) { flat_rows(w, kI, kColumns, 0, kRows, undamaged.third); });
  expect_messages(undamaged.run, "", "");

  Coverage c;
  const RecordedFrame& frame = c.decode([&](BitWriter& w) {
    FlatSlice slice(w, kI, 1);
    slice.macroblock(1, c.third(0, 0));
    slice.increment(1);
    w.put(0b00, 2);  // no macroblock_type of an I picture begins with 00
    // The rest of the slice is passed over: it would write other samples into columns 2, 3.
    for (int column = 2; column < kColumns; ++column) slice.macroblock(1, pattern(9)(column, 0));
    flat_rows(w, kI, kColumns, 1, 2, c.third);
  });
  expect_messages(c.run, "", "Invalid macroblock_type code\n");
  expect_frame(
      frame, kColumns, kRows,
      [&](int column, int row) {
        return row == 0 && column >= 1 ? c.first(column, row) : c.third(column, row);
      },
      "damaged");
  // From the next slice on, the picture is what the undamaged stream gives.
  for (int plane = 0; plane < 3; ++plane) {
    const size_t row_1 = plane == 0 ? size_t(16 * kColumns) * 16 : size_t(8 * kColumns) * 8;
    ASSERT_GT(reference.planes[plane].size(), row_1);
    ASSERT_EQ(reference.planes[plane].size(), frame.planes[plane].size());
    EXPECT_TRUE(std::equal(reference.planes[plane].begin() + std::ptrdiff_t(row_1),
                           reference.planes[plane].end(),
                           frame.planes[plane].begin() + std::ptrdiff_t(row_1)))
        << "plane " << plane;
  }
}

TEST(PictureCoverage, MacroblocksBeyondThePictureAreRefused) {
  Coverage extra_macroblock;
  const RecordedFrame& frame = extra_macroblock.decode([&](BitWriter& w) {
    flat_rows(w, kI, kColumns, 0, kRows - 1, extra_macroblock.third);
    FlatSlice slice(w, kI, kRows);
    for (int column = 0; column <= kColumns; ++column) {
      slice.macroblock(1, column < kColumns ? extra_macroblock.third(column, kRows - 1)
                                            : FlatMacroblock{255, 0, 255});
    }
  });
  expect_frame(frame, kColumns, kRows, extra_macroblock.third, "extra macroblock");
  expect_messages(extra_macroblock.run, "Too many macroblocks in picture\n", "");

  Coverage slice_below;
  const RecordedFrame& below = slice_below.decode([&](BitWriter& w) {
    flat_rows(w, kI, kColumns, 0, kRows - 1, slice_below.third);
    flat_rows(w, kI, kColumns, kRows, 1, [](int, int) { return FlatMacroblock{255, 0, 255}; });
  });
  expect_frame(
      below, kColumns, kRows,
      [&](int column, int row) {
        return row < kRows - 1 ? slice_below.third(column, row) : slice_below.first(column, row);
      },
      "slice below the picture");
  expect_messages(slice_below.run, "Too many macroblocks in picture\n", "");
}

// ---------------------------------------------------------------------------------------------
// macroblock_address_increment beyond 33: macroblock_escape adds 33 each, stuffing adds nothing.

constexpr int kWideColumns = 22;
constexpr int kWideRows = 4;

TEST(AddressIncrement, EscapesInTheFirstIncrementOfASlice) {
  Coverage c(kWideColumns, kWideRows);
  const int start = 66;  // two escapes and "1": increment 67, row 3, column 0
  const RecordedFrame& frame = c.decode([&](BitWriter& w) {
    FlatSlice slice(w, kI, 1);
    slice.macroblock(start + 1, c.third(0, 3));
    for (int address = start + 1; address < kWideColumns * kWideRows; ++address) {
      slice.macroblock(1, c.third(address % kWideColumns, address / kWideColumns));
    }
  });
  expect_frame(
      frame, kWideColumns, kWideRows,
      [&](int column, int row) { return row < 3 ? c.first(column, row) : c.third(column, row); },
      "escaped start");
  expect_messages(c.run, "", "");
}

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
    for (int address = 0; address < macroblocks; ++address) {
      if (address % kMbColumns == 0) {
        FlatSlice slice(w, kI, address / kMbColumns + 1);
        for (int column = 0; column < kMbColumns && address + column < macroblocks; ++column) {
          slice.macroblock(1, mb(column, address / kMbColumns));
        }
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
  EXPECT_EQ(count(run.messages.out_text, "Premature end of picture\n"), 2);
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

TEST(DPictures, DecodeTheDcOnlySyntax) {
  constexpr int kSize = 48;
  constexpr int kMbs = kSize / 16;
  RecordedSession run;
  run.open(mpeg1_stream(kSize, kSize, [&](BitWriter& w) {
    for (int picture = 0; picture < 2; ++picture) {
      hw::picture_header(w, {.temporal_reference = picture, .type = kD});
      flat_rows(w, kD, kMbs, 0, kMbs, pattern(4 + picture));
    }
  }));
  EXPECT_EQ(run.run(), 2);
  expect_messages(run, "", "");
  ASSERT_EQ(run.recorder.frames.size(), 2u);
  expect_frame(run.recorder.frames[0], kMbs, kMbs, pattern(4), "first D picture");
  expect_frame(run.recorder.frames[1], kMbs, kMbs, pattern(5), "second D picture");
}

TEST(DPictures, ExtremeDcDifferences) {
  // Every dct_dc_size from 0 to 8, both signs: the samples swing from 0 to 255 and back.
  constexpr int kMbs = 3;
  const MacroblockSamples swing = [](int column, int row) {
    const int levels[] = {0, 255, 1, 254, 128, 129, 127, 64, 200};
    const int i = row * kMbs + column;
    return FlatMacroblock{levels[i], levels[(i + 4) % 9], levels[(i + 7) % 9]};
  };
  RecordedSession run;
  run.open(mpeg1_stream(16 * kMbs, 16 * kMbs, [&](BitWriter& w) {
    hw::picture_header(w, {.type = kD});
    FlatSlice slice(w, kD, 1);
    for (int address = 0; address < kMbs * kMbs; ++address) {
      slice.macroblock(1, swing(address % kMbs, address / kMbs));
    }
  }));
  EXPECT_EQ(run.run(), 1);
  EXPECT_EQ(run.messages.err_text, "");
  ASSERT_EQ(run.recorder.frames.size(), 1u);
  expect_frame(run.recorder.frames[0], kMbs, kMbs, swing, "D picture");
}

}  // namespace
}  // namespace tavik::test
