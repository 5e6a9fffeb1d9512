#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

#include "support/cli_run.h"
#include "support/stream_tools.h"

namespace tavik {
namespace {

namespace fs = std::filesystem;

using test::CliResult;
using test::file_text;
using test::quoted;
using test::run_cli;

// 25 pictures in GOPs of 12 with two B pictures between references.
fs::path elementary_stream() {
  return test::make_ffmpeg_stream("clip.m2v", "-c:v mpeg2video -g 12 -bf 2 -f mpeg2video");
}

fs::path system_stream() {
  return test::make_ffmpeg_stream("clip.mpg", "-c:v mpeg1video -g 12 -bf 2 -f mpeg");
}

// Another picture size and coding, as an elementary stream.
fs::path system_stream_video() {
  return test::make_ffmpeg_stream("other.m1v", "-c:v mpeg1video -g 10 -bf 1 -f mpeg1video",
                                  "-f lavfi -i testsrc2=size=160x112:rate=25 -t 0.8");
}

nlohmann::json analyze_json(const fs::path& stream, const std::string& options = "") {
  const CliResult result = run_cli("analyze --format json " + options + " " + quoted(stream));
  EXPECT_EQ(result.status, 0) << result.err;
  return nlohmann::json::parse(result.out);
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(CliAnalyze, PrintsTheSummary) {
  const CliResult result = run_cli("analyze " + quoted(elementary_stream()));
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out.rfind("SUMMARY:\n\n- Total number of Bytes read: ", 0), 0u) << result.out;
  EXPECT_NE(result.out.find("- Total number of Frames: 25 frames.\n"), std::string::npos)
      << result.out;
  EXPECT_NE(result.out.find("- 3 I Frames, average size: "), std::string::npos) << result.out;
  // --decode measures by decoding every picture: the same summary.
  const CliResult decoded = run_cli("analyze --decode " + quoted(elementary_stream()));
  ASSERT_EQ(decoded.status, 0) << decoded.err;
  EXPECT_EQ(decoded.out, result.out);
}

TEST(CliAnalyze, JsonCountersAgreeWithArrays) {
  const fs::path stream = elementary_stream();
  const nlohmann::json json = analyze_json(stream);
  const int64_t frames = json["last_frame"].get<int64_t>() + 1;
  const int64_t gops = json["open_gop"].get<int64_t>();
  ASSERT_EQ(frames, 25);
  EXPECT_EQ(json["input"], stream.string());
  EXPECT_EQ(json["frame_bytes"].size(), size_t(frames));
  EXPECT_EQ(json["frame_types"].size(), size_t(frames));
  EXPECT_EQ(json["frame_first_slice"].size(), size_t(frames + 1));
  EXPECT_EQ(json["slice_bytes"].size(), json["slice_count"].get<size_t>());
  ASSERT_GE(gops, 0);
  EXPECT_EQ(json["gop_bytes"].size(), size_t(gops));
  EXPECT_EQ(json["gop_first_frame"].size(), size_t(gops + 1));
  EXPECT_EQ(json["frame_first_slice"].back(), json["slice_count"]);

  const auto frame_bytes = json["frame_bytes"].get<std::vector<uint64_t>>();
  const auto gop_bytes = json["gop_bytes"].get<std::vector<uint64_t>>();
  const auto bytes_scanned = json["bytes_scanned"].get<uint64_t>();
  EXPECT_LE(std::accumulate(frame_bytes.begin(), frame_bytes.end(), uint64_t{0}), bytes_scanned);
  EXPECT_LE(std::accumulate(gop_bytes.begin(), gop_bytes.end(), uint64_t{0}), bytes_scanned);
  EXPECT_LE(bytes_scanned, fs::file_size(stream));
  EXPECT_GE(json["max_frame_bytes"].get<uint64_t>(),
            *std::max_element(frame_bytes.begin(), frame_bytes.end()));

  const auto types = json["frame_types"].get<std::vector<int>>();
  EXPECT_EQ(std::count(types.begin(), types.end(), 1), 3);
  EXPECT_EQ(json["summary"], run_cli("analyze " + quoted(stream)).out);
}

TEST(CliAnalyze, FiltersLeaveFrameTypesOut) {
  const fs::path stream = elementary_stream();
  const auto all_types = analyze_json(stream)["frame_types"].get<std::vector<int>>();
  const auto without_b = analyze_json(stream, "--filter-b")["frame_types"].get<std::vector<int>>();
  std::vector<int> expected;
  std::copy_if(all_types.begin(), all_types.end(), std::back_inserter(expected),
               [](int type) { return type != 3; });
  EXPECT_EQ(without_b, expected);
  const auto only_b = analyze_json(stream, "--filter-i --filter-p")["frame_types"];
  EXPECT_EQ(only_b.size(), all_types.size() - expected.size());
}

TEST(CliAnalyze, CsvHasOneRowPerFrame) {
  const fs::path stream = system_stream();
  const nlohmann::json json = analyze_json(stream);
  const CliResult result = run_cli("analyze --format csv " + quoted(stream));
  ASSERT_EQ(result.status, 0) << result.err;
  const std::vector<std::string> lines = lines_of(result.out);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], "frame,type,bytes,first_slice,slice_entries,gop");
  EXPECT_EQ(lines.size(), 26u);
  EXPECT_EQ(json["frame_bytes"].size(), 25u);
  uint64_t bytes = 0;
  for (size_t row = 1; row < lines.size(); ++row) {
    std::vector<std::string> cells;
    std::istringstream in(lines[row]);
    for (std::string cell; std::getline(in, cell, ',');) cells.push_back(cell);
    ASSERT_EQ(cells.size(), 6u) << lines[row];
    EXPECT_EQ(cells[0], std::to_string(row - 1));
    bytes += std::stoull(cells[2]);
  }
  const auto frame_bytes = json["frame_bytes"].get<std::vector<uint64_t>>();
  EXPECT_EQ(bytes, std::accumulate(frame_bytes.begin(), frame_bytes.end(), uint64_t{0}));
}

