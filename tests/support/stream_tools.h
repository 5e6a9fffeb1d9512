#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tavik::test {

// A scratch folder for one test program under the temporary folder, removed when it exits.
std::filesystem::path scratch_dir();

// Runs a shell command; returns its exit status.
int run_command(const std::string& command);

// True when the program is on the PATH.
bool have_tool(const std::string& name);

// Makes (once per test program) a stream with ffmpeg from a test source. `args` are the
// encoder arguments placed between the input and the output file; `name` is the file name.
// Fails the calling test when ffmpeg is missing or fails.
std::filesystem::path make_ffmpeg_stream(const std::string& name, const std::string& args,
                                          const std::string& source =
                                              "-f lavfi -i testsrc2=size=176x144:rate=25 -t 1");

std::vector<uint8_t> read_file(const std::filesystem::path& path);
void write_file(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);

// The bundled sample streams.
std::filesystem::path sample_path(const std::string& name);

}  // namespace tavik::test
