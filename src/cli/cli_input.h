#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "input/shared_pipe.h"
#include "session/decoding_session.h"

namespace tavik::cli {

// How a pipe (the standard input, a FIFO, a terminal) is read: the session reads its input
// twice over, the decoder and the scanner each from the first byte.
enum class PipeReading {
  // In one pass as it arrives, both readers sharing it; for the headers-only walk, whose two
  // readers keep within a picture of each other.
  kOnePass,
  // Copied first to a temporary file that has no name, up to a limit, so that nothing is left
  // behind however the program ends.
  kSpooled,
};

inline constexpr uint64_t kDefaultSpoolLimit = uint64_t{4} << 30;

// The input named on the command line, made ready to be opened by a session. "-" is the
// standard input.
class CliInput {
 public:
  CliInput() = default;
  ~CliInput();
  CliInput(const CliInput&) = delete;
  CliInput& operator=(const CliInput&) = delete;

  // Returns an empty string, or the message to fail with. A spool stops at `spool_limit` bytes,
  // or before the temporary folder would be left with little free space.
  [[nodiscard]] std::string open(const std::string& name, PipeReading reading,
                                 uint64_t spool_limit = kDefaultSpoolLimit);

  // Opens the session on the input (throws what DecodingSession's opening throws).
  void start(DecodingSession& session) const;

  // The name as given.
  [[nodiscard]] const std::string& name() const { return name_; }
  // The file that outputs must not replace; empty for a pipe.
  [[nodiscard]] const std::string& file() const { return file_; }
  // The size of the file read (a spool's included); 0 for a pipe read in one pass.
  [[nodiscard]] uint64_t size() const;
  // A pipe read in one pass calls `progress` with the bytes read so far after each read.
  void on_read(std::function<void(uint64_t)> progress) const;
  // The bytes of a pipe read in one pass read so far; 0 otherwise.
  [[nodiscard]] uint64_t bytes_read() const;
  // What went wrong when a reader of a pipe read in one pass fell out of its window, or empty.
  [[nodiscard]] std::string overrun_text() const;

 private:
  [[nodiscard]] std::string spool_from(int fd, uint64_t limit);

  std::string name_;
  std::string file_;
  std::string path_;  // what the session opens, when it is a file
  int fd_ = -1;       // the standard input's copy, or a FIFO read in one pass
  std::unique_ptr<SharedPipe> pipe_;
};

}  // namespace tavik::cli
