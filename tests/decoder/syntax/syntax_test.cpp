#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/fatal_error.h"
#include "base/messages.h"
#include "decoder/syntax/decoder_state.h"
#include "decoder/syntax/header_parser.h"
#include "decoder/syntax/scan_tables.h"
#include "decoder/syntax/stream_info.h"
#include "input/byte_input.h"
#include "input/video_source.h"
#include "support/header_writer.h"

namespace tavik {
namespace {

using namespace test::header_writer;
using Matrix = std::array<int, 64>;

// Keeps what the parser reports: the picture type, as the session's store does, the stream's
// description and a copy of every record.
struct KeptEvents final : HeaderEvents {
  void header_read(const HeaderRecord& record) override {
    info.header_read(record);
    records.push_back(record);
  }
  void picture_type_read(int picture_coding_type) override { picture_type = picture_coding_type; }
  int picture_type = 0;
  StreamInfo info;
  std::vector<HeaderRecord> records;
};

// A header parser on bytes in memory.
struct ParserRig {
  explicit ParserRig(std::vector<uint8_t> stream, int verbose_level = 0, bool all_sequences = false)
      : bytes(std::move(stream)), parser(ctx, events, verbose_level, all_sequences) {
    ctx.layer.reader.reset_reader(&source);
  }

  // Reads the whole stream, passing every picture's slices.
  void read_all() {
    while (parser.read_headers() == 1) pass_slices();
  }

  BitReader& reader() { return ctx.layer.reader; }

  // Passes a picture's slices as the picture layer would.
  void pass_slices() {
    for (;;) {
      reader().next_start_code();
      if (!is_slice_start_code(reader().peek_bits(32))) return;
      reader().read_bits32();
    }
  }

  // Reads up to and including the next slice start code.
  void enter_slice() {
    reader().next_start_code();
    ASSERT_TRUE(is_slice_start_code(reader().read_bits32()));
  }

  // The four matrices: intra, chroma intra, non-intra, chroma non-intra.
  [[nodiscard]] std::array<Matrix, 4> matrices() const {
    const LayerState& l = ctx.layer;
    return {l.intra_quantiser_matrix, l.chroma_intra_quantiser_matrix, l.non_intra_quantiser_matrix,
            l.chroma_non_intra_quantiser_matrix};
  }

