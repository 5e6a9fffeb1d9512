#include "cli/cli_input.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

namespace tavik::cli {

namespace {

std::string failure(const std::string& name, int error) {
  return name + ": " + std::strerror(error);
}

// The free space a spool leaves in its folder: a tenth of the file system, at most 1 GiB.
constexpr uint64_t kMostReserve = uint64_t{1} << 30;
// The free space is looked at again after this many bytes.
constexpr uint64_t kFreeSpaceStep = uint64_t{16} << 20;

// True while `directory` keeps its reserve after `coming` more bytes.
bool room_for(const std::string& directory, uint64_t coming) {
  struct statvfs fs {};
  if (::statvfs(directory.c_str(), &fs) != 0) return true;
  const uint64_t total = uint64_t{fs.f_blocks} * fs.f_frsize;
  const uint64_t free = uint64_t{fs.f_bavail} * fs.f_frsize;
  return free >= std::min(kMostReserve, total / 10) + coming;
}

}  // namespace

CliInput::~CliInput() {
  pipe_.reset();
  if (fd_ >= 0) ::close(fd_);
}

std::string CliInput::open(const std::string& name, PipeReading reading, uint64_t spool_limit) {
  name_ = name;
  int fd = STDIN_FILENO;
  if (name != "-") {
    struct stat status {};
    if (::stat(name.c_str(), &status) != 0) return "cannot open " + failure(name, errno);
    if (S_ISDIR(status.st_mode)) return "cannot open " + name + ": is a directory";
    if (S_ISREG(status.st_mode) || S_ISBLK(status.st_mode)) {
      file_ = path_ = name;
      return {};
    }
    fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return "cannot open " + failure(name, errno);
  }
  if (reading == PipeReading::kOnePass) {
    // The standard input stays open with the process; a FIFO is closed with the input.
    if (fd != STDIN_FILENO) fd_ = fd;
    pipe_ = std::make_unique<SharedPipe>(fd);
    return {};
  }
  std::string problem = spool_from(fd, spool_limit);
  if (fd != STDIN_FILENO) ::close(fd);
  return problem;
}

std::string CliInput::spool_from(int fd, uint64_t limit) {
  const std::string directory = std::filesystem::temp_directory_path().string();
  std::string pattern = directory + "/tavik-input-XXXXXX";
  fd_ = ::mkstemp(pattern.data());
  if (fd_ < 0) return "cannot copy " + name_ + ": " + failure(directory, errno);
  ::unlink(pattern.c_str());
  std::vector<char> block(size_t{1} << 16);
  uint64_t copied = 0;
  for (uint64_t next_look = 0;;) {
    const ssize_t got = ::read(fd, block.data(), block.size());
    if (got == 0) break;
    if (got < 0) {
      if (errno == EINTR) continue;
      return "cannot read " + failure(name_, errno);
    }
    if (copied + uint64_t(got) > limit) {
      return name_ + ": longer than the spool limit of " + std::to_string(limit) +
             " bytes (--spool-limit SIZE): this command copies a pipe to a temporary file "
             "before reading it; nothing was read";
    }
    if (copied >= next_look) {
      if (!room_for(directory, kFreeSpaceStep)) {
        return name_ + ": copying stopped at " + std::to_string(copied) + " bytes, before " +
               directory +
               " ran short of free space (TMPDIR chooses another folder); nothing "
               "was read";
      }
      next_look = copied + kFreeSpaceStep;
    }
    for (ssize_t done = 0; done < got;) {
      const ssize_t put = ::write(fd_, block.data() + done, size_t(got - done));
      if (put < 0 && errno == EINTR) continue;
      if (put < 0) return "cannot copy " + name_ + ": " + failure(directory, errno);
      done += put;
    }
    copied += uint64_t(got);
  }
  path_ = "/proc/self/fd/" + std::to_string(fd_);
  return {};
}

void CliInput::start(DecodingSession& session) const {
  if (pipe_) {
    session.open_inputs(pipe_->reader(), pipe_->reader());
  } else {
    session.open_stream(path_);
  }
}

uint64_t CliInput::size() const {
  if (pipe_) return 0;
  std::error_code error;
  const auto size = std::filesystem::file_size(path_, error);
  return error ? 0 : size;
}

void CliInput::on_read(std::function<void(uint64_t)> progress) const {
  if (pipe_) pipe_->on_read(std::move(progress));
}

uint64_t CliInput::bytes_read() const {
  return pipe_ ? pipe_->bytes_read() : 0;
}

std::string CliInput::overrun_text() const {
  if (!pipe_ || !pipe_->overrun()) return {};
  return name_ + ": read in one pass, the input would have had to be read again from more than " +
         std::to_string(pipe_->window() >> 20) +
         " MiB back (that far without a picture start code, or without an MPEG header at its "
         "start); give it as a file";
}

}  // namespace tavik::cli
