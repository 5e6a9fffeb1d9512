#include "cli/cli_input.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

namespace tavik::cli {

namespace {

std::string failure(const std::string& name, int error) {
  return name + ": " + std::strerror(error);
}

}  // namespace

CliInput::~CliInput() {
  if (copy_fd_ >= 0) ::close(copy_fd_);
}

std::string CliInput::open(const std::string& name) {
  name_ = name;
  path_ = name;
  if (name == "-") return copy_from(STDIN_FILENO);
  struct stat status {};
  if (::stat(name.c_str(), &status) != 0) return failure(name, errno);
  if (S_ISDIR(status.st_mode)) return name + ": is a directory";
  const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return failure(name, errno);
  std::string problem;
  if (!S_ISREG(status.st_mode) && !S_ISBLK(status.st_mode)) problem = copy_from(fd);
  ::close(fd);
  return problem;
}

std::string CliInput::copy_from(int fd) {
  const std::string directory = std::filesystem::temp_directory_path().string();
  std::string pattern = directory + "/tavik-input-XXXXXX";
  copy_fd_ = ::mkstemp(pattern.data());
  if (copy_fd_ < 0) return failure(directory, errno);
  ::unlink(pattern.c_str());
  std::vector<char> block(size_t{1} << 16);
  for (;;) {
    const ssize_t got = ::read(fd, block.data(), block.size());
    if (got == 0) break;
    if (got < 0) {
      if (errno == EINTR) continue;
      return failure(name_, errno);
    }
    for (ssize_t done = 0; done < got;) {
      const ssize_t put = ::write(copy_fd_, block.data() + done, size_t(got - done));
      if (put < 0 && errno == EINTR) continue;
      if (put < 0) return failure(directory, errno);
      done += put;
    }
  }
  path_ = "/proc/self/fd/" + std::to_string(copy_fd_);
  return {};
}

}  // namespace tavik::cli
