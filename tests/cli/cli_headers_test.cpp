#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/cli_run.h"
#include "support/field_picture_writer.h"
#include "support/stream_tools.h"

namespace tavik {
namespace {

namespace fs = std::filesystem;

using nlohmann::json;
using test::quoted;
using test::run_cli;

// 16 frames with B pictures; the containers carry a tone too.
constexpr const char* kVideo = "-f lavfi -i testsrc=size=176x144:rate=25:d=0.64";
constexpr const char* kWithAudio =
    "-f lavfi -i testsrc=size=176x144:rate=25:d=0.64 -f lavfi -i sine=d=0.64";

struct Case {
  const char* file;
  const char* args;
  const char* source;
  bool elementary;
};

const Case kCases[] = {
    {"clip.m2v", "-c:v mpeg2video -bf 2", kVideo, true},
    {"clip.m1v", "-c:v mpeg1video -bf 2", kVideo, true},
    {"clip.mpg", "-c:v mpeg1video -bf 2 -f vcd", kWithAudio, false},
    {"clip.vob", "-c:v mpeg2video -bf 2 -f vob", kWithAudio, false},
    {"clip.ts", "-c:v mpeg2video -bf 2 -f mpegts", kWithAudio, false},
    {"clip.m2ts", "-c:v mpeg2video -bf 2 -f mpegts -mpegts_m2ts_mode 1", kWithAudio, false},
};

// ffprobe writes most numbers as strings.
uint64_t number(const json& value) {
  return value.is_string() ? std::stoull(value.get<std::string>()) : value.get<uint64_t>();
}

json run_json(const std::string& command) {
  const fs::path out = test::scratch_dir() / "probe.json";
  EXPECT_EQ(test::run_command(command + " >" + quoted(out)), 0) << command;
  return json::parse(test::file_text(out));
}

// ffprobe's packets and stream, and its frames (asked for apart, each in an array of its own).
json ffprobe(const fs::path& stream) {
  const std::string probe = "ffprobe -v error -select_streams v:0 -of json ";
  json result = run_json(probe + "-show_packets -show_streams " + quoted(stream));
  result["frames"] = run_json(probe + "-show_frames " + quoted(stream))["frames"];
  return result;
}

json headers(const std::string& args) {
  const test::CliResult run = run_cli("headers --format json " + args);
  EXPECT_EQ(run.status, 0) << run.err;
  return json::parse(run.out);
}

// A picture as ffprobe sees it: its type, and where its access unit begins in the video: at the
// first sequence or group header before it, else at its picture header.
struct Picture {
  std::string type;
  uint64_t access_unit = 0;
  uint64_t picture_header = 0;
  int group = 0;
  int temporal_reference = 0;
};

const json* element(const json& node, const std::string& name);

void collect(const json& node, std::vector<Picture>& pictures, int64_t& pending, int& groups) {
  const std::string section = node["section"];
  if (section == "group") ++groups;
  if (section == "picture") {
    const uint64_t own = node["video_offset"];
    pictures.push_back({node["type"], pending >= 0 ? uint64_t(pending) : own, own, groups,
                        (*element(node, "temporal_reference"))["value"]});
    pending = -1;
    return;
  }
  if (section == "header" && node["name"] != "sequence_end_code") {
    if (pending < 0) pending = int64_t(node["video_offset"].get<uint64_t>());
  }
  if (node.contains("children")) {
    for (const json& child : node["children"]) collect(child, pictures, pending, groups);
  }
}

std::vector<Picture> pictures_of(const json& tree) {
  std::vector<Picture> pictures;
  int64_t pending = -1;
  int groups = 0;
  collect(tree["video"], pictures, pending, groups);
  return pictures;
}

// The first element of that name, depth first.
const json* element(const json& node, const std::string& name) {
  if (node.contains("elements")) {
    for (const json& e : node["elements"]) {
      if (e["name"] == name) return &e;
    }
  }
  if (node.contains("children")) {
    for (const json& child : node["children"]) {
      if (const json* found = element(child, name)) return found;
    }
  }
  return nullptr;
}

// The container's units that carry a PTS, by their offset: PTS and DTS (-1 when absent).
std::map<uint64_t, std::pair<int64_t, int64_t>> time_stamps(const json& node) {
  std::map<uint64_t, std::pair<int64_t, int64_t>> stamps;
  if (node.contains("elements")) {
    int64_t pts = -1;
    int64_t dts = -1;
    for (const json& e : node["elements"]) {
      if (e["name"] == "PTS") pts = e["value"];
      if (e["name"] == "DTS") dts = e["value"];
    }
    if (pts >= 0) stamps[node["offset"]] = {pts, dts};
  }
  for (const json& child : node.value("children", json::array())) stamps.merge(time_stamps(child));
  return stamps;
}

TEST(CliHeaders, EveryContainerAgreesWithFfprobe) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.file);
    const fs::path stream = test::make_ffmpeg_stream(c.file, c.args, c.source);
    const json tree = headers(quoted(stream));
    const json probe = ffprobe(stream);
    EXPECT_EQ(tree["schema"], 1);
    const std::vector<Picture> pictures = pictures_of(tree);
    const json& packets = probe["packets"];
    ASSERT_EQ(pictures.size(), packets.size());
    ASSERT_EQ(tree["pictures"], pictures.size());
    // Each access unit's bytes in the video, and (elementary streams) its place in the file.
    const uint64_t video_end = tree["video"]["bits"].get<uint64_t>() / 8;
    for (size_t i = 0; i < pictures.size(); ++i) {
      const uint64_t end = i + 1 < pictures.size() ? pictures[i + 1].access_unit : video_end;
      EXPECT_EQ(number(packets[i]["size"]), end - pictures[i].access_unit) << "picture " << i;
      if (c.elementary) {
        EXPECT_EQ(number(packets[i]["pos"]), pictures[i].access_unit);
      }
    }
    // In a container, each picture's packet (its PES packet, or the transport packet where that
    // begins) is a unit of the container with ffprobe's time stamps.
    if (!c.elementary) {
      const auto stamps = time_stamps(tree["container_units"]);
      size_t placed = 0;
      for (const json& packet : packets) {
        if (!packet.contains("pos")) continue;  // ffprobe does not always know it
        ++placed;
        const auto unit = stamps.find(number(packet["pos"]));
        ASSERT_NE(unit, stamps.end()) << packet.dump();
        EXPECT_EQ(unit->second.first, packet["pts"]);
        EXPECT_EQ(unit->second.second < 0 ? unit->second.first : unit->second.second,
                  packet["dts"]);
      }
      EXPECT_GE(placed * 2, packets.size());
    }
    // The picture types in display order: ffprobe's frames, and the pictures of each group by
    // their temporal references.
    std::string probed;
    for (const json& frame : probe["frames"]) probed += frame["pict_type"].get<std::string>();
    std::vector<Picture> shown = pictures;
    std::stable_sort(shown.begin(), shown.end(), [](const Picture& a, const Picture& b) {
      return std::pair(a.group, a.temporal_reference) < std::pair(b.group, b.temporal_reference);
    });
    std::string ours;
    for (const Picture& picture : shown) ours += picture.type;
    EXPECT_EQ(ours, probed);
    EXPECT_NE(ours.find('B'), std::string::npos);
    // The sequence's fields.
    const json& s = probe["streams"][0];
    EXPECT_EQ((*element(tree["video"], "horizontal_size_value"))["value"], s["width"]);
    EXPECT_EQ((*element(tree["video"], "vertical_size_value"))["value"], s["height"]);
    EXPECT_EQ(s["r_frame_rate"], "25/1");
    EXPECT_EQ((*element(tree["video"], "frame_rate_code"))["meaning"], "25 fps");
    if (const json* profile = element(tree["video"], "profile_and_level_indication")) {
      EXPECT_EQ((*profile)["meaning"], s["profile"].get<std::string>() + " profile, Main level");
      EXPECT_EQ((*profile)["value"].get<int>() & 15, s["level"]);
      EXPECT_EQ((*element(tree["video"], "chroma_format"))["meaning"], "4:2:0");
    }
    EXPECT_EQ(s["pix_fmt"], "yuv420p");
  }
}

