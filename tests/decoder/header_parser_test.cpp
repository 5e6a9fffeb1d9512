#include "decoder/header_parser.h"

#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "analysis/analysis_store.h"
#include "analysis/messages.h"
#include "analysis/start_code_scanner.h"
#include "decoder/byte_input.h"
#include "decoder/decoder_state.h"
#include "decoder/fatal_error.h"
#include "decoder/scan_tables.h"
#include "decoder/video_source.h"
#include "support/header_writer.h"

namespace tavik {
namespace {

using namespace test::header_writer;
using Matrix = std::array<int, 64>;

// ---------------------------------------------------------------------------------------------
// A header parser on bytes in memory, with a scanner on its own input as in a session.

class ParserRig {
 public:
  explicit ParserRig(std::vector<uint8_t> bytes, int verbose_level = 0)
      : bytes_(std::move(bytes)),
        decoder_input_(bytes_),
        scanner_input_(bytes_),
        source_(decoder_input_),
        scanner_(store, messages),
        parser(ctx, scanner_, store, verbose_level) {
    scanner_.attach(&scanner_input_);
    store.update([](StoreData& data) { data.scan_reset_pending = 1; });
    scanner_.measure_picture();
    ctx.layer.reader.reset_reader(&source_);
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

 private:
  std::vector<uint8_t> bytes_;
  MemoryInput decoder_input_;
  MemoryInput scanner_input_;
  ElementarySource source_;

 public:
  CollectedMessages messages;
  AnalysisStore store;
  DecoderContext ctx{messages};

 private:
  StartCodeScanner scanner_;

 public:
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

// ---------------------------------------------------------------------------------------------

TEST(SequenceHeader, WithoutMatricesSetsTheDefaults) {
  BitWriter w;
  sequence_header(w, 352, 288);
  sequence_end(w);
  ParserRig rig(w.bytes());
  rig.ctx.layer.intra_quantiser_matrix.fill(1);
  rig.ctx.layer.chroma_intra_quantiser_matrix.fill(2);
  rig.ctx.layer.non_intra_quantiser_matrix.fill(3);
  rig.ctx.layer.chroma_non_intra_quantiser_matrix.fill(4);

  EXPECT_EQ(rig.parser.read_headers(), 0);
  EXPECT_EQ(rig.ctx.vars.horizontal_size, 352);
  EXPECT_EQ(rig.ctx.vars.vertical_size, 288);
  EXPECT_EQ(rig.ctx.layer.mpeg2, 0);
  EXPECT_EQ(rig.ctx.layer.intra_quantiser_matrix, default_intra());
  EXPECT_EQ(rig.ctx.layer.chroma_intra_quantiser_matrix, default_intra());
  EXPECT_EQ(rig.ctx.layer.non_intra_quantiser_matrix, filled(16));
  EXPECT_EQ(rig.ctx.layer.chroma_non_intra_quantiser_matrix, filled(16));
  EXPECT_EQ(rig.messages.err_text, "");
}

TEST(SequenceHeader, LoadsMatricesFromZigzagOrderIntoRasterOrder) {
  const auto intra = test_matrix(10);
  const auto non_intra = test_matrix(100);
  BitWriter w;
  sequence_header(w, 720, 576, intra, non_intra);
  sequence_end(w);
  ParserRig rig(w.bytes());

  EXPECT_EQ(rig.parser.read_headers(), 0);
  EXPECT_EQ(rig.ctx.layer.intra_quantiser_matrix, intra.raster);
  EXPECT_EQ(rig.ctx.layer.non_intra_quantiser_matrix, non_intra.raster);
  EXPECT_EQ(rig.ctx.layer.chroma_intra_quantiser_matrix, intra.raster);
  EXPECT_EQ(rig.ctx.layer.chroma_non_intra_quantiser_matrix, non_intra.raster);
  // The third value sent is the first coefficient of the second row.
  EXPECT_EQ(rig.ctx.layer.intra_quantiser_matrix[8], 12);
  EXPECT_EQ(rig.ctx.layer.intra_quantiser_matrix[63], 73);
}

TEST(SequenceHeader, SecondHeaderWithoutExtensionKeepsMpeg2AndRestoresDefaults) {
  const auto intra = test_matrix(20);
  const auto chroma_intra = test_matrix(150);
  BitWriter w;
  sequence_header(w, 0x123, 0x456, intra, test_matrix(30));
  sequence_extension(w, {.horizontal_size_extension = 1, .vertical_size_extension = 2});
  sequence_header(w, 640, 480);
  // Only the chroma intra matrix is overridden after the defaults came back.
  quant_matrix_extension(w, {std::nullopt, std::nullopt, chroma_intra, std::nullopt});
  sequence_end(w);
  ParserRig rig(w.bytes());

  EXPECT_EQ(rig.parser.read_headers(), 0);
  EXPECT_EQ(rig.ctx.layer.mpeg2, 1);
  EXPECT_EQ(rig.ctx.vars.horizontal_size, 640);
  EXPECT_EQ(rig.ctx.vars.vertical_size, 480);
  EXPECT_EQ(rig.ctx.layer.intra_quantiser_matrix, default_intra());
  EXPECT_EQ(rig.ctx.layer.chroma_intra_quantiser_matrix, chroma_intra.raster);
  EXPECT_EQ(rig.ctx.layer.non_intra_quantiser_matrix, filled(16));
  EXPECT_EQ(rig.ctx.layer.chroma_non_intra_quantiser_matrix, filled(16));
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

TEST(QuantMatrixExtension, CopiesLuminanceMatricesIntoChroma) {
  const auto intra = test_matrix(1);
  const auto non_intra = test_matrix(60);
  BitWriter w;
  sequence_header(w, 352, 288);
  sequence_extension(w);
  quant_matrix_extension(w, {intra, non_intra, std::nullopt, std::nullopt});
  sequence_end(w);
  ParserRig rig(w.bytes());

  EXPECT_EQ(rig.parser.read_headers(), 0);
  EXPECT_EQ(rig.ctx.layer.intra_quantiser_matrix, intra.raster);
  EXPECT_EQ(rig.ctx.layer.chroma_intra_quantiser_matrix, intra.raster);
  EXPECT_EQ(rig.ctx.layer.non_intra_quantiser_matrix, non_intra.raster);
  EXPECT_EQ(rig.ctx.layer.chroma_non_intra_quantiser_matrix, non_intra.raster);
}

TEST(Extensions, ReservedIdentifiersAreReportedEvenWhenQuiet) {
  BitWriter w;
  sequence_header(w, 352, 288);
  for (const int id : {0, 4, 6, 11, 12, 13, 14, 15}) {
    extension(w, id);
    w.put(0xABCDE, 20);
  }
  sequence_display_extension(w, 6);
  picture_header(w, {.type = 1});
  sequence_end(w);
  ParserRig rig(w.bytes());
  rig.ctx.quiet = true;

  EXPECT_EQ(rig.parser.read_headers(), 1);
  EXPECT_EQ(rig.messages.err_text,
            "reserved extension start code ID 0\n"
            "reserved extension start code ID 4\n"
            "reserved extension start code ID 6\n"
            "reserved extension start code ID 11\n"
            "reserved extension start code ID 12\n"
            "reserved extension start code ID 13\n"
            "reserved extension start code ID 14\n"
            "reserved extension start code ID 15\n");
  // Decoding went on after them.
  EXPECT_EQ(rig.ctx.vars.matrix_coefficients, 6);
  EXPECT_EQ(rig.ctx.vars.picture_coding_type, 1);
  EXPECT_EQ(rig.parser.read_headers(), 0);
}

TEST(Extensions, TemporalScalabilityIsFatal) {
  {
    BitWriter w;
    sequence_header(w, 352, 288);
    sequence_extension(w);
    sequence_scalable_extension(w, 3);
    ParserRig rig(w.bytes());
    try {
      (void)rig.parser.read_headers();
      FAIL() << "no error";
    } catch (const FatalError& error) {
      EXPECT_STREQ(error.what(), "temporal scalability not implemented\n");
    }
  }
  {
    BitWriter w;
    sequence_header(w, 352, 288);
    sequence_extension(w);
    picture_header(w, {.type = 1});
    extension(w, 10);
    w.put(0, 24);
    ParserRig rig(w.bytes());
    try {
      (void)rig.parser.read_headers();
      FAIL() << "no error";
    } catch (const FatalError& error) {
      EXPECT_STREQ(error.what(), "temporal scalability not supported\n");
    }
  }
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
    if (code == 1) {
      EXPECT_EQ(rig.ctx.vars.lower_layer_prediction_horizontal_size, 352);
      EXPECT_EQ(rig.ctx.vars.lower_layer_prediction_vertical_size, 288);
      EXPECT_EQ(rig.ctx.vars.horizontal_subsampling_factor_m, 1);
      EXPECT_EQ(rig.ctx.vars.horizontal_subsampling_factor_n, 2);
      EXPECT_EQ(rig.ctx.vars.vertical_subsampling_factor_m, 3);
      EXPECT_EQ(rig.ctx.vars.vertical_subsampling_factor_n, 4);
    }
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
  const auto& vars = rig.ctx.vars;
  const auto& layer = rig.ctx.layer;

  ASSERT_EQ(rig.parser.read_headers(), 1);
  EXPECT_EQ(vars.picture_coding_type, 3);
  EXPECT_EQ(rig.store.current_picture_type, 3);
  EXPECT_EQ(vars.full_forw, 1);
  EXPECT_EQ(vars.forw_r_size, 4);
  EXPECT_EQ(vars.full_back, 1);
  EXPECT_EQ(vars.back_r_size, 1);
  EXPECT_EQ(vars.forw_hor_r_size, 0);
  EXPECT_EQ(vars.forw_vert_r_size, 1);
  EXPECT_EQ(vars.back_hor_r_size, 2);
  EXPECT_EQ(vars.back_vert_r_size, 3);
  EXPECT_EQ(vars.intra_dc_precision, 2);
  EXPECT_EQ(vars.picture_structure, 3);
  EXPECT_EQ(vars.top_field_first, 1);
  EXPECT_EQ(vars.frame_pred_frame_dct, 0);
  EXPECT_EQ(vars.concealment_motion_vectors, 1);
  EXPECT_EQ(layer.q_scale_type, 1);
  EXPECT_EQ(vars.intra_vlc_format, 1);
  EXPECT_EQ(layer.alternate_scan, 1);
  EXPECT_EQ(vars.repeat_first_field, 0);
  EXPECT_EQ(vars.progressive_frame, 0);
  EXPECT_EQ(layer.picture_spatial_scalable, 1);
  EXPECT_EQ(vars.lower_layer_temporal_reference, 77);
  EXPECT_EQ(vars.lower_layer_horizontal_offset, -1);
  EXPECT_EQ(vars.lower_layer_vertical_offset, 100);
  EXPECT_EQ(vars.spatial_temporal_weight_code_table_index, 2);
  rig.pass_slices();

  ASSERT_EQ(rig.parser.read_headers(), 1);
  EXPECT_EQ(vars.picture_coding_type, 2);
  EXPECT_EQ(rig.store.current_picture_type, 2);
  EXPECT_EQ(vars.forw_r_size, 2);
  EXPECT_EQ(layer.picture_spatial_scalable, 0);
  EXPECT_EQ(vars.forw_hor_r_size, 8);
  EXPECT_EQ(vars.forw_vert_r_size, 7);
  EXPECT_EQ(vars.back_hor_r_size, 14);
  EXPECT_EQ(vars.intra_dc_precision, 1);
  EXPECT_EQ(vars.picture_structure, 2);
  EXPECT_EQ(vars.top_field_first, 0);
  EXPECT_EQ(vars.frame_pred_frame_dct, 1);
  EXPECT_EQ(layer.q_scale_type, 0);
  EXPECT_EQ(layer.alternate_scan, 0);
  EXPECT_EQ(vars.repeat_first_field, 1);
  EXPECT_EQ(vars.progressive_frame, 1);
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
};

struct SliceResult {
  int extension;
  int quantiser_scale;
  int priority_breakpoint;
  uint32_t next_byte;
  std::string trace;
};

SliceResult read_slice(const SliceCase& c, int quantiser_scale_code, int verbose_level = 0) {
  BitWriter w;
  sequence_header(w, 720, c.vertical_size & 0xFFF);
  if (c.mpeg2) {
    sequence_extension(w, {.vertical_size_extension = c.vertical_size >> 12});
    if (c.scalable_code >= 0) sequence_scalable_extension(w, c.scalable_code);
  }
  picture_header(w, {.type = 1});
  if (c.mpeg2) picture_coding_extension(w, {.q_scale_type = c.q_scale_type});
  w.start_code(0x07);
  const bool has_extension = c.mpeg2 && c.vertical_size > 2800;
  if (has_extension) w.put(5, 3);
  if (c.scalable_code == 0) w.put(99, 7);
  w.put(uint32_t(quantiser_scale_code), 5);
  if (c.extra_information) {
    w.put(1, 1);     // extra_bit_slice
    w.put(1, 1);     // intra_slice
    w.put(0x7F, 7);  // reserved_bits
    w.put(1, 1);
    w.put(0xEE, 8);
    w.put(1, 1);
    w.put(0x00, 8);
  }
  w.put(0, 1);
  w.put(0xC3, 8);
  sequence_end(w);
  ParserRig rig(w.bytes(), verbose_level);
  EXPECT_EQ(rig.parser.read_headers(), 1);
  rig.messages.out_text.clear();
  rig.enter_slice();
  SliceResult r{};
  r.extension = rig.parser.read_slice_header();
  r.quantiser_scale = rig.ctx.layer.quantiser_scale;
  r.priority_breakpoint = rig.ctx.layer.priority_breakpoint;
  r.next_byte = rig.reader().read_bits(8);
  r.trace = rig.messages.out_text;
  return r;
}

TEST(SliceHeader, VerticalPositionExtensionOnlyAbove2800LinesInMpeg2) {
  const auto at_2800 = read_slice({true, 2800, 0, -1, false}, 4);
  EXPECT_EQ(at_2800.extension, 0);
  EXPECT_EQ(at_2800.quantiser_scale, 8);
  EXPECT_EQ(at_2800.next_byte, 0xC3u);

  const auto at_2801 = read_slice({true, 2801, 0, -1, false}, 4);
  EXPECT_EQ(at_2801.extension, 5);
  EXPECT_EQ(at_2801.quantiser_scale, 8);
  EXPECT_EQ(at_2801.next_byte, 0xC3u);

  // 12-bit sizes only in MPEG-1: 2801 & 0xFFF still has no extension.
  const auto mpeg1 = read_slice({false, 2801, 0, -1, false}, 4);
  EXPECT_EQ(mpeg1.extension, 0);
  EXPECT_EQ(mpeg1.next_byte, 0xC3u);
}

TEST(SliceHeader, QuantiserScaleOfEachMode) {
  EXPECT_EQ(read_slice({false, 288, 0, -1, false}, 20).quantiser_scale, 20);
  EXPECT_EQ(read_slice({true, 576, 0, -1, false}, 20).quantiser_scale, 40);
  EXPECT_EQ(read_slice({true, 576, 1, -1, false}, 20).quantiser_scale, 40);
  EXPECT_EQ(read_slice({true, 576, 1, -1, false}, 9).quantiser_scale, 10);
  EXPECT_EQ(read_slice({true, 576, 1, -1, false}, 31).quantiser_scale, 112);
}

TEST(SliceHeader, ExtraInformationAndPriorityBreakpoint) {
  const auto extra = read_slice({true, 576, 0, -1, true}, 3);
  EXPECT_EQ(extra.quantiser_scale, 6);
  EXPECT_EQ(extra.next_byte, 0xC3u);

  const auto partitioned = read_slice({true, 576, 0, 0, false}, 3);
  EXPECT_EQ(partitioned.priority_breakpoint, 99);
  EXPECT_EQ(partitioned.quantiser_scale, 6);
  EXPECT_EQ(partitioned.next_byte, 0xC3u);
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
  const std::string expected =
      "Unexpected startcode 00000101 (ignored)\n"
      "Unexpected startcode 000001af (ignored)\n"
      "Unexpected startcode 000001ba (ignored)\n"
      "Unexpected startcode 000001b5 (ignored)\n"
      "Unexpected startcode 000001b2 (ignored)\n";
  for (const bool quiet : {false, true}) {
    ParserRig rig(w.bytes());
    rig.ctx.quiet = quiet;
    EXPECT_EQ(rig.parser.read_headers(), 1);
    EXPECT_EQ(rig.ctx.vars.picture_coding_type, 1);
    EXPECT_EQ(rig.messages.err_text, quiet ? "" : expected);
  }
}

TEST(ReadHeaders, MeasuresEachPictureBeforeItsHeaderAndOnceAtTheEnd) {
  BitWriter w;
  sequence_header(w, 352, 288);
  group_of_pictures(w);
  std::vector<size_t> picture_codes;
  const int types[] = {1, 3, 2, 3, 4};
  for (const int type : types) {
    picture_codes.push_back(here(w) + 3);
    picture_header(w, {.type = type});
    slice(w, 1, 10 * type);
    slice(w, 2, 3);
  }
  sequence_end(w);
  ParserRig rig(w.bytes());
  for (const int type : types) {
    ASSERT_EQ(rig.parser.read_headers(), 1);
    EXPECT_EQ(rig.store.current_picture_type, type);
    rig.pass_slices();
  }
  EXPECT_EQ(rig.parser.read_headers(), 0);
  EXPECT_EQ(rig.messages.err_text, "");

  const auto data = rig.store.snapshot();
  ASSERT_EQ(data.last_frame, 4);
  const size_t size = w.bytes().size();
  for (int f = 0; f < 5; ++f) {
    EXPECT_EQ(data.frame_types[f], uint32_t(types[f])) << f;
    const size_t next = f + 1 < 5 ? picture_codes[f + 1] : size - 1;
    EXPECT_EQ(data.frame_bytes[f], next - picture_codes[f]) << f;
  }
}

TEST(ReadHeaders, TraceAtEachLevel) {
  // Every line with the level from which it appears.
  std::vector<std::pair<int, std::string>> lines;
  auto line = [&](int level, std::string text) { lines.emplace_back(level, std::move(text)); };
  BitWriter w;

  line(1, "sequence header (byte " + std::to_string(here(w)) + ")\n");
  sequence_header(w, 720, 576, test_matrix(8));
  line(2, "  horizontal_size=720\n");
  line(2, "  vertical_size=576\n");
  line(2, "  aspect_ratio=2\n");
  line(2, "  picture_rate=3\n");
  line(2, "  bit_rate=20000\n");
  line(2, "  vbv_buffer_size=112\n");
  line(2, "  constrained_parameters_flag=0\n");
  line(2, "  load_intra_quantizer_matrix=1\n");
  line(2, "  load_non_intra_quantizer_matrix=0\n");

  line(1, "sequence extension (byte " + std::to_string(here(w)) + ")\n");
  sequence_extension(w);
  line(2, "  profile_and_level_indication=72\n");
  line(2, "    profile=4, level=8\n");
  line(2, "  progressive_sequence=0\n");
  line(2, "  chroma_format=1\n");
  line(2, "  horizontal_size_extension=0\n");
  line(2, "  vertical_size_extension=0\n");
  line(2, "  bit_rate_extension=7\n");
  line(2, "  vbv_buffer_size_extension=9\n");
  line(2, "  low_delay=1\n");
  line(2, "  frame_rate_extension_n=2\n");
  line(2, "  frame_rate_extension_d=5\n");

  line(1, "sequence display extension (byte " + std::to_string(here(w)) + ")\n");
  sequence_display_extension(w, 1);
  line(2, "  video_format=5\n");
  line(2, "  colour_description=1\n");
  line(2, "    colour_primaries=1\n");
  line(2, "    transfer_characteristics=4\n");
  line(2, "    matrix_coefficients=1\n");
  line(2, "  display_horizontal_size=720\n");
  line(2, "  display_vertical_size=576\n");

  line(1, "sequence scalable extension (byte " + std::to_string(here(w)) + ")\n");
  sequence_scalable_extension(w, 1);
  line(2, "  scalable_mode=1\n");
  line(2, "  layer_id=3\n");
  line(2, "    lower_layer_prediction_horiontal_size=352\n");
  line(2, "    lower_layer_prediction_vertical_size=288\n");
  line(2, "    horizontal_subsampling_factor_m=1\n");
  line(2, "    horizontal_subsampling_factor_n=2\n");
  line(2, "    vertical_subsampling_factor_m=3\n");
  line(2, "    vertical_subsampling_factor_n=4\n");

  line(1, "group of pictures (byte " + std::to_string(here(w)) + ")\n");
  group_of_pictures(w);
  line(2, "  drop_flag=1\n");
  line(2, "  timecode 1:02:03:14\n");
  line(2, "  closed_gop=1\n");
  line(2, "  broken_link=0\n");
  line(1, "user data\n");
  w.start_code(0xB2);
  w.put(0x414243, 24);

  line(1, "picture header (byte " + std::to_string(here(w)) + ")\n");
  picture_header(w, {.temporal_reference = 5, .type = 3, .full_forw = 1, .forward_f_code = 6});
  line(2, "  temp_ref=5\n");
  line(2, "  pict_type=3\n");
  line(2, "  vbv_delay=65535\n");
  line(2, "  full_forw=1\n");
  line(2, "  forw_r_size=6\n");
  line(2, "  full_back=0\n");
  line(2, "  back_r_size=7\n");

  line(1, "picture coding extension (byte " + std::to_string(here(w)) + ")\n");
  picture_coding_extension(w, {.repeat_first_field = 1, .composite_display = true});
  line(2, "  forward_horizontal_f_code=1\n");
  line(2, "  forward_vertical_f_code=2\n");
  line(2, "  backward_horizontal_f_code=3\n");
  line(2, "  backward_vertical_f_code=4\n");
  line(2, "  intra_dc_precision=2\n");
  line(2, "  picture_structure=3\n");
  line(2, "  top_field_first=1\n");
  line(2, "  frame_pred_frame_dct=0\n");
  line(2, "  concealment_motion_vectors=1\n");
  line(2, "  q_scale_type=1\n");
  line(2, "  intra_vlc_format=1\n");
  line(2, "  alternate_scan=1\n");
  line(2, "  repeat_first_field=1\n");
  line(2, "  chroma_420_type=1\n");
  line(2, "  progressive_frame=0\n");
  line(2, "  composite_display_flag=1\n");
  line(2, "    v_axis=1\n");
  line(2, "    field_sequence=5\n");
  line(2, "    sub_carrier=0\n");
  line(2, "    burst_amplitude=99\n");
  line(2, "    sub_carrier_phase=200\n");

  line(1, "quant matrix extension (byte " + std::to_string(here(w)) + ")\n");
  quant_matrix_extension(w, {std::nullopt, test_matrix(3), std::nullopt, std::nullopt});
  line(1, "  load_intra_quantiser_matrix=0\n");
  line(1, "  load_non_intra_quantiser_matrix=1\n");
  line(1, "  load_chroma_intra_quantiser_matrix=0\n");
  line(1, "  load_chroma_non_intra_quantiser_matrix=0\n");

  // Three offsets: an interlaced sequence, a frame picture with repeat_first_field.
  line(1, "picture display extension (byte " + std::to_string(here(w)) + ")\n");
  picture_display_extension(w, {{-5, 7}, {300, -300}, {0, -32768}});
  line(2, "  frame_centre_horizontal_offset[0]=-5\n");
  line(2, "  frame_centre_vertical_offset[0]=7\n");
  line(2, "  frame_centre_horizontal_offset[1]=300\n");
  line(2, "  frame_centre_vertical_offset[1]=-300\n");
  line(2, "  frame_centre_horizontal_offset[2]=0\n");
  line(2, "  frame_centre_vertical_offset[2]=-32768\n");

  line(1, "picture spatial scalable extension (byte " + std::to_string(here(w)) + ")\n");
  picture_spatial_scalable_extension(w, -20, 16383);
  line(2, "  lower_layer_temporal_reference=77\n");
  line(2, "  lower_layer_horizontal_offset=-20\n");
  line(2, "  lower_layer_vertical_offset=16383\n");
  line(2, "  spatial_temporal_weight_code_table_index=2\n");
  line(2, "  lower_layer_progressive_frame=1\n");
  line(2, "  lower_layer_deinterlaced_field_select=1\n");

  line(3, "slice header (byte " + std::to_string(here(w)) + ")\n");
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
    EXPECT_EQ(rig.parser.read_slice_header(), 0);
    rig.pass_slices();
    EXPECT_EQ(rig.parser.read_headers(), 0);
    EXPECT_EQ(rig.messages.out_text, expected) << "level " << level;
    EXPECT_EQ(rig.messages.err_text, "");
  }
}

TEST(ReadHeaders, TraceOfSliceFieldsAtLevelFour) {
  const auto result = read_slice({true, 2801, 0, 0, false}, 3, 4);
  EXPECT_NE(result.trace.find("slice header (byte "), std::string::npos);
  EXPECT_NE(result.trace.find("  slice_vertical_position_extension=5\n"
                              "  priority_breakpoint=99\n"
                              "  quantizer_scale_code=3\n"),
            std::string::npos);
  EXPECT_EQ(read_slice({true, 2801, 0, 0, false}, 3, 3).trace.find("  quantizer_scale_code"),
            std::string::npos);
}

// Counts the offset pairs that the picture display extension was read with.
int display_offsets(int progressive_sequence, int picture_structure, int repeat_first_field) {
  BitWriter w;
  sequence_header(w, 720, 576);
  sequence_extension(w, {.progressive_sequence = progressive_sequence});
  picture_header(w, {.type = 1});
  picture_coding_extension(
      w, {.picture_structure = picture_structure, .repeat_first_field = repeat_first_field});
  picture_display_extension(w, {{1, 2}, {3, 4}, {5, 6}});
  sequence_end(w);
  ParserRig rig(w.bytes(), 2);
  EXPECT_EQ(rig.parser.read_headers(), 1);
  int count = 0;
  const std::string& text = rig.messages.out_text;
  for (size_t at = text.find("frame_centre_horizontal_offset["); at != std::string::npos;
       at = text.find("frame_centre_horizontal_offset[", at + 1)) {
    ++count;
  }
  return count;
}

TEST(PictureDisplayExtension, NumberOfOffsetsFollowsTheFrameStructure) {
  EXPECT_EQ(display_offsets(0, 3, 1), 3);
  EXPECT_EQ(display_offsets(0, 3, 0), 2);
  EXPECT_EQ(display_offsets(0, 1, 1), 1);
  EXPECT_EQ(display_offsets(0, 2, 0), 1);
  EXPECT_EQ(display_offsets(1, 3, 1), 1);
}

}  // namespace
}  // namespace tavik
