#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "input/byte_input.h"

namespace tavik {

// One pass over a pipe for several readers, each reading the stream from its first byte on its
// own (the decoder and the scanner of a session). The pipe is read once, as the foremost reader
// asks for more; the bytes that a reader behind it has still to read are kept in memory. Readers
// that advance together (the scanner stays within a picture of the decoder) keep little; the
// memory kept never exceeds the window, whatever the length of the input. A reader that asks for
// bytes no longer kept (rewound, or left behind, by more than the window) gets the end of its
// input and a read failure, and the pipe tells it through overrun().
class SharedPipe {
 public:
  static constexpr size_t kDefaultWindow = size_t{64} << 20;

  // Reads `fd`, which stays the caller's to close.
  explicit SharedPipe(int fd, size_t window = kDefaultWindow);
  ~SharedPipe();
  SharedPipe(const SharedPipe&) = delete;
  SharedPipe& operator=(const SharedPipe&) = delete;

  // A new reader at the first byte. It may outlive the pipe object.
  [[nodiscard]] std::unique_ptr<ByteInput> reader();

  // Called with the bytes read so far after each read from the pipe.
  void on_read(std::function<void(uint64_t)> progress);

  [[nodiscard]] uint64_t bytes_read() const;
  // The bytes held in memory now.
  [[nodiscard]] size_t bytes_kept() const;
  // True once a reader asked for bytes that were no longer kept.
  [[nodiscard]] bool overrun() const;
  [[nodiscard]] size_t window() const;

 private:
  class State;
  class Reader;
  std::shared_ptr<State> state_;
};

}  // namespace tavik