std::set<std::string> keys_of(const json& object) {
  std::set<std::string> keys;
  for (const auto& item : object.items()) keys.insert(item.key());
  return keys;
}

// The fields are the documented ones: of the whole, of a section (a picture adds two), of an
// element.
TEST(CliHeaders, JsonFieldsAreTheDocumentedOnes) {
  const fs::path stream = test::make_ffmpeg_stream(kCases[4].file, kCases[4].args, kWithAudio);
  const json tree = headers(quoted(stream));
  const auto tables = test::documented_json_fields();
  EXPECT_EQ(keys_of(tree), tables.at("`tavik-cli headers --format json`"));
  std::set<std::string> section = tables.at("sections");
  section.erase("elements");
  EXPECT_EQ(keys_of(tree["container_units"]), section);
  const json& sequence = tree["video"]["children"][0];
  EXPECT_EQ(keys_of(sequence), section);
  section.erase("children");
  section.insert("elements");
  EXPECT_EQ(keys_of(sequence["children"][0]), section);
  EXPECT_EQ(keys_of(sequence["children"][0]["elements"][0]), tables.at("elements"));
}

// The tree of picture 2 and 3 alone, and the bytes of one picture with its headers marked.
TEST(CliHeaders, FramesAndHexdumpShowOnePicture) {
  const fs::path stream = test::make_ffmpeg_stream(kCases[0].file, kCases[0].args, kVideo);
  const std::vector<Picture> two = pictures_of(headers("--frames 2-3 " + quoted(stream)));
  ASSERT_EQ(two.size(), 2u);
  const test::CliResult text = run_cli("headers --frames 2 " + quoted(stream));
  EXPECT_NE(text.out.find("\n      picture 2 = "), std::string::npos) << text.out;
  EXPECT_EQ(text.out.find("picture 3 = "), std::string::npos);
  EXPECT_NE(text.out.find("  frame_rate_code = 3 (25 fps)  [byte 7 bit 4, 4 bits]\n"),
            std::string::npos);
  // The sequence header repeated in front of the second group goes with that group alone.
  const auto sequence_headers = [](const std::string& out) {
    size_t count = 0;
    for (size_t at = out.find("\n    sequence_header  ["); at != std::string::npos;
         at = out.find("\n    sequence_header  [", at + 1)) {
      ++count;
    }
    return count;
  };
  EXPECT_EQ(sequence_headers(run_cli("headers " + quoted(stream)).out), 2u);
  EXPECT_EQ(sequence_headers(text.out), 1u);
  EXPECT_EQ(sequence_headers(run_cli("headers --frames 13 " + quoted(stream)).out), 2u);

  const test::CliResult dump = run_cli("hexdump --frame 2 " + quoted(stream));
  ASSERT_EQ(dump.status, 0) << dump.err;
  const uint64_t start = two[0].picture_header;
  char row[24];
  std::snprintf(row, sizeof row, "%08llx  ", static_cast<unsigned long long>(start / 16 * 16));
  EXPECT_EQ(dump.out.find(std::string("\n") + row), dump.out.find('\n')) << dump.out;
  EXPECT_NE(dump.out.find("picture_header at +"), std::string::npos) << dump.out;
  EXPECT_NE(dump.out.find("slice 0 at +"), std::string::npos);
  EXPECT_NE(dump.out.find("00 00 01 00"), std::string::npos);
  EXPECT_EQ(run_cli("hexdump --frame 99 " + quoted(stream)).status, 1);
  EXPECT_EQ(run_cli("headers --frames 3-2 " + quoted(stream)).status, 2);
}

