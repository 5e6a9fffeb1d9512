#pragma once

#include <cstdint>
#include <string>

namespace CLI {
class App;
}

namespace tavik::cli {

// The exit statuses: 0 done, 1 the work failed (the input, the stream or an output), 2 a usage
// error (an unknown command or option, a missing value or one out of range), 3 a VBV violation.
inline constexpr int kFailureStatus = 1;
inline constexpr int kUsageStatus = 2;
// vbv: the stream's buffer underflows or overflows.
inline constexpr int kViolationStatus = 3;

// Each command adds its subcommand to the application; when the subcommand runs, its exit
// status is written to exit_status.
void add_analyze_command(CLI::App& app, int& exit_status);
void add_bitrate_command(CLI::App& app, int& exit_status);
void add_chart_command(CLI::App& app, int& exit_status);
void add_decode_command(CLI::App& app, int& exit_status);
void add_snapshot_command(CLI::App& app, int& exit_status);
void add_info_command(CLI::App& app, int& exit_status);
void add_headers_command(CLI::App& app, int& exit_status);
void add_hexdump_command(CLI::App& app, int& exit_status);
void add_vbv_command(CLI::App& app, int& exit_status);
void add_macroblocks_command(CLI::App& app, int& exit_status);

// The required FILE argument of every command.
void add_input_option(CLI::App& command, std::string& input);
// --all-sequences: go on after a sequence end code that another sequence follows.
void add_all_sequences_flag(CLI::App& command, bool& all_sequences);
// --spool-limit SIZE: how much of a pipe a command that copies it first may copy.
void add_spool_limit_option(CLI::App& command, uint64_t& limit);

}  // namespace tavik::cli
