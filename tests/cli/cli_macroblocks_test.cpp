#include <gtest/gtest.h>

#include <map>
#include <nlohmann/json.hpp>
#include <string>

#include "support/cli_run.h"
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
      if (type == "I") EXPECT_EQ(picture["intra"], macroblocks);
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

}  // namespace
}  // namespace tavik
