#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace tavik::cli {

// An output of the command line that replaces its file only when complete. A regular file (or
// a new one) is written as a temporary file in the same folder and renamed over it by
// commit(); "-" is the standard output; devices and pipes are written directly.
class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Returns an empty string, or what went wrong ("NAME: reason").
  [[nodiscard]] std::string open(const std::string& name);
  [[nodiscard]] std::FILE* stream() const { return stream_; }
  // Flushes, closes and puts the file in place. Returns an empty string, or what went wrong.
  [[nodiscard]] std::string commit();

 private:
  void discard();

  std::string name_;
  std::string target_;     // the file the temporary file replaces
  std::string temporary_;  // empty when written directly
  std::FILE* stream_ = nullptr;
};

// "NAME is the input file" when the output names the same file as the input (compared as
// files, not as names), else an empty string.
[[nodiscard]] std::string output_names_input(const std::string& output, const std::string& input);

// True when the name ends in `extension` (lower case, with its full stop), in any case.
[[nodiscard]] bool has_extension(std::string_view name, std::string_view extension);

// Flushes the standard output. Returns an empty string, or what went wrong.
[[nodiscard]] std::string flush_standard_output();

}  // namespace tavik::cli
