#include "input/random_access.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace tavik {

std::unique_ptr<RandomAccessFile> RandomAccessFile::open(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return nullptr;
  }
  return std::unique_ptr<RandomAccessFile>(new RandomAccessFile(fd, uint64_t(st.st_size)));
}

RandomAccessFile::~RandomAccessFile() {
  ::close(fd_);
}

size_t RandomAccessFile::read_at(uint64_t offset, std::span<uint8_t> dst) const {
  size_t done = 0;
  while (done < dst.size()) {
    const ssize_t got =
        ::pread(fd_, dst.data() + done, dst.size() - done, static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += size_t(got);
  }
  return done;
}

size_t RandomAccessMemory::read_at(uint64_t offset, std::span<uint8_t> dst) const {
  if (offset >= bytes_.size()) return 0;
  const size_t count = std::min<uint64_t>(dst.size(), bytes_.size() - offset);
  std::memcpy(dst.data(), bytes_.data() + offset, count);
  return count;
}

}  // namespace tavik