// The fields of a macroblock by name, from a headers node or a macroblocks CSV row (the empty
// cells left out).
using Fields = std::map<std::string, std::string>;

const json* section_named(const json& node, const std::string& section) {
  if (node.value("section", "") == section) return &node;
  if (!node.contains("children")) return nullptr;
  for (const json& child : node["children"]) {
    if (const json* found = section_named(child, section)) return found;
  }
  return nullptr;
}

std::vector<std::string> cells(const std::string& line) {
  std::vector<std::string> out(1);
  for (const char c : line) {
    if (c == ',') {
      out.emplace_back();
    } else {
      out.back().push_back(c);
    }
  }
  return out;
}

// The macroblocks of coded picture N under headers --macroblocks equal the macroblocks
// command's rows of that picture (whose frame, in display order, is another for a reordered
// picture): in a transport stream a B picture and a P picture of the second group, in a
// stream of field pictures the second field of a frame (drawn in the lower half of its rows).
TEST(CliHeaders, MacroblockNodesEqualTheMacroblocksRows) {
  const fs::path fields = test::scratch_dir() / "mb-fields.m2v";
  test::write_file(fields.string(),
                   test::write_field_picture_stream(test::make_moving_frames(176, 144, 6), 176, 144,
                                                    test::FieldStreamOptions{}));
  const std::pair<fs::path, std::vector<int>> cases[] = {
      {test::make_ffmpeg_stream(kCases[4].file, kCases[4].args, kWithAudio), {2, 13}},
      {fields, {1, 5}},
  };
  for (const auto& [stream, pictures] : cases) {
    const test::CliResult csv = run_cli("macroblocks --format csv " + quoted(stream));
    ASSERT_EQ(csv.status, 0) << csv.err;
    std::istringstream lines(csv.out);
    std::string line;
    std::getline(lines, line);
    const std::vector<std::string> names = cells(line);
    std::map<int, std::vector<Fields>> rows;  // by coded picture
    std::map<int, int> frames;
    while (std::getline(lines, line)) {
      const std::vector<std::string> row = cells(line);
      Fields fields_of_row;
      for (size_t c = 4; c < names.size(); ++c) {
        if (!row[c].empty()) fields_of_row[names[c]] = row[c];
      }
      rows[std::stoi(row[1])].push_back(fields_of_row);
      frames[std::stoi(row[1])] = std::stoi(row[0]);
    }
    for (const int picture : pictures) {
      SCOPED_TRACE(stream.string() + " picture " + std::to_string(picture));
      EXPECT_NE(frames[picture], picture);
      const json tree =
          headers("--macroblocks --frames " + std::to_string(picture) + " " + quoted(stream));
      const json* macroblocks = section_named(tree["video"], "macroblocks");
      ASSERT_NE(macroblocks, nullptr);
      std::vector<Fields> nodes;
      for (const json& macroblock : (*macroblocks)["children"]) {
        Fields node_fields;
        for (const json& e : macroblock["elements"]) {
          node_fields[e["name"]] =
              e["value"].is_string() ? e["value"].get<std::string>() : e["value"].dump();
        }
        nodes.push_back(node_fields);
      }
      ASSERT_FALSE(nodes.empty());
      EXPECT_EQ(nodes, rows[picture]);
    }
  }
}

