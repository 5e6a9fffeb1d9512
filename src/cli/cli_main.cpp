#include <CLI/CLI.hpp>
#include <csignal>
#include <cstdio>
#include <string>
#include <string_view>

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

void add_spool_limit_option(CLI::App& command, uint64_t& limit) {
  command
      .add_option("--spool-limit", limit,
                  "A pipe given as FILE to decode is copied to a temporary file first: at most "
                  "SIZE bytes (K, M, G, T: powers of 1024; default 4G). Longer input fails, and "
                  "so does a copy that would leave the temporary folder short of space")
      ->transform(CLI::AsSizeValue(false).description(""))
      ->check(CLI::PositiveNumber.description(""))
      ->type_name("SIZE");
}

namespace {

// "analyze, chart, decode, snapshot, info"
std::string command_names(CLI::App& app) {
  std::string names;
  for (const CLI::App* command : app.get_subcommands({})) {
    if (!names.empty()) names += ", ";
    names += command->get_name();
  }
  return names;
}

// The first argument that is no option names the command; one that names none is refused
// before the parser would call it a missing command.
[[nodiscard]] std::string unknown_command(CLI::App& app, int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg.starts_with('-')) continue;
    for (const CLI::App* command : app.get_subcommands({})) {
      if (command->get_name() == arg) return {};
    }
    return "unknown command '" + std::string(arg) + "'; the commands are " + command_names(app);
  }
  return {};
}

// A usage error: one line naming the problem and the command it concerns.
int usage_error(CLI::App& app, std::string text) {
  for (char& c : text) {
    if (c == '\n') c = ' ';
  }
  std::string where = "tavik-cli";
  for (const CLI::App* command : app.get_subcommands()) where += " " + command->get_name();
  std::fprintf(stderr, "%s: %s\n", where.c_str(), text.c_str());
  return kUsageStatus;
}

}  // namespace

}  // namespace tavik::cli

int main(int argc, char** argv) {
  using tavik::cli::usage_error;
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
  tavik::cli::add_headers_command(app, exit_status);
  tavik::cli::add_hexdump_command(app, exit_status);
  tavik::cli::add_bitrate_command(app, exit_status);
  tavik::cli::add_vbv_command(app, exit_status);
  tavik::cli::add_macroblocks_command(app, exit_status);
  app.set_version_flag("--version", "tavik-cli " TAVIK_VERSION);
  for (CLI::App* command : app.get_subcommands({})) {
    command->set_version_flag("--version", "tavik-cli " TAVIK_VERSION);
  }
  if (const std::string unknown = tavik::cli::unknown_command(app, argc, argv); !unknown.empty()) {
    return usage_error(app, unknown);
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& done) {
    return app.exit(done);  // --help, --version
  } catch (const CLI::ParseError& error) {
    if (app.get_subcommands().empty() && dynamic_cast<const CLI::RequiredError*>(&error)) {
      return usage_error(app, "a command is required: " + tavik::cli::command_names(app));
    }
    return usage_error(app, error.what());
  }
  return exit_status;
}
