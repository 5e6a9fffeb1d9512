#pragma once

#include <filesystem>
#include <map>
#include <set>
#include <string>

namespace tavik::test {

// What one run of the built tavik-cli left: its exit status and both output streams.
struct CliResult {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs tavik-cli with `args` (a shell command line fragment; quote paths with quoted()).
CliResult run_cli(const std::string& args);

// The path in single quotes, for a shell command line.
std::string quoted(const std::filesystem::path& path);

// The whole file as text (empty when it cannot be read).
std::string file_text(const std::filesystem::path& path);

// The fields of each table of docs/json-schema.md, by the table's heading ("## `stream`").
std::map<std::string, std::set<std::string>> documented_json_fields();

}  // namespace tavik::test