TEST(CliAnalyze, TableHasAlignedRows) {
  const CliResult result = run_cli("analyze --format table " + quoted(elementary_stream()));
  ASSERT_EQ(result.status, 0) << result.err;
  const std::vector<std::string> lines = lines_of(result.out);
  ASSERT_EQ(lines.size(), 26u);
  for (const std::string& line : lines) EXPECT_EQ(line.size(), lines[0].size()) << line;
}

TEST(CliAnalyze, WritesReportFilesWithDefaultNames) {
  const fs::path dir = test::scratch_dir() / "copy.d";
  fs::create_directories(dir);
  const fs::path input = dir / "video.m2v";
  fs::copy_file(elementary_stream(), input, fs::copy_options::overwrite_existing);

  const CliResult result = run_cli("analyze --save-all " + quoted(input));
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(file_text(dir / "video.sum"), result.out);
  const std::string frames = file_text(dir / "video.frm");
  EXPECT_EQ(frames.rfind("Analisys (FRAME) of: " + input.string() + "\n\nFrame: 0 - Type: I - ", 0),
            0u);
  EXPECT_EQ(lines_of(frames).size(), 27u);
  EXPECT_EQ(file_text(dir / "video.gop").rfind("Analisys (GOP) of: ", 0), 0u);
  EXPECT_EQ(file_text(dir / "video.slc").rfind("Analisys (SLICE) of: ", 0), 0u);

  ASSERT_EQ(run_cli("analyze --bare --frame-file --gop-file " + quoted(input)).status, 0);
  const std::string bare = file_text(dir / "video.frm");
  EXPECT_EQ(std::count(bare.begin(), bare.end(), ' '), 25);
  EXPECT_EQ(bare.find('\n'), std::string::npos);
  EXPECT_EQ(bare.back(), ' ');
}

TEST(CliAnalyze, WritesNamedFilesAndDocumentLists) {
  const fs::path stream = elementary_stream();
  const fs::path dir = test::scratch_dir() / "named";
  fs::create_directories(dir);
  const CliResult result =
      run_cli("analyze --gop-file=" + quoted(dir / "g.txt") + " --slice-file " +
              quoted(dir / "s.txt") + " --frame-list " + quoted(dir / "list.frm") + " --gop-list " +
              quoted(dir / "gops.frm") + " " + quoted(stream));
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_TRUE(fs::exists(dir / "g.txt"));
  EXPECT_TRUE(fs::exists(dir / "s.txt"));
  EXPECT_FALSE(fs::exists(dir / "clip.frm"));

  const std::string list = file_text(dir / "list.frm");
  EXPECT_EQ(list.rfind("An\xE1lisis Bytes/frame: " + stream.string() + "\r\n\r\nFrame: 0 - ", 0),
            0u);
  EXPECT_TRUE(list.ends_with("\r\nTotal number of frames: 25 ")) << list;
  EXPECT_EQ(std::count(list.begin(), list.end(), '\n'), std::count(list.begin(), list.end(), '\r'));
  EXPECT_NE(file_text(dir / "gops.frm").find("\r\nGop: 0 - Bytes: "), std::string::npos);
}

