#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "support/cli_run.h"
#include "support/stream_tools.h"

namespace tavik {
namespace {

namespace fs = std::filesystem;

using test::quoted;
using test::run_cli;

// 16 frames with a second of tone: every container made by ffmpeg carries audio too.
constexpr const char* kSource =
    "-f lavfi -i testsrc=size=176x144:rate=25:d=0.64 -f lavfi -i sine=d=0.64";

struct Container {
  const char* file;
  const char* args;
  const char* key;
  const char* origin;  // the line printed before the summary
};

const Container kContainers[] = {
    {"ffmpeg.vob", "-c:v mpeg2video -f vob", "program-stream",
     "MPEG-2 program stream, video stream 0xE0"},
    {"svcd.mpg", "-target pal-svcd", "program-stream", "MPEG-2 program stream, video stream 0xE0"},
    {"dvd.vob", "-target pal-dvd", "program-stream", "MPEG-2 program stream, video stream 0xE0"},
    {"vcd.mpg", "-target pal-vcd", "system-stream", "MPEG-1 system stream, video stream 0xE0"},
    {"f-vcd.mpg", "-c:v mpeg1video -f vcd", "system-stream",
     "MPEG-1 system stream, video stream 0xE0"},
    {"clip.ts", "-c:v mpeg2video -f mpegts", "transport-stream",
     "MPEG-2 transport stream, video PID 0x100"},
    {"clip.m2ts", "-c:v mpeg2video -f mpegts -mpegts_m2ts_mode 1", "m2ts",
     "MPEG-2 transport stream (192-byte packets), video PID 0x1011"},
    // Two video streams: the first is measured, and the line before the summary says so.
    {"two.ts", "-map 0:v -map 0:v -map 1:a -c:v mpeg2video -f mpegts", "transport-stream",
     "MPEG-2 transport stream, video PID 0x100 (one of 2 video streams)"},
    {"two.vob", "-map 0:v -map 0:v -map 1:a -c:v mpeg2video -f vob", "program-stream",
     "MPEG-2 program stream, video stream 0xE0 (one of 2 video streams)"},
    {"clip.m2v", "-c:v mpeg2video -an -f mpeg2video", "elementary", ""},
};

fs::path make_stream(const Container& c) {
  return test::make_ffmpeg_stream(c.file, c.args, kSource);
}

// ffprobe's picture types of the first video stream, in display order ("IPPP…").
std::string ffprobe_types(const fs::path& stream) {
  const fs::path out = test::scratch_dir() / "types.txt";
  const std::string command =
      "ffprobe -v error -select_streams v:0 -show_entries "
      "frame=pict_type -of csv=p=0 " +
      quoted(stream) + " >" + quoted(out) + " 2>/dev/null";
  EXPECT_EQ(test::run_command(command), 0) << command;
  std::string types = test::file_text(out);
  std::erase_if(types, [](char c) { return c != 'I' && c != 'P' && c != 'B'; });
  return types;
}

// ffprobe's packet sizes of the first video stream, in stream order.
std::vector<int64_t> ffprobe_packet_sizes(const fs::path& stream) {
  const fs::path out = test::scratch_dir() / "sizes.txt";
  const std::string command =
      "ffprobe -v error -select_streams v:0 -show_entries packet=size "
      "-of csv=p=0 " +
      quoted(stream) + " >" + quoted(out) + " 2>/dev/null";
  EXPECT_EQ(test::run_command(command), 0) << command;
  std::vector<int64_t> sizes;
  std::istringstream lines(test::file_text(out));
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty()) sizes.push_back(std::stoll(line));
  }
  return sizes;
}

// The picture types measured, in stream order (the same as display order without B pictures).
std::string measured_types(const nlohmann::json& json) {
  std::string types;
  for (const int type : json["frame_types"].get<std::vector<int>>()) types += " IPB"[type & 3];
  return types;
}

struct Analysis {
  test::CliResult run;
  nlohmann::json json;
};

Analysis analyze(const fs::path& stream) {
  Analysis analysis{run_cli("analyze --format json " + quoted(stream)), {}};
  if (analysis.run.status == 0) analysis.json = nlohmann::json::parse(analysis.run.out);
  return analysis;
}

