#include "input/byte_input.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace tavik {

void ByteInput::skip(uint64_t n) {
  uint8_t discard[4096];
  while (n > 0) {
    const size_t got =
        read_some(discard, static_cast<size_t>(std::min<uint64_t>(n, sizeof discard)));
    if (got == 0) return;
    n -= got;
  }
}

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

void FileInput::skip(uint64_t n) {
  if (::lseek(fd_, static_cast<off_t>(n), SEEK_CUR) < 0) ByteInput::skip(n);
}

size_t MemoryInput::read_some(uint8_t* dst, size_t n) {
  const size_t count = std::min(n, bytes_.size() - offset_);
  if (count > 0) std::memcpy(dst, bytes_.data() + offset_, count);
  offset_ += count;
  return count;
}

}  // namespace tavik