TEST(CliAnalyze, UnwritableFileFailsButOthersAreWritten) {
  const fs::path dir = test::scratch_dir() / "partial";
  fs::create_directories(dir);
  const CliResult result =
      run_cli("analyze --gop-file=" + quoted(dir / "missing" / "x.gop") +
              " --summary-file=" + quoted(dir / "s.sum") + " " + quoted(elementary_stream()));
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("Error occured opening the gop file"), std::string::npos) << result.err;
  EXPECT_EQ(file_text(dir / "s.sum"), result.out);
}

TEST(CliAnalyze, MissingOrNonMpegFileFails) {
  const fs::path missing = test::scratch_dir() / "no-such-file.mpg";
  const fs::path text = test::scratch_dir() / "notes.txt";
  const std::string content = "plain text, no start codes\n";
  test::write_file(text, {content.begin(), content.end()});
  for (const auto& [path, error] :
       {std::pair{missing, missing.string()},
        std::pair{text, std::string("This not a valid MPEG system or video stream")}}) {
    const CliResult result = run_cli("analyze " + quoted(path));
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find(error), std::string::npos) << result.err;
    EXPECT_TRUE(result.out.empty());
  }
}

// Two files joined with cat, the first ending in a sequence end code.
fs::path joined_stream() {
  const fs::path joined = test::scratch_dir() / "joined.m2v";
  if (fs::exists(joined)) return joined;
  std::vector<uint8_t> bytes = test::read_file(elementary_stream());
  const std::vector<uint8_t> end_code = {0x00, 0x00, 0x01, 0xB7};
  bytes.insert(bytes.end(), end_code.begin(), end_code.end());
  const std::vector<uint8_t> second = test::read_file(system_stream_video());
  bytes.insert(bytes.end(), second.begin(), second.end());
  test::write_file(joined, bytes);
  return joined;
}

TEST(CliAnalyze, JoinedFilesStopAtTheEndCodeOrGoOnThroughEverySequence) {
  const fs::path joined = joined_stream();
  const nlohmann::json first = analyze_json(elementary_stream());
  const nlohmann::json second = analyze_json(system_stream_video());
  const auto first_size = fs::file_size(elementary_stream());

  const CliResult stopped = run_cli("analyze --format json " + quoted(joined));
  ASSERT_EQ(stopped.status, 0) << stopped.err;
  EXPECT_EQ(stopped.err,
            "tavik-cli: stopped at the sequence end code at byte " + std::to_string(first_size) +
                "; " + std::to_string(fs::file_size(joined) - first_size - 4) + " bytes follow\n");
  EXPECT_EQ(nlohmann::json::parse(stopped.out)["frame_types"], first["frame_types"]);

  const nlohmann::json all = analyze_json(joined, "--all-sequences");
  const fs::path counted = test::scratch_dir() / "ffprobe-frames.txt";
  ASSERT_EQ(
      test::run_command("ffprobe -v error -count_packets -show_entries stream=nb_read_packets "
                        "-of csv=p=0 " +
                        quoted(joined) + " >" + quoted(counted)),
      0);
  EXPECT_EQ(all["frame_bytes"].size(), std::stoul(test::file_text(counted)));
  EXPECT_EQ(all["last_frame"],
            first["last_frame"].get<int>() + second["last_frame"].get<int>() + 1);
  EXPECT_EQ(all["open_gop"], first["open_gop"].get<int>() + second["open_gop"].get<int>());
  // The first slice start code of a file opens its first slice entry; joined, only one does.
  EXPECT_EQ(all["slice_count"],
            first["slice_count"].get<int>() + second["slice_count"].get<int>() + 1);
  EXPECT_EQ(all["bytes_scanned"], fs::file_size(joined) - 3);
  EXPECT_EQ(all["stream"]["sequences"], 2);
}

