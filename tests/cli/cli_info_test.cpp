#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>

#include "support/cli_run.h"
#include "support/stream_tools.h"

namespace tavik {
namespace {

namespace fs = std::filesystem;

using test::CliResult;
using test::quoted;
using test::run_cli;

struct InfoCase {
  const char* file;
  const char* args;
  const char* source;
  double duration;
  const char* expected;  // the stream object, in JSON
};

const InfoCase kCases[] = {
    {"interlaced.m2v",
     "-c:v mpeg2video -flags +ildct+ilme -top 1 -aspect 4:3 -g 12 -bf 2 -f mpeg2video",
     "-f lavfi -i testsrc2=size=170x130:rate=30000/1001 -t 1", 1.001,
     R"({"container": "MPEG video elementary stream", "skipped_bytes": 0, "video": "MPEG-2",
         "profile": "Main", "level": "Main", "width": 170, "height": 130, "display_width": 170,
         "display_height": 130, "aspect_ratio": "4:3", "sample_aspect_ratio": "52:51",
         "frame_rate": 29.97002997002997, "chroma_format": "4:2:0", "scan": "interlaced",
         "field_order": "top field first", "closed_gops": 1, "open_gops": 2, "sequences": 1,
         "frames": 30})"},
    {"clip.mpg", "-c:v mpeg1video -g 12 -bf 2 -f mpeg",
     "-f lavfi -i testsrc2=size=176x144:rate=25 -t 1", 1.0,
     R"({"container": "MPEG-1 system stream", "skipped_bytes": 0, "video": "MPEG-1",
         "profile": null, "level": null, "width": 176, "height": 144, "display_width": 176,
         "display_height": 144, "aspect_ratio": "pixel height/width 1.0000",
         "sample_aspect_ratio": "1:1", "frame_rate": 25.0, "chroma_format": "4:2:0",
         "scan": "progressive", "field_order": "progressive", "closed_gops": 1, "open_gops": 2,
         "sequences": 1, "frames": 25})"},
};

TEST(CliInfo, HeadersAndMeasuresInTextAndJson) {
  for (const InfoCase& c : kCases) {
    const fs::path stream = test::make_ffmpeg_stream(c.file, c.args, c.source);
    const CliResult result = run_cli("info --format json " + quoted(stream));
    ASSERT_EQ(result.status, 0) << result.err;
    nlohmann::json info = nlohmann::json::parse(result.out)["stream"];
    const auto average = info["average_bit_rate"].get<double>();
    EXPECT_NEAR(average, double(fs::file_size(stream)) * 8 / info["duration"].get<double>(),
                average / 100)
        << c.file;
    EXPECT_NEAR(info["duration"].get<double>(), c.duration, 1e-9) << c.file;
    for (const char* measured : {"average_bit_rate", "bit_rate", "vbv_buffer_size", "duration"}) {
      info.erase(measured);
    }
    EXPECT_EQ(info, nlohmann::json::parse(c.expected)) << c.file;

    const CliResult text = run_cli("info " + quoted(stream));
    EXPECT_EQ(text.out.rfind("File: " + stream.string() + "\nContainer: ", 0), 0u) << text.out;
    EXPECT_NE(text.out.find("\nFrames measured: "), std::string::npos) << text.out;
  }
}

std::set<std::string> keys_of(const nlohmann::ordered_json& object) {
  std::set<std::string> keys;
  for (const auto& item : object.items()) keys.insert(item.key());
  return keys;
}

// Every JSON written carries its schema, and its fields are the documented ones.
TEST(CliInfo, JsonFieldsAreTheDocumentedOnes) {
  const fs::path stream =
      test::make_ffmpeg_stream(kCases[0].file, kCases[0].args, kCases[0].source);
  const auto tables = test::documented_json_fields();
  const nlohmann::ordered_json info =
      nlohmann::ordered_json::parse(run_cli("info --format json " + quoted(stream)).out);
  const nlohmann::ordered_json analysis = nlohmann::ordered_json::parse(
      run_cli("analyze --format json --trace 1 " + quoted(stream)).out);
  for (const nlohmann::ordered_json* json : {&info, &analysis}) {
    EXPECT_EQ(json->begin().key(), "schema");
    EXPECT_EQ((*json)["schema"], 1);
    EXPECT_EQ(keys_of((*json)["stream"]), tables.at("`stream`"));
  }
  EXPECT_EQ(keys_of(info), tables.at("`tavik-cli info --format json`"));
  EXPECT_EQ(keys_of(analysis), tables.at("`tavik-cli analyze --format json`"));
  ASSERT_FALSE(analysis["messages"].empty());
  EXPECT_EQ(keys_of(analysis["messages"][0]), tables.at("`messages`"));

  const auto timing_json = [&stream](const std::string& command) {
    return nlohmann::ordered_json::parse(run_cli(command + " --format json " + quoted(stream)).out);
  };
  const nlohmann::ordered_json vbv = timing_json("vbv");
  EXPECT_EQ(keys_of(vbv), tables.at("`tavik-cli vbv --format json`"));
  EXPECT_EQ(keys_of(vbv["pictures"][0]), tables.at("`pictures`"));
  // The rows of each kind hold some of the documented fields.
  const std::set<std::string>& row_fields = tables.at("`rows`");
  for (const char* per : {"second", "picture"}) {
    const nlohmann::ordered_json bitrate = timing_json(std::string("bitrate --per ") + per);
    EXPECT_EQ(keys_of(bitrate), tables.at("`tavik-cli bitrate --format json`"));
    const std::set<std::string> row = keys_of(bitrate["rows"][0]);
    EXPECT_TRUE(std::includes(row_fields.begin(), row_fields.end(), row.begin(), row.end()));
  }
}

TEST(CliInfo, EverySubcommandTellsItsVersion) {
  for (const char* command :
       {"", "analyze ", "decode ", "snapshot ", "info ", "bitrate ", "vbv "}) {
    const CliResult result = run_cli(std::string(command) + "--version");
    EXPECT_EQ(result.status, 0) << command;
    EXPECT_EQ(result.out.rfind("tavik-cli ", 0), 0u) << command;
  }
}

}  // namespace
}  // namespace tavik