  std::vector<uint8_t> bytes;
  MemoryInput decoder_input{bytes};
  ElementarySource source{decoder_input};
  CollectedMessages messages;
  DecoderContext ctx{messages};
  KeptEvents events;
  HeaderParser parser;
};

Matrix default_intra() {
  Matrix m{};
  for (int i = 0; i < 64; ++i) m[i] = kDefaultIntraQuantiserMatrix[i];
  return m;
}

Matrix filled(int value) {
  Matrix m{};
  m.fill(value);
  return m;
}

// The text of the FatalError that reading the headers ends with.
std::string fatal_text(std::vector<uint8_t> bytes) {
  ParserRig rig(std::move(bytes));
  try {
    (void)rig.parser.read_headers();
  } catch (const FatalError& error) {
    return error.what();
  }
  return "no error";
}

TEST(QuantiserMatrices, DefaultsZigzagOrderAndChromaCopies) {
  const auto intra = test_matrix(10);
  const auto non_intra = test_matrix(100);
  const auto chroma_intra = test_matrix(150);
  const auto loaded = std::array{intra.raster, intra.raster, non_intra.raster, non_intra.raster};
  struct Case {
    std::vector<uint8_t> stream;
    std::array<Matrix, 4> expected;
    int mpeg2, horizontal_size, vertical_size;
  };
  std::vector<Case> cases;
  const auto add = [&](const auto& write, std::array<Matrix, 4> expected, int mpeg2, int width,
                       int height) {
    BitWriter w;
    write(w);
    sequence_end(w);
    cases.push_back({w.bytes(), expected, mpeg2, width, height});
  };
  add([](BitWriter& w) { sequence_header(w, 352, 288); },
      {default_intra(), default_intra(), filled(16), filled(16)}, 0, 352, 288);
  add([&](BitWriter& w) { sequence_header(w, 720, 576, intra, non_intra); }, loaded, 0, 720, 576);
  // A quant matrix extension copies the luminance matrices into chroma.
  add(
      [&](BitWriter& w) {
        sequence_header(w, 352, 288);
        sequence_extension(w);
        quant_matrix_extension(w, {intra, non_intra, std::nullopt, std::nullopt});
      },
      loaded, 1, 352, 288);
  // A second sequence header without extension keeps MPEG-2, drops the size extensions and
  // restores the defaults; then only the chroma intra matrix is overridden.
  add(
      [&](BitWriter& w) {
        sequence_header(w, 0x123, 0x456, intra, non_intra);
        sequence_extension(w, {.horizontal_size_extension = 1, .vertical_size_extension = 2});
        sequence_header(w, 640, 480);
        quant_matrix_extension(w, {std::nullopt, std::nullopt, chroma_intra, std::nullopt});
      },
      {default_intra(), chroma_intra.raster, filled(16), filled(16)}, 1, 640, 480);
  for (const auto& c : cases) {
    ParserRig rig(c.stream);
    LayerState& l = rig.ctx.layer;
    for (Matrix* m : {&l.intra_quantiser_matrix, &l.chroma_intra_quantiser_matrix,
                      &l.non_intra_quantiser_matrix, &l.chroma_non_intra_quantiser_matrix}) {
      m->fill(7);
    }
    EXPECT_EQ(rig.parser.read_headers(), 0);
    EXPECT_EQ(rig.matrices(), c.expected) << c.horizontal_size;
    EXPECT_EQ(rig.ctx.layer.mpeg2, c.mpeg2);
    EXPECT_EQ(rig.ctx.vars.horizontal_size, c.horizontal_size);
    EXPECT_EQ(rig.ctx.vars.vertical_size, c.vertical_size);
    EXPECT_EQ(rig.messages.err_text, "");
  }
  // The third value sent is the first coefficient of the second row.
  EXPECT_EQ(intra.raster[8], 12);
  EXPECT_EQ(intra.raster[63], 73);
}

TEST(SequenceExtension, MakesTheStreamMpeg2AndExtendsTheSizes) {
  BitWriter w;
  sequence_header(w, 0x123, 0x456);
  sequence_extension(w, {.progressive_sequence = 1,
                         .chroma_format = 2,
                         .horizontal_size_extension = 1,
                         .vertical_size_extension = 2});
  sequence_end(w);
  ParserRig rig(w.bytes());
  rig.ctx.layer.scalable_mode = kSpatialScalability;

  EXPECT_EQ(rig.parser.read_headers(), 0);
  EXPECT_EQ(rig.ctx.layer.mpeg2, 1);
  EXPECT_EQ(rig.ctx.layer.scalable_mode, kNotScalable);
  EXPECT_EQ(rig.ctx.vars.horizontal_size, 0x1123);
  EXPECT_EQ(rig.ctx.vars.vertical_size, 0x2456);
  EXPECT_EQ(rig.ctx.vars.progressive_sequence, 1);
  EXPECT_EQ(rig.ctx.vars.chroma_format, 2);
}

TEST(Extensions, ReservedIdentifiersAreReportedEvenWhenQuiet) {
  BitWriter w;
  sequence_header(w, 352, 288);
  std::string expected;
  for (const int id : {0, 4, 6, 11, 12, 13, 14, 15}) {
    extension(w, id);
    w.put(0xABCDE, 20);
    expected += "reserved extension start code ID " + std::to_string(id) + "\n";
  }
  sequence_display_extension(w, 6);
  picture_header(w, {.type = 1});
  sequence_end(w);
  ParserRig rig(w.bytes());
  rig.ctx.quiet = true;

  EXPECT_EQ(rig.parser.read_headers(), 1);
  EXPECT_EQ(rig.messages.err_text, expected);
  // Decoding went on after them.
  EXPECT_EQ(rig.ctx.vars.matrix_coefficients, 6);
  EXPECT_EQ(rig.ctx.vars.picture_coding_type, 1);
  EXPECT_EQ(rig.parser.read_headers(), 0);
}

TEST(Extensions, TemporalScalabilityIsFatal) {
  BitWriter in_sequence;
  sequence_header(in_sequence, 352, 288);
  sequence_extension(in_sequence);
  sequence_scalable_extension(in_sequence, 3);
  EXPECT_EQ(fatal_text(in_sequence.bytes()), "temporal scalability not implemented\n");

  BitWriter in_picture;
  sequence_header(in_picture, 352, 288);
  sequence_extension(in_picture);
  picture_header(in_picture, {.type = 1});
  extension(in_picture, 10);
  in_picture.put(0, 24);
  EXPECT_EQ(fatal_text(in_picture.bytes()), "temporal scalability not supported\n");
}

TEST(Extensions, ScalableModesAndSpatialFields) {
  for (const int code : {0, 1, 2}) {
    BitWriter w;
    sequence_header(w, 704, 576);
    sequence_extension(w);
    sequence_scalable_extension(w, code);
    sequence_end(w);
    ParserRig rig(w.bytes());
    EXPECT_EQ(rig.parser.read_headers(), 0);
    EXPECT_EQ(rig.ctx.layer.scalable_mode, code + 1);
    if (code != 1) continue;
    const auto& v = rig.ctx.vars;
    EXPECT_EQ(std::vector({v.lower_layer_prediction_horizontal_size,
                           v.lower_layer_prediction_vertical_size,
                           v.horizontal_subsampling_factor_m, v.horizontal_subsampling_factor_n,
                           v.vertical_subsampling_factor_m, v.vertical_subsampling_factor_n}),
              std::vector({352, 288, 1, 2, 3, 4}));
  }
}

TEST(PictureHeader, StoresTypeMotionRangesAndCodingExtension) {
  BitWriter w;
  sequence_header(w, 352, 288);
  sequence_extension(w);
  picture_header(w, {.type = 3,
                     .full_forw = 1,
                     .forward_f_code = 5,
                     .full_back = 1,
                     .backward_f_code = 2,
                     .extra_information = {0x00, 0x01, 0xB3}});
  picture_coding_extension(w, {.composite_display = true});
  picture_spatial_scalable_extension(w, 0x7FFF, 100);
  slice(w, 1);
  picture_header(w, {.type = 2, .forward_f_code = 3});
  picture_coding_extension(w, {.f_code = {9, 8, 15, 15},
                               .intra_dc_precision = 1,
                               .picture_structure = 2,
                               .top_field_first = 0,
                               .frame_pred_frame_dct = 1,
                               .concealment_motion_vectors = 0,
                               .q_scale_type = 0,
                               .intra_vlc_format = 0,
                               .alternate_scan = 0,
                               .repeat_first_field = 1,
                               .progressive_frame = 1});
  slice(w, 1);
  sequence_end(w);
  ParserRig rig(w.bytes());
  const auto& v = rig.ctx.vars;
  const auto& l = rig.ctx.layer;
  // Type, motion ranges and the picture coding extension's fields, in its order.
  const auto picture = [&] {
    return std::vector({v.picture_coding_type, rig.events.picture_type, v.forw_r_size,
                        v.forw_hor_r_size, v.forw_vert_r_size, v.back_hor_r_size,
                        v.back_vert_r_size, v.intra_dc_precision, v.picture_structure,
                        v.top_field_first, v.frame_pred_frame_dct, v.concealment_motion_vectors,
                        l.q_scale_type, v.intra_vlc_format, l.alternate_scan, v.repeat_first_field,
                        v.progressive_frame, int{l.picture_spatial_scalable}});
  };

  ASSERT_EQ(rig.parser.read_headers(), 1);
  EXPECT_EQ(picture(), std::vector({3, 3, 4, 0, 1, 2, 3, 2, 3, 1, 0, 1, 1, 1, 1, 0, 0, 1}));
  EXPECT_EQ(std::vector({v.full_forw, v.full_back, v.back_r_size}), std::vector({1, 1, 1}));
  EXPECT_EQ(
      std::vector({v.lower_layer_temporal_reference, v.lower_layer_horizontal_offset,
                   v.lower_layer_vertical_offset, v.spatial_temporal_weight_code_table_index}),
      std::vector({77, -1, 100, 2}));
  rig.pass_slices();

  ASSERT_EQ(rig.parser.read_headers(), 1);
  EXPECT_EQ(picture(), std::vector({2, 2, 2, 8, 7, 14, 14, 1, 2, 0, 1, 0, 0, 0, 0, 1, 1, 0}));
  rig.pass_slices();
  EXPECT_EQ(rig.parser.read_headers(), 0);
  EXPECT_EQ(rig.messages.err_text, "");
}

// The slice header of a one-slice picture, followed by a byte that must be read right after it.
struct SliceCase {
  bool mpeg2;
  int vertical_size;
  int q_scale_type;
  int scalable_code;  // -1: no sequence scalable extension
  bool extra_information;
  int quantiser_scale_code;
};

struct SliceResult {
  int extension;
  int quantiser_scale;
  int priority_breakpoint;
  uint32_t next_byte;
  std::string trace;
};

SliceResult read_slice(const SliceCase& c, int verbose_level = 0) {
  BitWriter w;
  sequence_header(w, 720, c.vertical_size & 0xFFF);
  if (c.mpeg2) {
    sequence_extension(w, {.vertical_size_extension = c.vertical_size >> 12});
    if (c.scalable_code >= 0) sequence_scalable_extension(w, c.scalable_code);
  }
  picture_header(w, {.type = 1});
  if (c.mpeg2) picture_coding_extension(w, {.q_scale_type = c.q_scale_type});
  w.start_code(0x07);
  if (c.mpeg2 && c.vertical_size > 2800) w.put(5, 3);
  if (c.scalable_code == 0) w.put(99, 7);
  w.put(uint32_t(c.quantiser_scale_code), 5);
  if (c.extra_information) {
    w.put(1, 1);     // extra_bit_slice
    w.put(1, 1);     // intra_slice
    w.put(0x7F, 7);  // reserved_bits
    w.put(0x1EE, 9);
    w.put(0x100, 9);
  }
  w.put(0, 1);
  w.put(0xC3, 8);
  sequence_end(w);
  ParserRig rig(w.bytes(), verbose_level);
  EXPECT_EQ(rig.parser.read_headers(), 1);
  rig.messages.out_text.clear();
  rig.enter_slice();
  SliceResult r{};
  r.extension = rig.parser.read_slice_header(kFirstSliceStartCode);
  r.quantiser_scale = rig.ctx.layer.quantiser_scale;
  r.priority_breakpoint = rig.ctx.layer.priority_breakpoint;
  r.next_byte = rig.reader().read_bits(8);
  r.trace = rig.messages.out_text;
  return r;
}

TEST(SliceHeader, ExtensionQuantiserScaleExtraInformationAndPriorityBreakpoint) {
  struct Case {
    SliceCase slice;
    int extension, quantiser_scale, priority_breakpoint;
  };
  const Case cases[] = {
      // slice_vertical_position_extension only above 2800 lines, and only in MPEG-2.
      {{true, 2800, 0, -1, false, 4}, 0, 8, 0},
      {{true, 2801, 0, -1, false, 4}, 5, 8, 0},
      {{false, 2801, 0, -1, false, 4}, 0, 4, 0},
      // The quantiser scale of each mode.
      {{false, 288, 0, -1, false, 20}, 0, 20, 0},
      {{true, 576, 0, -1, false, 20}, 0, 40, 0},
      {{true, 576, 1, -1, false, 20}, 0, 40, 0},
      {{true, 576, 1, -1, false, 9}, 0, 10, 0},
      {{true, 576, 1, -1, false, 31}, 0, 112, 0},
      {{true, 576, 0, -1, true, 3}, 0, 6, 0},
      // Data partitioning.
      {{true, 576, 0, 0, false, 3}, 0, 6, 99},
  };
  for (const auto& c : cases) {
    const auto r = read_slice(c.slice);
    SCOPED_TRACE(::testing::Message()
                 << "size " << c.slice.vertical_size << " code " << c.slice.quantiser_scale_code);
    EXPECT_EQ(r.extension, c.extension);
    EXPECT_EQ(r.quantiser_scale, c.quantiser_scale);
    if (c.priority_breakpoint != 0) {
      EXPECT_EQ(r.priority_breakpoint, c.priority_breakpoint);
    }
    EXPECT_EQ(r.next_byte, 0xC3u);
  }
}

TEST(SliceHeader, TraceOfItsFieldsAtLevelFour) {
  const SliceCase c{true, 2801, 0, 0, false, 3};
  const auto result = read_slice(c, 4);
  EXPECT_NE(result.trace.find("slice header (byte "), std::string::npos);
  EXPECT_NE(result.trace.find("  slice_vertical_position_extension=5\n"
                              "  priority_breakpoint=99\n"
                              "  quantizer_scale_code=3\n"),
            std::string::npos);
  EXPECT_EQ(read_slice(c, 3).trace.find("  quantizer_scale_code"), std::string::npos);
}

TEST(ReadHeaders, ReportsAndSkipsUnexpectedStartCodes) {
  BitWriter w;
  // Bytes before the first sequence header are passed over silently.
  for (const uint8_t byte : {0x47, 0x00, 0x01, 0x00}) w.put(byte, 8);
  sequence_header(w, 352, 288);
  slice(w, 0x01);
  slice(w, 0xAF);
  w.start_code(0xBA);
  w.put(0x1234, 16);
  w.start_code(0xB5);  // an extension out of place
  w.put(0x1F, 8);
  w.start_code(0xB2);  // user data out of place
  picture_header(w, {.type = 1});
  sequence_end(w);
  std::string expected;
  for (const char* code : {"00000101", "000001af", "000001ba", "000001b5", "000001b2"}) {
    expected += std::string("Unexpected startcode ") + code + " (ignored)\n";
  }
  for (const bool quiet : {false, true}) {
    ParserRig rig(w.bytes());
    rig.ctx.quiet = quiet;
    EXPECT_EQ(rig.parser.read_headers(), 1);
    EXPECT_EQ(rig.ctx.vars.picture_coding_type, 1);
    EXPECT_EQ(rig.messages.err_text, quiet ? "" : expected);
  }
}

TEST(ReadHeaders, TraceAtEachLevel) {
  // Every trace text with the level from which it appears.
  std::vector<std::pair<int, std::string>> lines;
  BitWriter w;
  const auto line = [&](int level, std::string text) {
    lines.emplace_back(level, std::move(text));
  };
  const auto header = [&](int level, const std::string& name) {
    line(level, name + " (byte " + std::to_string(here(w)) + ")\n");
  };

  header(1, "sequence header");
  sequence_header(w, 720, 576, test_matrix(8));
  line(2,
       "  horizontal_size=720\n  vertical_size=576\n  aspect_ratio=2\n  picture_rate=3\n"
       "  bit_rate=20000\n  vbv_buffer_size=112\n  constrained_parameters_flag=0\n"
       "  load_intra_quantizer_matrix=1\n  load_non_intra_quantizer_matrix=0\n");

  header(1, "sequence extension");
  sequence_extension(w);
  line(2,
       "  profile_and_level_indication=72\n    profile=4, level=8\n"
       "  progressive_sequence=0\n  chroma_format=1\n  horizontal_size_extension=0\n"
       "  vertical_size_extension=0\n  bit_rate_extension=7\n  vbv_buffer_size_extension=9\n"
       "  low_delay=1\n  frame_rate_extension_n=2\n  frame_rate_extension_d=5\n");

  header(1, "sequence display extension");
  sequence_display_extension(w, 1);
  line(2,
       "  video_format=5\n  colour_description=1\n    colour_primaries=1\n"
       "    transfer_characteristics=4\n    matrix_coefficients=1\n"
       "  display_horizontal_size=720\n  display_vertical_size=576\n");

  header(1, "sequence scalable extension");
  sequence_scalable_extension(w, 1);
  line(2,
       "  scalable_mode=1\n  layer_id=3\n    lower_layer_prediction_horiontal_size=352\n"
       "    lower_layer_prediction_vertical_size=288\n    horizontal_subsampling_factor_m=1\n"
       "    horizontal_subsampling_factor_n=2\n    vertical_subsampling_factor_m=3\n"
       "    vertical_subsampling_factor_n=4\n");

  header(1, "group of pictures");
  group_of_pictures(w);
  line(2, "  drop_flag=1\n  timecode 1:02:03:14\n  closed_gop=1\n  broken_link=0\n");
  line(1, "user data\n");
  w.start_code(0xB2);
  w.put(0x414243, 24);

  header(1, "picture header");
  picture_header(w, {.temporal_reference = 5, .type = 3, .full_forw = 1, .forward_f_code = 6});
  line(2,
       "  temp_ref=5\n  pict_type=3\n  vbv_delay=65535\n  full_forw=1\n  forw_r_size=6\n"
       "  full_back=0\n  back_r_size=7\n");

  header(1, "picture coding extension");
  picture_coding_extension(w, {.repeat_first_field = 1, .composite_display = true});
  line(2,
       "  forward_horizontal_f_code=1\n  forward_vertical_f_code=2\n"
       "  backward_horizontal_f_code=3\n  backward_vertical_f_code=4\n"
       "  intra_dc_precision=2\n  picture_structure=3\n  top_field_first=1\n"
       "  frame_pred_frame_dct=0\n  concealment_motion_vectors=1\n  q_scale_type=1\n"
       "  intra_vlc_format=1\n  alternate_scan=1\n  repeat_first_field=1\n"
       "  chroma_420_type=1\n  progressive_frame=0\n  composite_display_flag=1\n"
       "    v_axis=1\n    field_sequence=5\n    sub_carrier=0\n    burst_amplitude=99\n"
       "    sub_carrier_phase=200\n");

  header(1, "quant matrix extension");
  quant_matrix_extension(w, {std::nullopt, test_matrix(3), std::nullopt, std::nullopt});
  line(1,
       "  load_intra_quantiser_matrix=0\n  load_non_intra_quantiser_matrix=1\n"
       "  load_chroma_intra_quantiser_matrix=0\n  load_chroma_non_intra_quantiser_matrix=0\n");

  // Three offsets: an interlaced sequence, a frame picture with repeat_first_field.
  header(1, "picture display extension");
  picture_display_extension(w, {{-5, 7}, {300, -300}, {0, -32768}});
  line(2,
       "  frame_centre_horizontal_offset[0]=-5\n  frame_centre_vertical_offset[0]=7\n"
       "  frame_centre_horizontal_offset[1]=300\n  frame_centre_vertical_offset[1]=-300\n"
       "  frame_centre_horizontal_offset[2]=0\n  frame_centre_vertical_offset[2]=-32768\n");

  header(1, "picture spatial scalable extension");
  picture_spatial_scalable_extension(w, -20, 16383);
  line(2,
       "  lower_layer_temporal_reference=77\n  lower_layer_horizontal_offset=-20\n"
       "  lower_layer_vertical_offset=16383\n  spatial_temporal_weight_code_table_index=2\n"
       "  lower_layer_progressive_frame=1\n  lower_layer_deinterlaced_field_select=1\n");

  header(3, "slice header");
  w.start_code(0x01);
  w.put(12, 5);  // quantiser_scale_code
  w.put(0, 1);
  w.put(0x5A5A, 16);
  line(4, "  quantizer_scale_code=12\n");
  sequence_end(w);

  for (int level = 0; level <= 4; ++level) {
    std::string expected;
    for (const auto& [from, text] : lines) {
      if (level >= from) expected += text;
    }
    ParserRig rig(w.bytes(), level);
    ASSERT_EQ(rig.parser.read_headers(), 1);
    rig.enter_slice();
    EXPECT_EQ(rig.parser.read_slice_header(kFirstSliceStartCode), 0);
    rig.pass_slices();
    EXPECT_EQ(rig.parser.read_headers(), 0);
    EXPECT_EQ(rig.messages.out_text, expected) << "level " << level;
    EXPECT_EQ(rig.messages.err_text, "");
  }
}

TEST(PictureDisplayExtension, NumberOfOffsetsFollowsTheFrameStructure) {
  // progressive_sequence, picture_structure, repeat_first_field, offsets read.
  const std::array<int, 4> cases[] = {
      {0, 3, 1, 3}, {0, 3, 0, 2}, {0, 1, 1, 1}, {0, 2, 0, 1}, {1, 3, 1, 1}};
  for (const auto& [progressive, structure, repeat, offsets] : cases) {
    BitWriter w;
    sequence_header(w, 720, 576);
    sequence_extension(w, {.progressive_sequence = progressive});
    picture_header(w, {.type = 1});
    picture_coding_extension(w, {.picture_structure = structure, .repeat_first_field = repeat});
    picture_display_extension(w, {{1, 2}, {3, 4}, {5, 6}});
    sequence_end(w);
    ParserRig rig(w.bytes(), 2);
    EXPECT_EQ(rig.parser.read_headers(), 1);
    const std::string& text = rig.messages.out_text;
    int count = 0;
    for (size_t at = text.find("horizontal_offset["); at != std::string::npos;
         at = text.find("horizontal_offset[", at + 1)) {
      ++count;
    }
    EXPECT_EQ(count, offsets) << progressive << structure << repeat;
  }
}

// The element of a record with the standard's name; fails the test when it has none.
const SyntaxElement& element_named(const HeaderRecord& record, std::string_view name) {
  for (int i = 0; i < record.element_count(); ++i) {
    if (record.spec().elements[i].name == name) return record.elements[i];
  }
  ADD_FAILURE() << record.spec().name << " has no " << name;
  return record.elements[0];
}

TEST(Records, EveryHeaderWithEachElementWhereItsBitsLie) {
  const auto intra = test_matrix(20);
  BitWriter w;
  std::vector<std::pair<HeaderKind, size_t>> starts;
  const auto at = [&](HeaderKind kind) { starts.emplace_back(kind, here(w)); };
  at(HeaderKind::kSequenceHeader);
  sequence_header(w, 720, 576, intra);
  at(HeaderKind::kSequenceExtension);
  sequence_extension(w);
  at(HeaderKind::kSequenceDisplayExtension);
  sequence_display_extension(w, 1);
  at(HeaderKind::kQuantMatrixExtension);
  quant_matrix_extension(w, {std::nullopt, std::nullopt, intra, std::nullopt});
  at(HeaderKind::kGroupOfPictures);
  group_of_pictures(w, false);
  at(HeaderKind::kUserData);
  w.start_code(0xB2);
  w.put(0x414243, 24);
  at(HeaderKind::kPictureHeader);
  picture_header(w, {.type = 2, .forward_f_code = 3, .extra_information = {7, 8}});
  at(HeaderKind::kPictureCodingExtension);
  picture_coding_extension(w, {.repeat_first_field = 1, .composite_display = true});
  at(HeaderKind::kPictureDisplayExtension);
  picture_display_extension(w, {{-5, 7}, {300, -300}, {0, -32768}});
  at(HeaderKind::kCopyrightExtension);
  extension(w, 4);
  w.put(1, 1);         // copyright_flag
  w.put(9, 8);         // copyright_identifier
  w.put(0, 1 + 7);     // original_or_copy, reserved
  w.put(1, 1);         // marker
  w.put(0xABCDE, 20);  // copyright_number_1
  w.put(1, 1);
  w.put(5, 22);
  w.put(1, 1);
  w.put(0x3FFFFF, 22);
  at(HeaderKind::kSliceHeader);
  w.start_code(0x01);
  w.put(12, 5);  // quantiser_scale_code
  w.put(1, 1);   // intra_slice_flag
  w.put(1, 1 + 7);
  w.put(0x1FF, 9);  // one byte of extra information
  w.put(0, 1);
  w.put(0x5A5A, 16);
  at(HeaderKind::kSequenceEnd);
  sequence_end(w);

  ParserRig rig(w.bytes());
  ASSERT_EQ(rig.parser.read_headers(), 1);
  rig.enter_slice();
  (void)rig.parser.read_slice_header(kFirstSliceStartCode);
  rig.pass_slices();
  ASSERT_EQ(rig.parser.read_headers(), 0);
  EXPECT_EQ(rig.messages.err_text, "reserved extension start code ID 4\n");

  const auto& records = rig.events.records;
  ASSERT_EQ(records.size(), starts.size());
  for (size_t r = 0; r < records.size(); ++r) {
    const HeaderRecord& record = records[r];
    SCOPED_TRACE(record.spec().name);
    EXPECT_EQ(record.kind, starts[r].first);
    EXPECT_EQ(record.bit_offset, int64_t(8 * starts[r].second));
    // Every bit from the start code on belongs to one element present, in stream order.
    int64_t next = record.bit_offset;
    for (const SyntaxElement& element : record.elements) {
      if (element.bits == 0) continue;
      EXPECT_EQ(element.bit_offset, next);
      next = element.bit_offset + element.bits;
    }
    EXPECT_EQ(record.bit_end, next);
  }

  struct Value {
    HeaderKind kind;
    std::string_view element;
    int value;
  };
  const Value values[] = {
      {HeaderKind::kSequenceHeader, "sequence_header_code", 0x1B3},
      {HeaderKind::kSequenceHeader, "horizontal_size_value", 720},
      {HeaderKind::kSequenceHeader, "frame_rate_code", 3},
      {HeaderKind::kSequenceHeader, "intra_quantiser_matrix", 0},  // its slot
      {HeaderKind::kSequenceExtension, "extension_start_code_identifier", 1},
      {HeaderKind::kSequenceExtension, "low_delay", 1},
      {HeaderKind::kQuantMatrixExtension, "chroma_intra_quantiser_matrix", 2},
      {HeaderKind::kGroupOfPictures, "time_code_pictures", 14},
      {HeaderKind::kGroupOfPictures, "closed_gop", 0},
      {HeaderKind::kUserData, "user_data", 3},  // bytes
      {HeaderKind::kPictureHeader, "picture_coding_type", 2},
      {HeaderKind::kPictureHeader, "vbv_delay", 0xFFFF},
      {HeaderKind::kPictureHeader, "forward_f_code", 3},
      {HeaderKind::kPictureHeader, "extra_information_picture", 2},  // bytes
      {HeaderKind::kPictureCodingExtension, "f_code[1][1]", 4},
      {HeaderKind::kPictureCodingExtension, "sub_carrier_phase", 200},
      {HeaderKind::kPictureDisplayExtension, "frame_centre_vertical_offset[2]", -32768},
      {HeaderKind::kCopyrightExtension, "copyright_number_1", 0xABCDE},
      {HeaderKind::kCopyrightExtension, "copyright_number_3", 0x3FFFFF},
      {HeaderKind::kSliceHeader, "quantiser_scale_code", 12},
      {HeaderKind::kSliceHeader, "extra_information_slice", 1},
  };
  for (const Value& v : values) {
    const auto record = std::find_if(records.begin(), records.end(),
                                     [&](const HeaderRecord& r) { return r.kind == v.kind; });
    ASSERT_NE(record, records.end());
    EXPECT_EQ(element_named(*record, v.element).value, v.value) << v.element;
  }
  // Absent elements: the backward vectors of a P picture, the slice's position extension.
  EXPECT_EQ(element_named(records[6], "backward_f_code").bits, 0u);
  EXPECT_EQ(element_named(records[10], "slice_vertical_position_extension").bits, 0u);
  // The matrices as coded, in zigzag order.
  for (int i = 0; i < 64; ++i) {
    EXPECT_EQ(records[0].matrices[0][i], intra.transmitted[i]);
    EXPECT_EQ(records[3].matrices[2][i], intra.transmitted[i]);
  }
}

struct FieldCase {
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
  const FieldCase cases[] = {
      {1, 3, 0, 0, 1, 2, 0, 0},  // progressive sequence: once
      {1, 3, 0, 1, 1, 4, 0, 0},  // twice
      {1, 3, 1, 1, 1, 6, 0, 0},  // three times
      {0, 3, 1, 0, 0, 2, 1, 0},  // interlaced frame, top first
      {0, 3, 0, 1, 1, 3, 0, 0},  // progressive frame, first field repeated (3:2 pull-down)
      {0, 3, 0, 0, 0, 2, 0, 1}, {0, 2, 0, 0, 0, 1, 0, 1},  // a bottom field first, then its pair
  };
  for (const FieldCase& c : cases) {
    BitWriter w;
    sequence_header(w, 720, 576);
    sequence_extension(w, {.progressive_sequence = c.progressive_sequence});
    const int pictures = c.picture_structure == 3 ? 1 : 2;
    for (int i = 0; i < pictures; ++i) {
      picture_header(w, {.type = 1});
      picture_coding_extension(
          w, {.picture_structure = i == 0 ? c.picture_structure : 3 - c.picture_structure,
              .top_field_first = c.top_field_first,
              .repeat_first_field = c.repeat_first_field,
              .progressive_frame = c.progressive_frame});
    }
    sequence_end(w);
    ParserRig rig(w.bytes());
    rig.read_all();
    const StreamInfo& info = rig.events.info;
    EXPECT_EQ(info.fields, c.fields * pictures) << c.picture_structure << c.repeat_first_field;
    EXPECT_EQ(info.top_field_first, c.top_first);
    EXPECT_EQ(info.bottom_field_first, c.bottom_first);
  }
}

TEST(StreamInfo, SequencesGopsAndMpeg1Pictures) {
  BitWriter w;
  sequence_header(w, 352, 288);
  group_of_pictures(w, true);
  picture_header(w, {.type = 1});
  sequence_header(w, 352, 288);  // repeated within the sequence
  group_of_pictures(w, false);
  picture_header(w, {.type = 1});
  sequence_end(w);
  sequence_header(w, 352, 288);
  sequence_end(w);
  ParserRig rig(w.bytes(), 0, true);
  rig.read_all();
  const StreamInfo& info = rig.events.info;
  EXPECT_EQ(info.sequences, 2);
  EXPECT_EQ(info.closed_gops, 1);
  EXPECT_EQ(info.open_gops, 1);
  EXPECT_EQ(info.pictures, 2);
  EXPECT_EQ(info.fields, 4);
}

}  // namespace
}  // namespace tavik