TEST(CliAnalyze, ACutStreamIsMeasuredFromItsFirstSequenceHeader) {
  const std::vector<uint8_t> whole = test::read_file(elementary_stream());
  const fs::path cut = test::scratch_dir() / "cut.m2v";
  test::write_file(cut, {whole.begin() + 100, whole.end()});
  const CliResult result = run_cli("analyze --format json " + quoted(cut));
  ASSERT_EQ(result.status, 0) << result.err;
  const nlohmann::json json = nlohmann::json::parse(result.out);
  const auto skipped = json["stream"]["skipped_bytes"].get<uint64_t>();
  EXPECT_GT(skipped, 0u);
  const std::string text =
      "skipped " + std::to_string(skipped) + " bytes before the first sequence header";
  EXPECT_EQ(result.err, text + "\n");
  EXPECT_EQ(json["messages"],
            nlohmann::json::parse(R"([{"text": ")" + text + R"(", "frame": 0}])"));
  EXPECT_EQ(json["bytes_scanned"], whole.size() - 100 - skipped - 3);
  EXPECT_EQ(json["frame_types"][0], 1);
}

// JSON and CSV keep the standard output to themselves: traces and notices go to standard error,
// and the JSON lists them with the frame at which they came.
TEST(CliAnalyze, MachineFormatsKeepTheStandardOutputClean) {
  const fs::path stream = elementary_stream();
  const CliResult json = run_cli("analyze --format json --trace 1 " + quoted(stream));
  ASSERT_EQ(json.status, 0) << json.err;
  const nlohmann::json parsed = nlohmann::json::parse(json.out);
  EXPECT_EQ(json.err.rfind("sequence header (byte 0)\n", 0), 0u) << json.err;
  const nlohmann::json& messages = parsed["messages"];
  ASSERT_EQ(std::count(json.err.begin(), json.err.end(), '\n'), std::ptrdiff_t(messages.size()));
  EXPECT_EQ(messages[0]["text"], "sequence header (byte 0)");
  EXPECT_EQ(messages.back()["frame"], 24);
  const CliResult csv = run_cli("analyze --format csv --trace 1 " + quoted(stream));
  EXPECT_EQ(csv.out, run_cli("analyze --format csv " + quoted(stream)).out);
  EXPECT_EQ(csv.err, json.err);
}

// "-" and a FIFO are read as the file itself is; nothing is left in the temporary folder.
TEST(CliAnalyze, StandardInputAndFifosAreRead) {
  const fs::path stream = system_stream();
  const nlohmann::json direct = analyze_json(stream);
  const CliResult piped = run_cli("analyze --format json - < " + quoted(stream));
  ASSERT_EQ(piped.status, 0) << piped.err;
  nlohmann::json from_stdin = nlohmann::json::parse(piped.out);
  EXPECT_EQ(from_stdin["input"], "-");
  from_stdin["input"] = direct["input"];
  EXPECT_EQ(from_stdin, direct);

  const fs::path fifo = test::scratch_dir() / "fifo";
  fs::remove(fifo);
  ASSERT_EQ(test::run_command("mkfifo " + quoted(fifo) + " && (cat " + quoted(stream) + " > " +
                              quoted(fifo) + " &)"),
            0);
  const nlohmann::json from_fifo = analyze_json(fifo);
  EXPECT_EQ(from_fifo["frame_bytes"], direct["frame_bytes"]);
  EXPECT_EQ(run_cli("analyze --save-all - < " + quoted(stream)).err,
            "tavik-cli: report files need names when the input is standard input\n");
}

