#pragma once

#include <string>

namespace tavik::cli {

// The input named on the command line, made ready to be opened twice (the decoder and the
// scanner each read it on their own). "-" is the standard input; it, and any other input that
// cannot be read twice (a pipe, a FIFO, a terminal), is first copied to a temporary file that
// has no name, so nothing is left behind however the program ends.
class CliInput {
 public:
  CliInput() = default;
  ~CliInput();
  CliInput(const CliInput&) = delete;
  CliInput& operator=(const CliInput&) = delete;

  // Returns an empty string, or what went wrong ("NAME: reason").
  [[nodiscard]] std::string open(const std::string& name);

  // The name as given.
  [[nodiscard]] const std::string& name() const { return name_; }
  // What the session opens.
  [[nodiscard]] const std::string& path() const { return path_; }
  // True when the input was copied and `name` is no file that outputs could replace.
  [[nodiscard]] bool copied() const { return copy_fd_ >= 0; }

 private:
  [[nodiscard]] std::string copy_from(int fd);

  std::string name_;
  std::string path_;
  int copy_fd_ = -1;
};

}  // namespace tavik::cli
