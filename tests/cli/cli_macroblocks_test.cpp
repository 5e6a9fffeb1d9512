#include <gtest/gtest.h>

#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "support/cli_run.h"
#include "support/field_picture_writer.h"
#include "support/stream_tools.h"

namespace tavik {
namespace {

using test::quoted;
using test::run_cli;

// The per-picture figures of analyze --macroblock-stats, against the rules of the syntax and the
// macroblocks command's own rows of the same pictures, on progressive and interlaced streams.
TEST(CliMacroblocks, StatisticsAgreeWithTheRowsAndTheSyntax) {
  const struct {
    const char* name;
    const char* args;
    int macroblocks;  // an interlaced sequence's rows come in pairs: 144 lines make 10
  } kStreams[] = {
      {"mb-progressive.m2v", "-c:v mpeg2video -g 12 -bf 2 -f mpeg2video", 99},
      {"mb-interlaced.m2v", "-c:v mpeg2video -flags +ildct+ilme -top 1 -g 12 -bf 2 -f mpeg2video",
       110},
      {"mb-mpeg1.m1v", "-c:v mpeg1video -g 12 -bf 2 -f mpeg1video", 99},
  };
  for (const auto& s : kStreams) {
    SCOPED_TRACE(s.name);
    const int macroblocks = s.macroblocks;
    const std::string stream = quoted(test::make_ffmpeg_stream(s.name, s.args));
    const auto analysis =
        nlohmann::json::parse(run_cli("analyze --format json --macroblock-stats " + stream).out);
    const auto rows =
        nlohmann::json::parse(run_cli("macroblocks --frames 0-24 --format json " + stream).out);
    std::map<int, int64_t> row_bits;  // per picture, from the rows
    for (const auto& row : rows["macroblocks"]) {
      row_bits[row["picture"].get<int>()] += row["bits"].get<int64_t>();
    }
    const auto& stats = analysis["macroblock_stats"];
    ASSERT_EQ(stats.size(), 25U);
    for (const auto& picture : stats) {
      const int index = picture["frame"];
      SCOPED_TRACE(index);
      const std::string type = picture["type"];
      EXPECT_EQ(picture["macroblocks"], macroblocks);
      EXPECT_EQ(picture["intra"].get<int>() + picture["forward"].get<int>() +
                    picture["backward"].get<int>() + picture["bidirectional"].get<int>() +
                    picture["skipped"].get<int>() + picture["not_decoded"].get<int>(),
                macroblocks);
      if (type == "I") {
        EXPECT_EQ(picture["intra"], macroblocks);
      }
      if (type != "B") {
        EXPECT_EQ(picture["backward"], 0);
        EXPECT_EQ(picture["bidirectional"], 0);
      }
      for (const char* direction : {"forward", "backward"}) {
        for (const char* axis : {"horizontal", "vertical"}) {
          const auto& range = picture["vectors"][direction][axis];
          if (range["min"].is_null() || range["allowed_min"].is_null()) continue;
          EXPECT_GE(range["min"].get<int>(), range["allowed_min"].get<int>());
          EXPECT_LE(range["max"].get<int>(), range["allowed_max"].get<int>());
        }
      }
      // The picture's bits lie within its elementary-stream bytes, and the rows add up to them.
      const int64_t es_bits = analysis["es_bytes"][index].get<int64_t>() * 8;
      const int64_t bits =
          picture["macroblock_bits"].get<int64_t>() + picture["header_bits"].get<int64_t>();
      EXPECT_LE(bits, es_bits);
      EXPECT_GT(bits, es_bits - 8 * 1024);
      EXPECT_EQ(row_bits[index], picture["macroblock_bits"].get<int64_t>());
    }
  }
}

// What `ffmpeg -debug mb_type+qp` prints of each frame it outputs (display order): rows of
// five-character macroblocks, the quantiser in two digits, then the type (S skipped, i intra,
// > forward, < backward, X both), the partition (- two vectors, one per field or half) and
// = for field prediction. A field picture's macroblock row r is printed as row 2r of the top
// field and row 2r + 1 of the bottom one.
std::vector<std::vector<std::string>> ffmpeg_macroblocks(const std::string& stream) {
  const auto log = test::scratch_dir() / "mb-debug.txt";
  const std::string command = "ffmpeg -nostdin -nostats -threads 1 -debug mb_type+qp -i " + stream +
                              " -f null - 2> " + test::quoted(log);
  EXPECT_EQ(test::run_command(command), 0) << command;
  std::vector<std::vector<std::string>> frames;
  const std::regex row("^(([ 0-9][0-9][SiX<> ][ -][ =])+)$");
  std::istringstream lines(test::file_text(log));
  for (std::string line; std::getline(lines, line);) {
    line = line.substr(line.find("] ") == std::string::npos ? 0 : line.find("] ") + 2);
    std::smatch match;
    if (line.starts_with("New frame")) {
      frames.emplace_back();
    } else if (!frames.empty() && std::regex_match(line, match, row)) {
      frames.back().push_back(match[1]);
    }
  }
  std::filesystem::remove(log);
  return frames;
}

// The row of 16-line bands of the frame where ffmpeg puts one of our records: a field picture's
// macroblock row r is band 2r of the top field and band 2r + 1 of the bottom one.
int ffmpeg_row(const nlohmann::json& mb) {
  const int row = mb["row"];
  if (mb["structure"] == "frame") return row;
  return 2 * row + (mb["structure"] == "bottom" ? 1 : 0);
}

// ffmpeg's type and partition letters for one of our records.
std::string ffmpeg_label(const nlohmann::json& mb) {
  if (mb["skipped"]) return "S";
  if (mb["intra"]) return "i  ";
  const bool forward = mb["forward"] || mb["type"] == "P";
  const char type = forward && mb["backward"] ? 'X' : forward ? '>' : '<';
  const std::string motion = mb["motion_type"].is_null() ? "" : mb["motion_type"];
  if (mb["structure"] == "frame") return type + std::string(motion == "field" ? "-=" : "  ");
  return type + std::string(motion == "16x8" ? "-=" : " =");
}

// The luminance of every frame ffmpeg decodes (176x144), through a filter.
std::vector<uint8_t> ffmpeg_luminance(const std::string& stream, const std::string& filter) {
  const auto out = test::scratch_dir() / "mb-luminance.y";
  const std::string command =
      "ffmpeg -nostdin -loglevel error -y -flags2 +export_mvs -i " + stream + " -vf " + filter +
      " -fps_mode passthrough -f rawvideo -pix_fmt gray " + test::quoted(out);
  EXPECT_EQ(test::run_command(command), 0) << command;
  std::vector<uint8_t> luminance = test::read_file(out);
  std::filesystem::remove(out);
  return luminance;
}

// ffmpeg exports its vectors only as side data, which its codecview filter draws: a line from
// each block's centre (of each half, with field motion or 16x8) in its band to where its
// prediction is taken from (the vector in half samples, halved towards zero). Each half's
// vertical part is drawn doubled, in frame lines, but a field picture's 16x16 vector as coded, in
// field lines. Every non-zero vector of ours must end on (or next to) a pixel that the filter
// changed. ffmpeg exports nothing for the frame it outputs last; vectors are drawn by direction
// (mvt), since mv=pf skips the P field of a frame whose first field is intra.
int expect_vectors_drawn(const std::string& stream, const nlohmann::json& ours) {
  constexpr int kWidth = 176;
  constexpr int kHeight = 144;
  const std::vector<uint8_t> plain = ffmpeg_luminance(stream, "null");
  const std::vector<uint8_t> drawn = ffmpeg_luminance(stream, "codecview=mvt=fp+bp");
  const size_t frames = plain.size() / (kWidth * kHeight);
  EXPECT_EQ(drawn.size(), plain.size());
  const auto changed = [&](size_t frame, int x, int y) {
    if (x < 0 || y < 0 || x >= kWidth || y >= kHeight) return false;
    const size_t i = (frame * kHeight + size_t(y)) * kWidth + size_t(x);
    return drawn[i] != plain[i];
  };
  int checked = 0;
  for (const auto& mb : ours["macroblocks"]) {
    const size_t frame = mb["frame"];
    if (frame + 1 >= frames || mb["skipped"] || mb["intra"]) continue;
    for (const char* direction : {"forward_vectors", "backward_vectors"}) {
      const auto& vectors = mb[direction];
      const bool halves = vectors.size() == 2;
      for (size_t v = 0; v < vectors.size(); ++v) {
        const int dx = vectors[v]["x"];
        const int dy = vectors[v]["y"].get<int>() * (halves ? 2 : 1);
        const int x = 16 * mb["column"].get<int>() + 8;
        const int y = 16 * ffmpeg_row(mb) + (halves ? 4 + 8 * int(v) : 8);
        const int end_x = x + dx / 2;
        const int end_y = y + dy / 2;
        if ((dx == 0 && dy == 0) || y >= kHeight || end_x < 0 || end_y < 0 || end_x >= kWidth ||
            end_y >= kHeight) {
          continue;
        }
        bool found = false;
        for (int a = -1; a <= 1; ++a) {
          for (int b = -1; b <= 1; ++b) found = found || changed(frame, end_x + a, end_y + b);
        }
        EXPECT_TRUE(found) << "frame " << frame << " address " << mb["address"] << " " << direction
                           << " (" << dx << ", " << dy << ")";
        ++checked;
      }
    }
  }
  return checked;
}

// Every macroblock of every frame ffmpeg prints has our type, partition and quantiser, on each
// picture structure, and our vectors end where ffmpeg draws its own. Conventions:
// ffmpeg prints MPEG-1's quantiser doubled (as the MPEG-2 linear scale), and labels a skipped B
// macroblock of a frame picture as the macroblock before it, while it (as we do, by its decoded
// pixels) predicts it frame-based from that one's vectors.
TEST(CliMacroblocks, TypesQuantisersAndVectorsEqualFfmpegs) {
  const auto field_stream = [](const char* name, bool top_field_first) {
    const std::string path = (test::scratch_dir() / name).string();
    test::write_file(path, test::write_field_picture_stream(
                               test::make_moving_frames(176, 144, 10), 176, 144,
                               test::FieldStreamOptions{.top_field_first = top_field_first}));
    return path;
  };
  const struct {
    std::string stream;
    int quantiser_factor;
  } kStreams[] = {
      {test::make_ffmpeg_stream("mb-progressive.m2v", "-c:v mpeg2video -g 12 -bf 2 -f mpeg2video"),
       1},
      // Moving fields: field motion, and skipped B macroblocks after field-predicted ones.
      {test::make_ffmpeg_stream(
           "mb-field-motion.m2v",
           "-c:v mpeg2video -flags +ildct+ilme -top 1 -g 12 -bf 2 -b:v 300k -f mpeg2video",
           "-f lavfi -i testsrc2=size=176x144:rate=50,tinterlace=mode=interleave_top -t 1"),
       1},
      {field_stream("mb-fields.m2v", true), 1},
      {field_stream("mb-fields-bottom-first.m2v", false), 1},
      {test::make_ffmpeg_stream("mb-mpeg1.m1v", "-c:v mpeg1video -g 12 -bf 2 -f mpeg1video"), 2},
  };
  for (const auto& s : kStreams) {
    SCOPED_TRACE(s.stream);
    const auto frames = ffmpeg_macroblocks(test::quoted(s.stream));
    const auto ours =
        nlohmann::json::parse(run_cli("macroblocks --format json " + test::quoted(s.stream)).out);
    ASSERT_GE(frames.size(), 9U);
    std::map<std::string, int> compared;
    for (const auto& mb : ours["macroblocks"]) {
      const size_t frame = mb["frame"];
      if (frame >= frames.size()) continue;  // ffmpeg prints no last frame of field pictures
      const int column = mb["column"];
      const int row = ffmpeg_row(mb);
      ASSERT_LT(size_t(row), frames[frame].size());
      const std::string printed = frames[frame][size_t(row)].substr(size_t(5 * column), 5);
      SCOPED_TRACE(testing::Message() << "frame " << frame << " address " << mb["address"]);
      EXPECT_EQ(std::stoi(printed.substr(0, 2)),
                s.quantiser_factor * mb["quantiser_scale"].get<int>());
      const std::string label = ffmpeg_label(mb);
      EXPECT_EQ(printed.substr(2, label.size()), label);
      ++compared[mb["type"].get<std::string>() + (mb["skipped"] ? " skipped" : "")];
    }
    EXPECT_GT(compared["B skipped"], 0);
    EXPECT_GT(compared["P"], 0);
    EXPECT_GT(expect_vectors_drawn(test::quoted(s.stream), ours), 300);
  }
}

}  // namespace
}  // namespace tavik