// A stream cut inside a header: the tree goes up to it and marks it; garbage is refused.
TEST(CliHeaders, CutStreamMarksTheDamagedHeader) {
  const fs::path stream = test::make_ffmpeg_stream(kCases[0].file, kCases[0].args, kVideo);
  std::vector<uint8_t> bytes = test::read_file(stream);
  bytes.resize(44);  // within the first picture coding extension
  const fs::path cut = test::scratch_dir() / "cut.m2v";
  test::write_file(cut, bytes);
  const json tree = headers(quoted(cut));
  const std::string dumped = tree.dump();
  EXPECT_NE(dumped.find(R"("damaged":"damaged: cut by the end of the stream")"), std::string::npos);
  EXPECT_EQ(pictures_of(tree).size(), 1u);

  // A transport packet of the video left out: the next one of its PID is marked.
  std::vector<uint8_t> ts =
      test::read_file(test::make_ffmpeg_stream(kCases[4].file, kCases[4].args, kWithAudio));
  const size_t lost = 188 * 10;
  ASSERT_EQ(((ts[lost + 1] & 0x1F) << 8) | ts[lost + 2], 0x100);
  ts.erase(ts.begin() + lost, ts.begin() + lost + 188);
  const fs::path gap = test::scratch_dir() / "gap.ts";
  test::write_file(gap, ts);
  const std::string gapped = run_cli("headers " + quoted(gap)).out;
  EXPECT_NE(gapped.find("    transport_packet 10 = PID 0x0100 (damaged: continuity counter gap"),
            std::string::npos)
      << gapped.substr(0, 4000);

  const fs::path garbage = test::scratch_dir() / "garbage.bin";
  test::write_file(garbage, {'n', 'o', 't', ' ', 'm', 'p', 'e', 'g'});
  const test::CliResult refused = run_cli("headers " + quoted(garbage));
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.out, "");
}

}  // namespace
}  // namespace tavik
