#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>
#include <string>

#include "cli/analysis_run.h"
#include "cli/commands.h"
#include "cli/measurement_output.h"
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
  if (const std::string problem = open_input(input, options.input, {}, PipeReading::kOnePass);
      !problem.empty()) {
    return fail(problem);
  }
  AnalysisStore store;
  const bool json = options.format == "json";
  CliMessages messages(store, json, false);
  SessionOptions session_options;
  session_options.decode_pictures = false;
  session_options.all_sequences = options.all_sequences;
  RunListener listener;
  const auto info = run_session(store, input, listener, messages, session_options);
  if (!info) return 1;
  const auto fields = describe_stream(*info, store.snapshot());
  const std::string text =
      json ? stream_json(options.input, fields) : stream_text(options.input, fields);
  std::fwrite(text.data(), 1, text.size(), stdout);
  return finish(messages);
}

}  // namespace

void add_info_command(CLI::App& app, int& exit_status) {
  auto options = std::make_shared<InfoOptions>();
  CLI::App* command = app.add_subcommand(
      "info",
      "Print what the headers tell about a stream (container, MPEG-1 or MPEG-2, profile and "
      "level, sizes, aspect ratio, frame rate, bit rate, VBV buffer size, chroma format, scan "
      "and field order, GOPs, sequences, duration) and the average bit rate measured.");
  add_input_option(*command, options->input);
  command->add_option("--format", options->format, "text or json")
      ->check(CLI::IsMember({"text", "json"}))
      ->capture_default_str();
  add_all_sequences_flag(*command, options->all_sequences);
  command->callback([options, &exit_status] { exit_status = run_info(*options); });
}

}  // namespace tavik::cli
