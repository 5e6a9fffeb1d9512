#include "decoder/syntax/stream_info.h"

#include <gtest/gtest.h>

namespace tavik {
namespace {

struct PictureCase {
  int progressive_sequence;
  int picture_structure;
  int top_field_first;
  int repeat_first_field;
  int progressive_frame;
  int64_t fields;  // shown
  int64_t top_first, bottom_first;
};

// Display time in fields and field order, picture by picture (ISO/IEC 13818-2 6.3.10).
TEST(StreamInfo, FieldsShownAndFieldOrder) {
  const PictureCase cases[] = {
      {1, 3, 0, 0, 1, 2, 0, 0},  // progressive sequence: once
      {1, 3, 0, 1, 1, 4, 0, 0},  // twice
      {1, 3, 1, 1, 1, 6, 0, 0},  // three times
      {0, 3, 1, 0, 0, 2, 1, 0},  // interlaced frame, top first
      {0, 3, 0, 1, 1, 3, 0, 0},  // progressive frame, first field repeated (3:2 pull-down)
      {0, 3, 0, 0, 0, 2, 0, 1}, {0, 2, 0, 0, 0, 1, 0, 1},  // a bottom field first, then its pair
  };
  for (const PictureCase& c : cases) {
    StreamInfo info;
    info.sequence_header_read();
    info.current.mpeg2 = 1;
    info.current.progressive_sequence = c.progressive_sequence;
    DecodingVariables vars;
    vars.picture_structure = c.picture_structure;
    vars.top_field_first = c.top_field_first;
    vars.repeat_first_field = c.repeat_first_field;
    vars.progressive_frame = c.progressive_frame;
    info.picture_header_read();
    info.picture_coding_extension_read(vars);
    if (c.picture_structure != 3) {
      vars.picture_structure = 3 - c.picture_structure;
      info.picture_header_read();
      info.picture_coding_extension_read(vars);
    }
    const int64_t pictures = c.picture_structure == 3 ? 1 : 2;
    EXPECT_EQ(info.fields, c.fields * pictures) << c.picture_structure << c.repeat_first_field;
    EXPECT_EQ(info.top_field_first, c.top_first);
    EXPECT_EQ(info.bottom_field_first, c.bottom_first);
  }
}

TEST(StreamInfo, SequencesGopsAndMpeg1Pictures) {
  StreamInfo info;
  info.sequence_header_read();
  info.group_read(true);
  info.picture_header_read();
  info.sequence_header_read();  // repeated within the sequence
  info.group_read(false);
  info.picture_header_read();
  info.sequence_end_read();
  info.sequence_header_read();
  EXPECT_EQ(info.sequences, 2);
  EXPECT_EQ(info.closed_gops, 1);
  EXPECT_EQ(info.open_gops, 1);
  EXPECT_EQ(info.pictures, 2);
  EXPECT_EQ(info.fields, 4);
}

}  // namespace
}  // namespace tavik
