#pragma once

#include <string>

namespace CLI {
class App;
}

namespace tavik::cli {

// Each command adds its subcommand to the application; when the subcommand runs, its exit
// status is written to exit_status.
void add_analyze_command(CLI::App& app, int& exit_status);
void add_chart_command(CLI::App& app, int& exit_status);
void add_decode_command(CLI::App& app, int& exit_status);
void add_snapshot_command(CLI::App& app, int& exit_status);
void add_info_command(CLI::App& app, int& exit_status);

// The required FILE argument of every command.
void add_input_option(CLI::App& command, std::string& input);
// --all-sequences: go on after a sequence end code that another sequence follows.
void add_all_sequences_flag(CLI::App& command, bool& all_sequences);

}  // namespace tavik::cli