// The headers-only walk reads a pipe in one pass: no temporary file (the file size limit would
// end a copy), whatever its length. Decoding copies it, up to the spool limit.
TEST(CliAnalyze, PipesAreReadInOnePassOrCopiedWithinALimit) {
  const std::string cli = std::string("'") + TAVIK_CLI_PATH + "' ";
  const fs::path err = test::scratch_dir() / "pipe.err";
  const fs::path out = test::scratch_dir() / "pipe.yuv";
  EXPECT_EQ(test::run_command("ulimit -f 2048; head -c 300M /dev/zero | " + cli + "analyze - 2>" +
                              quoted(err)),
            1);
  EXPECT_EQ(file_text(err).rfind("This not a valid MPEG system or video stream\n", 0), 0u)
      << file_text(err);
  const std::string stream = quoted(elementary_stream());
  EXPECT_EQ(test::run_command("ulimit -f 2048; cat " + stream + " | " + cli + "info - >/dev/null"),
            0);
  EXPECT_EQ(test::run_command("cat " + stream + " | " + cli + "decode - -o " + quoted(out) +
                              " --spool-limit 10K 2>" + quoted(err)),
            1);
  EXPECT_EQ(file_text(err),
            "tavik-cli: -: longer than the spool limit of 10240 bytes (--spool-limit SIZE): this "
            "command copies a pipe to a temporary file before reading it; nothing was read\n");
  EXPECT_FALSE(fs::exists(out));
  EXPECT_EQ(test::run_command("cat " + stream + " | " + cli + "decode - -o " + quoted(out) +
                              " --spool-limit 10M >/dev/null"),
            0);
  EXPECT_TRUE(fs::exists(out));
  fs::remove(out);
}

TEST(CliAnalyze, OutputsNeverReplaceTheInputAndWriteErrorsFail) {
  const fs::path input = test::scratch_dir() / "keep.m2v";
  fs::copy_file(elementary_stream(), input, fs::copy_options::overwrite_existing);
  const auto size = fs::file_size(input);
  const std::string other_name = (input.parent_path() / "." / "keep.m2v").string();
  const CliResult same =
      run_cli("analyze --summary-file=" + quoted(fs::path(other_name)) + " " + quoted(input));
  EXPECT_EQ(same.status, 1);
  EXPECT_EQ(same.err, "tavik-cli: " + other_name + " is the input file; nothing written\n");
  EXPECT_TRUE(same.out.empty());
  EXPECT_EQ(fs::file_size(input), size);

  const std::string cli = std::string("'") + TAVIK_CLI_PATH + "' analyze ";
  const fs::path err = test::scratch_dir() / "full.err";
  EXPECT_EQ(test::run_command(cli + quoted(input) + " >/dev/full 2>" + quoted(err)), 1);
  EXPECT_EQ(file_text(err), "tavik-cli: cannot write standard output: No space left on device\n");
  const CliResult full = run_cli("analyze --summary-file=/dev/full " + quoted(input));
  EXPECT_EQ(full.status, 1);
  EXPECT_EQ(full.err, "Error occured opening the summary file: /dev/full\n");
}

// A usage error exits with 2 and one line naming the problem, whatever the parser's own codes.
TEST(CliAnalyze, UsageErrorsExitWithTwoAndOneLine) {
  const std::string stream = quoted(elementary_stream());
  const struct {
    std::string args;
    std::string named;
  } cases[] = {
      {"meter " + stream, "tavik-cli: unknown command 'meter'; the commands are analyze, chart,"},
      {"", "tavik-cli: a command is required"},
      {"analyze --no-such-option " + stream, "tavik-cli analyze: "},
      {"analyze --format xml " + stream, "tavik-cli analyze: --format: xml not in"},
      {"decode --threads 0 " + stream + " -o /dev/null", "tavik-cli decode: --threads: "},
      {"snapshot --frame 1 " + stream, "tavik-cli snapshot: --output is required"},
      {"chart --size 0x0 -o x.png " + stream, "tavik-cli: --size must be"},
      {"bitrate --window 0s " + stream, "tavik-cli: --window 0s: give a whole number"},
      {"decode --spool-limit 0 - -o /dev/null", "tavik-cli decode: --spool-limit: "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    const CliResult result = run_cli(c.args);
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err.rfind(c.named, 0), 0u) << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    EXPECT_TRUE(result.out.empty());
  }
}

TEST(CliAnalyze, HelpDocumentsEveryOption) {
  const CliResult result = run_cli("analyze --help");
  EXPECT_EQ(result.status, 0);
  for (const char* option :
       {"--filter-i", "--filter-p", "--filter-b", "--gop-file", "--frame-file", "--slice-file",
        "--summary-file", "--save-all", "--bare", "--frame-list", "--gop-list", "--format",
        "--trace", "--decode", "--all-sequences", "--spool-limit", "--version"}) {
    EXPECT_NE(result.out.find(option), std::string::npos) << option;
  }
}

}  // namespace
}  // namespace tavik
