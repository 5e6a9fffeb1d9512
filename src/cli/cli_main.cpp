#include <CLI/CLI.hpp>

#include "cli/commands.h"

int main(int argc, char** argv) {
  CLI::App app{"Tavik: analyser and decoder of MPEG-1 and MPEG-2 video streams."};
  app.require_subcommand(1);
  int exit_status = 0;
  tavik::cli::add_analyze_command(app, exit_status);
  tavik::cli::add_chart_command(app, exit_status);
  tavik::cli::add_decode_command(app, exit_status);
  tavik::cli::add_snapshot_command(app, exit_status);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    return app.exit(error);
  }
  return exit_status;
}
