#include <CLI/CLI.hpp>
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <memory>
#include <string>

#include "cli/analysis_run.h"
#include "cli/commands.h"
#include "cli/output_file.h"
#include "cli/structure_output.h"
#include "cli/structure_run.h"
#include "session/picture_macroblocks.h"

namespace tavik::cli {

namespace {

struct HeadersOptions {
  std::string input;
  std::string frames;
  std::string format = "text";
  bool all_sequences = false;
  bool macroblocks = false;
};

// "A-B" or "N"; false when it is neither.
bool parse_frames(const std::string& text, PictureRange& range) {
  const char* const end = text.data() + text.size();
  auto [at, error] = std::from_chars(text.data(), end, range.first);
  if (error != std::errc()) return false;
  range.last = range.first;
  if (at != end) {
    if (*at != '-') return false;
    const auto [last_at, last_error] = std::from_chars(at + 1, end, range.last);
    if (last_error != std::errc() || last_at != end) return false;
  }
  return range.first <= range.last;
}

// Text or JSON written, then the walk's error, if any, with status 1.
int write_structure(const HeadersOptions& options, BuiltStructure& built,
                    const PictureRange& range) {
  StructureTree tree(built.index, *built.file);
  if (options.macroblocks && !built.index.pictures.empty()) {
    tree.show_macroblocks(true);
    const auto last = uint32_t(std::min<uint64_t>(range.last, built.index.pictures.size() - 1));
    if (range.first <= last) {
      const std::string problem = decode_macroblocks(
          built.index, *built.file, uint32_t(range.first), last,
          [&tree](uint32_t picture, const PictureMacroblocks& macroblocks, int field_order) {
            tree.set_macroblocks(picture, macroblocks, field_order);
          });
      if (!problem.empty()) return fail("macroblocks: " + problem);
    }
  }
  const std::string text = options.format == "json" ? structure_json(tree, options.input, range)
                                                    : structure_text(tree, range);
  std::fwrite(text.data(), 1, text.size(), stdout);
  if (const std::string problem = flush_standard_output(); !problem.empty()) {
    return fail("cannot write " + problem);
  }
  if (!built.error.empty()) {
    std::fputs(built.error.c_str(), stderr);
    return kFailureStatus;
  }
  return 0;
}

int run_headers(const HeadersOptions& options) {
  PictureRange range;
  if (!options.frames.empty() && !parse_frames(options.frames, range)) {
    return usage_fail("--frames: '" + options.frames + "' is not A-B or N");
  }
  BuiltStructure built;
  if (const std::string problem = build_structure(options.input, options.all_sequences, built);
      !problem.empty()) {
    std::fputs(problem.c_str(), stderr);
    return kFailureStatus;
  }
  return write_structure(options, built, range);
}

struct HexdumpOptions {
  std::string input;
  int64_t frame = 0;
};

int run_hexdump(const HexdumpOptions& options) {
  BuiltStructure built;
  if (const std::string problem = build_structure(options.input, false, built); !problem.empty()) {
    std::fputs(problem.c_str(), stderr);
    return kFailureStatus;
  }
  const uint64_t pictures = built.index.pictures.size();
  if (uint64_t(options.frame) >= pictures) {
    return fail("frame " + std::to_string(options.frame) + " is beyond the end of the stream (" +
                std::to_string(pictures) + " frames)");
  }
  StructureTree tree(built.index, *built.file);
  const std::string text = picture_hexdump(tree, *built.file, uint32_t(options.frame));
  std::fwrite(text.data(), 1, text.size(), stdout);
  if (const std::string problem = flush_standard_output(); !problem.empty()) {
    return fail("cannot write " + problem);
  }
  return 0;
}

}  // namespace

void add_headers_command(CLI::App& app, int& exit_status) {
  auto options = std::make_shared<HeadersOptions>();
  CLI::App* command = app.add_subcommand(
      "headers",
      "Print the stream's structure: sequences, groups, pictures and slices with every header, "
      "extension and user data, each element with its value, meaning and place in the file.");
  add_input_option(*command, options->input);
  command
      ->add_option("--frames", options->frames,
                   "Only the pictures A to B (coded order, from 0), or picture N alone")
      ->type_name("A-B");
  command->add_option("--format", options->format, "text or json")
      ->check(CLI::IsMember({"text", "json"}))
      ->capture_default_str();
  add_all_sequences_flag(*command, options->all_sequences);
  command->add_flag("--macroblocks", options->macroblocks,
                    "Decode the pictures shown and list each one's macroblocks with their fields");
  command->callback([options, &exit_status] { exit_status = run_headers(*options); });
}

void add_hexdump_command(CLI::App& app, int& exit_status) {
  auto options = std::make_shared<HexdumpOptions>();
  CLI::App* command = app.add_subcommand(
      "hexdump",
      "Print the file's bytes of one picture in hex and ASCII, with the headers and slices that "
      "begin in each row.");
  add_input_option(*command, options->input);
  command->add_option("--frame", options->frame, "The picture, in coded order from 0")
      ->required()
      ->check(CLI::NonNegativeNumber);
  command->callback([options, &exit_status] { exit_status = run_hexdump(*options); });
}

}  // namespace tavik::cli
