#include "support/cli_run.h"

#include <cstdint>
#include <sstream>
#include <vector>

#include "support/stream_tools.h"

namespace tavik::test {

CliResult run_cli(const std::string& args) {
  const auto out = scratch_dir() / "cli.out";
  const auto err = scratch_dir() / "cli.err";
  CliResult result;
  result.status = run_command(std::string("'") + TAVIK_CLI_PATH + "' " + args + " >" + quoted(out) +
                              " 2>" + quoted(err));
  result.out = file_text(out);
  result.err = file_text(err);
  return result;
}

std::string quoted(const std::filesystem::path& path) {
  return "'" + path.string() + "'";
}

std::string file_text(const std::filesystem::path& path) {
  const std::vector<uint8_t> bytes = read_file(path);
  return {bytes.begin(), bytes.end()};
}

std::map<std::string, std::set<std::string>> documented_json_fields() {
  std::map<std::string, std::set<std::string>> tables;
  std::istringstream doc(
      file_text(std::filesystem::path(TAVIK_SOURCE_DIR) / "docs/json-schema.md"));
  std::string heading;
  for (std::string line; std::getline(doc, line);) {
    if (line.starts_with("## ")) heading = line.substr(3);
    if (!line.starts_with("| `")) continue;
    const size_t end = line.find('`', 3);
    tables[heading].insert(line.substr(3, end - 3));
  }
  return tables;
}

}  // namespace tavik::test
