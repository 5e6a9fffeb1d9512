#include "support/stream_tools.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <system_error>

namespace tavik::test {

namespace {

std::filesystem::path scratch_path() {
  return std::filesystem::temp_directory_path() / ("tavik-test-" + std::to_string(::getpid()));
}

}  // namespace

std::filesystem::path scratch_dir() {
  static const std::filesystem::path dir = [] {
    auto path = scratch_path();
    std::filesystem::create_directories(path);
    // The test program leaves nothing behind.
    std::atexit([] {
      std::error_code error;
      std::filesystem::remove_all(scratch_path(), error);
    });
    return path;
  }();
  return dir;
}

int run_command(const std::string& command) {
  const int status = std::system(command.c_str());
  if (status == -1) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool have_tool(const std::string& name) {
  return run_command("command -v " + name + " >/dev/null 2>&1") == 0;
}

std::filesystem::path make_ffmpeg_stream(const std::string& name, const std::string& args,
                                         const std::string& source) {
  const auto path = scratch_dir() / name;
  if (std::filesystem::exists(path)) return path;
  if (!have_tool("ffmpeg")) {
    ADD_FAILURE() << "ffmpeg is needed to make " << name;
    return path;
  }
  const std::string command =
      "ffmpeg -nostdin -loglevel error -y " + source + " " + args + " '" + path.string() + "'";
  EXPECT_EQ(run_command(command), 0) << command;
  return path;
}

std::vector<uint8_t> read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_file(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

std::filesystem::path sample_path(const std::string& name) {
  return std::filesystem::path(TAVIK_SOURCE_DIR) / "samples" / name;
}

}  // namespace tavik::test