TEST(CliContainers, EveryContainerMatchesFfprobe) {
  for (const Container& c : kContainers) {
    SCOPED_TRACE(c.file);
    const fs::path stream = make_stream(c);
    const Analysis analysis = analyze(stream);
    ASSERT_EQ(analysis.run.status, 0) << analysis.run.err;
    // With JSON on the standard output, the container's line goes to the standard error.
    const std::string origin_line = *c.origin == 0 ? "" : std::string(c.origin) + "\n";
    EXPECT_EQ(analysis.run.err, origin_line);
    EXPECT_EQ(analysis.json["container"], c.key);
    EXPECT_EQ(measured_types(analysis.json), ffprobe_types(stream));
    EXPECT_EQ(measured_types(analysis.json).size(), 16u);
    // The elementary-stream sizes are the video packets' payload, as ffprobe splits it.
    EXPECT_EQ(analysis.json["es_bytes"].get<std::vector<int64_t>>(), ffprobe_packet_sizes(stream));
    // Every byte counts but the three that the scanner's reset call reads.
    EXPECT_EQ(analysis.json["bytes_scanned"].get<uint64_t>() + 3, fs::file_size(stream));
    // The summary and its file are the report's text alone; the container goes before it.
    const std::string summary = analysis.json["summary"];
    EXPECT_EQ(summary.rfind("SUMMARY:\n\n- Total number of Bytes read: ", 0), 0u) << summary;
    const fs::path sum = test::scratch_dir() / "clip.sum";
    const test::CliResult plain =
        run_cli("analyze --summary-file=" + quoted(sum) + " " + quoted(stream));
    EXPECT_EQ(plain.out, origin_line + summary);
    EXPECT_EQ(test::file_text(sum), summary);
  }
}

// The transport stream's packets and the byte offset of the one to damage: a video packet that
// continues a packet of the video stream, past the middle of the file.
struct Packets {
  std::vector<uint8_t> bytes;
  size_t victim = 0;
};

Packets transport_packets() {
  Packets packets{test::read_file(make_stream(kContainers[5])), 0};
  for (size_t at = packets.bytes.size() / 2 / 188 * 188; at + 188 <= packets.bytes.size();
       at += 188) {
    const uint8_t* p = &packets.bytes[at];
    const int pid = (p[1] & 0x1F) << 8 | p[2];
    if (pid == 0x100 && (p[1] & 0x40) == 0 && (p[3] & 0x30) == 0x10) {
      packets.victim = at;
      break;
    }
  }
  EXPECT_NE(packets.victim, 0u);
  return packets;
}

