#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>
#include <string>

#include "cli/analysis_run.h"
#include "cli/commands.h"
#include "cli/measurement_output.h"
#include "cli/output_file.h"
#include "decoder/fatal_error.h"
#include "results/stream_description.h"

namespace tavik::cli {

namespace {

struct InfoOptions {
  std::string input;
  std::string format = "text";
  bool all_sequences = false;
};

int run_info(const InfoOptions& options) {
  CliInput input;
  if (const std::string problem = input.open(options.input); !problem.empty()) {
    return fail("cannot open " + problem);
  }
  AnalysisStore store;
  const bool json = options.format == "json";
  CliMessages messages(store, json, false);
  SessionOptions session_options;
  session_options.decode_pictures = false;
  session_options.all_sequences = options.all_sequences;
  RunListener listener;
  StreamInfo info;
  try {
    info = run_session(store, input, listener, messages, session_options);
  } catch (const FatalError& error) {
    std::fputs(error.what(), stderr);
    return 1;
  }
  const auto fields = describe_stream(info, store.snapshot());
  const std::string text =
      json ? stream_json(options.input, fields) : stream_text(options.input, fields);
  std::fwrite(text.data(), 1, text.size(), stdout);
  if (const std::string problem = flush_standard_output(); !problem.empty()) {
    return fail("cannot write " + problem);
  }
  return messages.read_failed() ? 1 : 0;
}

}  // namespace

void add_info_command(CLI::App& app, int& exit_status) {
  auto options = std::make_shared<InfoOptions>();
  CLI::App* command = app.add_subcommand(
      "info",
      "Print what the headers tell about a stream (container, MPEG-1 or MPEG-2, profile and "
      "level, sizes, aspect ratio, frame rate, bit rate, VBV buffer size, chroma format, scan "
      "and field order, GOPs, sequences, duration) and the average bit rate measured.");
  command
      ->add_option("FILE", options->input,
                   "MPEG-1/MPEG-2 video or MPEG-1 system stream; - reads the standard input")
      ->required();
  command->add_option("--format", options->format, "text or json")
      ->check(CLI::IsMember({"text", "json"}))
      ->capture_default_str();
  command->add_flag("--all-sequences", options->all_sequences,
                    "Go on through every sequence of the file instead of stopping at the first "
                    "sequence end code");
  command->callback([options, &exit_status] { exit_status = run_info(*options); });
}

}  // namespace tavik::cli
