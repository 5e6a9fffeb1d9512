#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "support/cli_run.h"
#include "support/field_picture_writer.h"
#include "support/stream_tools.h"

namespace tavik {
namespace {

namespace fs = std::filesystem;

using test::quoted;
using test::run_cli;

constexpr int64_t kRate = 1000000;
constexpr int64_t kFramesPerSecond = 25;

// A constant-rate stream of I and P frames: ffmpeg keeps its buffer.
fs::path constant_rate_stream() {
  return test::make_ffmpeg_stream(
      "cbr.m2v", "-c:v mpeg2video -bf 0 -b:v 1000k -minrate 1000k -maxrate 1000k -bufsize 500k",
      "-f lavfi -i testsrc2=size=352x288:rate=25 -t 3");
}

// The picture of the stream as the buffer sees it, read from the bytes and from ffprobe's
// packets without the program under test.
struct ReferencePicture {
  int64_t start_code_end = 0;  // bits up to the last bit of the picture start code
  int64_t bits = 0;
  int vbv_delay = 0;
};

std::vector<ReferencePicture> reference_pictures(const fs::path& stream) {
  const std::vector<uint8_t> bytes = test::read_file(stream);
  std::vector<ReferencePicture> pictures;
  for (size_t i = 0; i + 8 < bytes.size(); ++i) {
    if (bytes[i] != 0 || bytes[i + 1] != 0 || bytes[i + 2] != 1 || bytes[i + 3] != 0) continue;
    // temporal_reference (10 bits), picture_coding_type (3), vbv_delay (16).
    const uint32_t word = uint32_t(bytes[i + 4]) << 24 | uint32_t(bytes[i + 5]) << 16 |
                          uint32_t(bytes[i + 6]) << 8 | bytes[i + 7];
    pictures.push_back({int64_t(i + 4) * 8, 0, int((word >> 3) & 0xFFFF)});
  }
  const fs::path out = test::scratch_dir() / "packets.txt";
  EXPECT_EQ(test::run_command("ffprobe -v error -show_entries packet=size -of csv=p=0 " +
                              quoted(stream) + " >" + quoted(out)),
            0);
  std::istringstream sizes(test::file_text(out));
  for (ReferencePicture& p : pictures) {
    int64_t size = 0;
    sizes >> size;
    p.bits = size * 8;
  }
  return pictures;
}

// ISO/IEC 13818-2 C.3 at constant rate: the first picture is decoded at its vbv_delay after the
// arrival of its start code, the others `offsets` seconds after it; B(n) = R t(n) - sum of d(k),
// k < n. With low delay a picture not all arrived waits whole frame periods.
struct ReferenceModel {
  std::vector<double> occupancy_before;
  std::vector<double> decode_time;
  int64_t first_underflow = -1;
  int64_t first_overflow = -1;
};

ReferenceModel reference_model(const std::vector<ReferencePicture>& pictures, double rate,
                               const std::vector<double>& offsets, bool low_delay = false,
                               double size = 1e18) {
  ReferenceModel model;
  double total = 0;
  for (const ReferencePicture& p : pictures) total += double(p.bits);
  const double first = double(pictures[0].start_code_end) / rate + pictures[0].vbv_delay / 90000.0;
  double removed = 0;
  double waited = 0;
  for (size_t n = 0; n < pictures.size(); ++n) {
    double t = first + offsets[n] + waited;
    while (low_delay && removed + double(pictures[n].bits) > rate * t + 0.5) {
      t += 1.0 / kFramesPerSecond;
      waited += 1.0 / kFramesPerSecond;
    }
    const double arrived = std::min(rate * t, total);
    model.decode_time.push_back(t);
    model.occupancy_before.push_back(arrived - removed);
    removed += double(pictures[n].bits);
    if (model.first_underflow < 0 && arrived + 0.5 < removed) model.first_underflow = int64_t(n);
    if (model.first_overflow < 0 && arrived - (removed - double(pictures[n].bits)) > size + 0.5) {
      model.first_overflow = int64_t(n);
    }
  }
  return model;
}

// I and P pictures only: each is decoded when the reference picture before it has been shown
// (the first one's own display duration after it); `fields` are the display durations.
std::vector<double> reference_offsets(const std::vector<int>& fields) {
  std::vector<double> offsets(fields.size(), 0.0);
  for (size_t n = 1; n < fields.size(); ++n) {
    offsets[n] = offsets[n - 1] + fields[n < 2 ? 0 : n - 2] / (2.0 * kFramesPerSecond);
  }
  return offsets;
}

// C.3.2 at variable rate: the buffer fills at the rate while it is not full; the first frame is
// decoded when it is first full (or holds the whole stream), the others a frame period apart.
ReferenceModel variable_reference_model(const std::vector<ReferencePicture>& pictures, double rate,
                                        double size) {
  ReferenceModel model;
  double total = 0;
  for (const ReferencePicture& p : pictures) total += double(p.bits);
  double level = std::min(size, total);
  double arrived = level;
  for (size_t n = 0; n < pictures.size(); ++n) {
    if (n > 0) {
      const double fill = std::min({rate / kFramesPerSecond, size - level, total - arrived});
      level += fill;
      arrived += fill;
    }
    model.occupancy_before.push_back(level);
    level -= double(pictures[n].bits);
    if (model.first_underflow < 0 && level < -0.5) model.first_underflow = int64_t(n);
  }
  return model;
}

// Calls `edit` on the bytes after each start code 00 00 01 `code`, in order.
template <typename Edit>
void edit_headers(std::vector<uint8_t>& bytes, uint8_t code, Edit edit) {
  for (size_t i = 0; i + 10 < bytes.size(); ++i) {
    if (bytes[i] == 0 && bytes[i + 1] == 0 && bytes[i + 2] == 1 && bytes[i + 3] == code) {
      edit(&bytes[i + 4]);
    }
  }
}

// bit_rate_value: the 18 bits after the sizes, aspect ratio and frame rate codes.
void set_bit_rate(std::vector<uint8_t>& bytes, uint32_t value) {
  edit_headers(bytes, 0xB3, [value](uint8_t* h) {
    h[4] = uint8_t(value >> 10);
    h[5] = uint8_t(value >> 2);
    h[6] = uint8_t((h[6] & 0x3F) | (value & 3) << 6);
  });
}

constexpr uint32_t kThird = kRate / 400 / 3;

nlohmann::json vbv_json(const fs::path& stream, int expected_status) {
  const test::CliResult result = run_cli("vbv --format json " + quoted(stream));
  EXPECT_EQ(result.status, expected_status) << result.err;
  return nlohmann::json::parse(result.out);
}

void expect_model(const nlohmann::json& json, const ReferenceModel& model) {
  ASSERT_EQ(json["pictures"].size(), model.occupancy_before.size());
  for (size_t n = 0; n < model.occupancy_before.size(); ++n) {
    EXPECT_NEAR(json["pictures"][n]["occupancy_before"].get<double>(), model.occupancy_before[n],
                1.0)
        << "picture " << n;
  }
}

TEST(CliTiming, ConstantRateStreamComplies) {
  const fs::path stream = constant_rate_stream();
  const nlohmann::json json = vbv_json(stream, 0);
  EXPECT_EQ(json["mode"], "constant");
  EXPECT_EQ(json["bit_rate"], kRate);
  EXPECT_TRUE(json["violations"].empty()) << json["violations"].dump();
  const std::vector<ReferencePicture> pictures = reference_pictures(stream);
  expect_model(json, reference_model(pictures, double(kRate),
                                     reference_offsets(std::vector<int>(pictures.size(), 2))));
}

TEST(CliTiming, VariableRateStreamFollowsTheReference) {
  const fs::path stream =
      test::make_ffmpeg_stream("vbr.m2v", "-c:v mpeg2video -b:v 800k -maxrate 1200k -bufsize 600k",
                               "-f lavfi -i testsrc2=size=352x288:rate=25 -t 3");
  const nlohmann::json json = vbv_json(stream, 0);
  EXPECT_EQ(json["mode"], "variable");
  EXPECT_EQ(json["bit_rate"], 1200000);
  const ReferenceModel model =
      variable_reference_model(reference_pictures(stream), json["bit_rate"].get<double>(),
                               json["buffer_size_bits"].get<double>());
  EXPECT_EQ(model.first_underflow, -1);
  expect_model(json, model);
}

// Field pictures (the test writer's): a field period apart, each pair of fields one of
// ffprobe's packets.
TEST(CliTiming, FieldPicturesAreAFieldPeriodApart) {
  const fs::path stream = test::scratch_dir() / "fields.m2v";
  test::write_file(stream, test::write_field_picture_stream(test::make_moving_frames(176, 144, 10),
                                                            176, 144, test::FieldStreamOptions{}));
  const nlohmann::json json =
      nlohmann::json::parse(run_cli("bitrate --per picture --format json " + quoted(stream)).out);
  const std::vector<ReferencePicture> packets = reference_pictures(stream);
  const nlohmann::json& rows = json["rows"];
  ASSERT_EQ(rows.size(), 20u) << json.dump();
  for (size_t n = 1; n < rows.size(); ++n) {
    EXPECT_NEAR(rows[n]["decode_time"].get<double>() - rows[n - 1]["decode_time"].get<double>(),
                0.02, 1e-9)
        << "picture " << n;
  }
  for (size_t k = 0; k < 10; ++k) {
    EXPECT_EQ(rows[2 * k]["bits"].get<int64_t>() + rows[2 * k + 1]["bits"].get<int64_t>(),
              packets[k].bits)
        << "frame " << k;
  }
}

// The sequence header's bit_rate rewritten to a third: the buffer then fills too slowly.
TEST(CliTiming, ThirdOfTheBitRateUnderflowsAtTheNamedPicture) {
  std::vector<uint8_t> bytes = test::read_file(constant_rate_stream());
  set_bit_rate(bytes, kThird);
  const fs::path stream = test::scratch_dir() / "third.m2v";
  test::write_file(stream, bytes);
  const nlohmann::json json = vbv_json(stream, 3);
  const std::vector<ReferencePicture> pictures = reference_pictures(stream);
  const ReferenceModel model = reference_model(
      pictures, kThird * 400.0, reference_offsets(std::vector<int>(pictures.size(), 2)));
  ASSERT_GE(model.first_underflow, 0);
  expect_model(json, model);
  ASSERT_FALSE(json["violations"].empty());
  size_t first = 0;
  while (json["violations"][first]["kind"] != "underflow") ++first;
  EXPECT_EQ(json["violations"][first]["index"], model.first_underflow);
  const test::CliResult table = run_cli("vbv " + quoted(stream));
  EXPECT_NE(table.out.find("underflow at picture " + std::to_string(model.first_underflow)),
            std::string::npos);
}

// The constant-rate stream's flags rewritten: low delay at a third of the bit rate (a big
// picture waits whole frame periods instead of underflowing), and 3:2 pulldown on the frames
// of an interlaced sequence. Against the reference model and the duration info gives.
struct FlagsCase {
  const char* name;
  bool low_delay;
  // top_field_first and repeat_first_field of successive pictures; none keeps the stream's.
  std::vector<std::pair<uint8_t, uint8_t>> field_flags;
};

class CliTimingFlags : public testing::TestWithParam<FlagsCase> {};

TEST_P(CliTimingFlags, FollowsTheReference) {
  const FlagsCase& c = GetParam();
  std::vector<uint8_t> bytes = test::read_file(constant_rate_stream());
  if (c.low_delay) set_bit_rate(bytes, kThird);
  const bool pulldown = !c.field_flags.empty();
  std::vector<int> fields;
  edit_headers(bytes, 0xB5, [&](uint8_t* h) {
    if (h[0] >> 4 == 1) {  // sequence extension
      if (c.low_delay) h[5] |= 0x80;
      if (pulldown) h[1] &= 0xF7;  // progressive_sequence 0
    } else if (h[0] >> 4 == 8) {   // picture coding extension
      if (!pulldown) return fields.push_back(2);
      const auto [top_first, repeat] = c.field_flags[fields.size() % c.field_flags.size()];
      h[3] = uint8_t((h[3] & 0x7D) | top_first << 7 | repeat << 1);
      h[4] |= 0x80;  // progressive_frame
      fields.push_back(2 + repeat);
    }
  });
  const fs::path stream = test::scratch_dir() / (std::string(c.name) + ".m2v");
  test::write_file(stream, bytes);

  const std::vector<ReferencePicture> pictures = reference_pictures(stream);
  ASSERT_EQ(fields.size(), pictures.size());
  const test::CliResult vbv = run_cli("vbv --format json " + quoted(stream));
  const nlohmann::json json = nlohmann::json::parse(vbv.out);
  const ReferenceModel model =
      reference_model(pictures, json["bit_rate"].get<double>(), reference_offsets(fields),
                      c.low_delay, json["buffer_size_bits"].get<double>());
  EXPECT_EQ(model.first_underflow, -1);
  EXPECT_EQ(vbv.status, model.first_overflow < 0 ? 0 : 3) << vbv.err;
  expect_model(json, model);
  for (size_t n = 0; n < pictures.size(); ++n) {
    EXPECT_NEAR(json["pictures"][n]["decode_time"].get<double>(), model.decode_time[n], 1e-6)
        << "picture " << n;
  }

  const double duration =
      nlohmann::json::parse(run_cli("bitrate --format json " + quoted(stream)).out)["duration"];
  const nlohmann::json info =
      nlohmann::json::parse(run_cli("info --format json " + quoted(stream)).out);
  EXPECT_DOUBLE_EQ(duration, info["stream"]["duration"].get<double>());
  int shown = 0;
  for (const int f : fields) shown += f;
  EXPECT_NEAR(duration, shown / (2.0 * kFramesPerSecond), 1e-9);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliTimingFlags,
    testing::Values(FlagsCase{"low_delay", true, {}},
                    FlagsCase{"pulldown", false, {{1, 1}, {0, 0}, {0, 1}, {1, 0}}}),
    [](const testing::TestParamInfo<FlagsCase>& tested) { return std::string(tested.param.name); });

// About 1.5 seconds: two windows, the last divided by its own length; the duration is info's.
TEST(CliTiming, PartialLastSecondIsDividedByItsLength) {
  const fs::path stream = test::make_ffmpeg_stream(
      "short.m2v", "-c:v mpeg2video", "-f lavfi -i testsrc2=size=176x144:rate=25 -t 1.5");
  const nlohmann::json json =
      nlohmann::json::parse(run_cli("bitrate --format json " + quoted(stream)).out);
  const nlohmann::json info =
      nlohmann::json::parse(run_cli("info --format json " + quoted(stream)).out);
  EXPECT_DOUBLE_EQ(json["duration"].get<double>(), info["stream"]["duration"].get<double>());
  ASSERT_EQ(json["rows"].size(), 2u);
  const nlohmann::json& last = json["rows"][1];
  const double length = json["duration"].get<double>() - 1;
  EXPECT_NEAR(length, 0.5, 0.05);
  EXPECT_NEAR(last["length"].get<double>(), length, 1e-9);
  EXPECT_NEAR(last["kbit_s"].get<double>(), last["bits"].get<double>() / length / 1000, 1e-6);
}

// Bad headers give a statement, not a figure: bit_rate 0.
TEST(CliTiming, ZeroBitRateIsNotModelled) {
  std::vector<uint8_t> bytes = test::read_file(constant_rate_stream());
  set_bit_rate(bytes, 0);
  const fs::path stream = test::scratch_dir() / "zero.m2v";
  test::write_file(stream, bytes);
  const test::CliResult result = run_cli("vbv " + quoted(stream));
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "VBV not modelled: bit_rate is 0\n");
}

}  // namespace
}  // namespace tavik
