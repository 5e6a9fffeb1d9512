#include <CLI/CLI.hpp>
#include <csignal>

#include "cli/commands.h"

namespace tavik::cli {

void add_input_option(CLI::App& command, std::string& input) {
  command
      .add_option("FILE", input,
                  "MPEG-1/MPEG-2 video or MPEG-1 system stream; - reads the standard input")
      ->required();
}

void add_all_sequences_flag(CLI::App& command, bool& all_sequences) {
  command.add_flag("--all-sequences", all_sequences,
                   "Go on through every sequence of the file (files joined one after the other) "
                   "instead of stopping at the first sequence end code");
}

}  // namespace tavik::cli

int main(int argc, char** argv) {
  // A closed pipe on an output is a write error, reported like any other.
  std::signal(SIGPIPE, SIG_IGN);
  CLI::App app{"Tavik: analyser and decoder of MPEG-1 and MPEG-2 video streams."};
  app.require_subcommand(1);
  int exit_status = 0;
  tavik::cli::add_analyze_command(app, exit_status);
  tavik::cli::add_chart_command(app, exit_status);
  tavik::cli::add_decode_command(app, exit_status);
  tavik::cli::add_snapshot_command(app, exit_status);
  tavik::cli::add_info_command(app, exit_status);
  app.set_version_flag("--version", "tavik-cli " TAVIK_VERSION);
  for (CLI::App* command : app.get_subcommands({})) {
    command->set_version_flag("--version", "tavik-cli " TAVIK_VERSION);
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    return app.exit(error);
  }
  return exit_status;
}
