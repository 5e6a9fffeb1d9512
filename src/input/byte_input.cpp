#include "input/byte_input.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace tavik {

std::unique_ptr<FileInput> FileInput::open(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  return std::unique_ptr<FileInput>(new FileInput(fd));
}

FileInput::~FileInput() {
  ::close(fd_);
}

size_t FileInput::read_some(uint8_t* dst, size_t n) {
  if (failed_) return 0;
  for (;;) {
    const ssize_t got = ::read(fd_, dst, n);
    if (got >= 0) return static_cast<size_t>(got);
    if (errno == EINTR) continue;
    // A persistent error ends the input: it is reported once by the caller, then the input
    // behaves as if it had ended.
    failed_ = true;
    return 0;
  }
}

void FileInput::rewind() {
  ::lseek(fd_, 0, SEEK_SET);
  failed_ = false;
}

size_t MemoryInput::read_some(uint8_t* dst, size_t n) {
  const size_t count = std::min(n, bytes_.size() - offset_);
  if (count > 0) std::memcpy(dst, bytes_.data() + offset_, count);
  offset_ += count;
  return count;
}

}  // namespace tavik