TEST(CliContainers, DamagedTransportPacketsWarnOnceAndDecodingGoesOn) {
  const Packets packets = transport_packets();
  std::vector<uint8_t> lost = packets.bytes;
  lost.erase(lost.begin() + long(packets.victim), lost.begin() + long(packets.victim + 188));
  std::vector<uint8_t> flagged = packets.bytes;
  flagged[packets.victim + 1] |= 0x80;
  const struct {
    const char* file;
    const std::vector<uint8_t>& bytes;
    const char* warning;
  } cases[] = {
      {"lost.ts", lost, "packets lost (continuity counter gap)"},
      {"flagged.ts", flagged, "transport error indicator set"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const fs::path path = test::scratch_dir() / c.file;
    test::write_file(path, c.bytes);
    const test::CliResult run = run_cli("analyze --decode " + quoted(path));
    ASSERT_EQ(run.status, 0) << run.err;
    // One warning, at the packet after the gap or at the flagged packet.
    const std::string warning = "Transport stream damaged at byte ";
    EXPECT_EQ(run.err.find(warning), run.err.rfind(warning)) << run.err;
    EXPECT_NE(run.err.find(std::string(": ") + c.warning + "\n"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find(warning + std::to_string(packets.victim)), 0u) << run.err;
    EXPECT_NE(run.out.find("- Total number of Frames: 16 frames.\n"), std::string::npos) << run.out;
  }
}

// A file cut inside a packet of video: the frames before the cut are all measured, and the
// decoding ends as at the end of the stream.
TEST(CliContainers, PacketCutByTheEndOfTheFile) {
  for (const Container& c : {kContainers[0], kContainers[5]}) {
    SCOPED_TRACE(c.file);
    std::vector<uint8_t> bytes = test::read_file(make_stream(c));
    bytes.resize(bytes.size() * 2 / 3 + 77);
    const fs::path path = test::scratch_dir() / (std::string("cut-") + c.file);
    test::write_file(path, bytes);
    const Analysis analysis = analyze(path);
    ASSERT_EQ(analysis.run.status, 0) << analysis.run.err;
    const std::string types = measured_types(analysis.json);
    EXPECT_EQ(types, ffprobe_types(path));
    EXPECT_GT(types.size(), 4u);
    EXPECT_EQ(analysis.json["bytes_scanned"].get<uint64_t>() + 3, bytes.size());
  }
}

// A video packet of a program stream cut short in the middle of the file: one warning, the
// walk goes on from the next pack, and every byte is still counted.
TEST(CliContainers, ProgramStreamPacketCutShort) {
  std::vector<uint8_t> bytes = test::read_file(make_stream(kContainers[0]));
  const uint8_t video_code[] = {0x00, 0x00, 0x01, 0xE0};
  const auto packet = std::search(bytes.begin() + long(bytes.size() / 2), bytes.end(),
                                  std::begin(video_code), std::end(video_code));
  ASSERT_NE(packet, bytes.end());
  bytes.erase(packet + 100, packet + 400);
  const fs::path path = test::scratch_dir() / "cut-packet.vob";
  test::write_file(path, bytes);
  const Analysis analysis = analyze(path);
  ASSERT_EQ(analysis.run.status, 0) << analysis.run.err;
  const std::string warning = "Program stream damaged at byte ";
  EXPECT_EQ(analysis.run.err.find(warning), analysis.run.err.rfind(warning)) << analysis.run.err;
  EXPECT_NE(analysis.run.err.find(warning), std::string::npos) << analysis.run.err;
  EXPECT_EQ(measured_types(analysis.json), ffprobe_types(path));
  EXPECT_EQ(analysis.json["bytes_scanned"].get<uint64_t>() + 3, bytes.size());
}

// Input that is not MPEG-1 or MPEG-2 video is refused with exit status 1 and says what it is.
TEST(CliContainers, UnsupportedInputSaysWhatWasFound) {
  const std::string not_valid = "This not a valid MPEG system or video stream\n";
  const std::string reads = ": Tavik reads MPEG-1 and MPEG-2 video\n";
  const std::string video = "-f lavfi -i testsrc=size=176x144:rate=25:d=0.2";
  const std::string audio = "-f lavfi -i sine=d=0.2";
  const struct {
    const char* file;
    std::string source;
    const char* args;
    std::string text;
  } cases[] = {
      {"h264.264", video, "-c:v libx264 -f h264",
       not_valid + "H.264 video is not supported" + reads},
      {"part2.m4v", video, "-c:v mpeg4 -f m4v",
       not_valid + "MPEG-4 Part 2 video is not supported" + reads},
      {"clip.mp4", video, "-c:v mpeg4",
       not_valid + "MP4 and QuickTime files are not supported" + reads},
      {"clip.avi", video, "-c:v mpeg4", not_valid + "AVI files are not supported" + reads},
      {"clip.mkv", video, "-c:v mpeg2video",
       not_valid + "Matroska and WebM files are not supported" + reads},
      {"frame.png", video, "-frames:v 1", not_valid + "PNG images are not supported" + reads},
      {"tone.mp2", audio, "-f mp2", not_valid + "The file holds audio and no video" + reads},
      {"tone.mpg", audio, "-f mpeg", "The MPEG-1 system stream holds audio and no video" + reads},
      {"tone.ts", audio, "-f mpegts",
       "The MPEG-2 transport stream holds audio and no video" + reads},
      {"h264.ts", video, "-c:v libx264 -f mpegts", "H.264 video is not supported" + reads},
      {"h264.vob", video, "-c:v libx264 -f vob", "H.264 video is not supported" + reads},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const fs::path path = test::make_ffmpeg_stream(c.file, c.args, c.source);
    const test::CliResult run = run_cli("analyze " + quoted(path));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, c.text);
  }
  const fs::path empty = test::scratch_dir() / "empty.mpg";
  test::write_file(empty, {});
  const test::CliResult run = run_cli("analyze " + quoted(empty));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, not_valid + "The file is empty\n");
}

}  // namespace
}  // namespace tavik
