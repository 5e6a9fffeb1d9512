#include "cli/output_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

namespace tavik::cli {

namespace fs = std::filesystem;

namespace {

std::string failure(const std::string& name, int error) {
  return name + ": " + std::strerror(error);
}

// The permissions a newly created file gets: 0666 less the process's mask.
mode_t new_file_mode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

}  // namespace

OutputFile::~OutputFile() {
  discard();
}

std::string OutputFile::open(const std::string& name) {
  name_ = name;
  if (name == "-") {
    stream_ = stdout;
    return {};
  }
  std::error_code error;
  const fs::file_status status = fs::status(name, error);
  if (fs::exists(status) && !fs::is_regular_file(status)) {
    stream_ = std::fopen(name.c_str(), "wb");
    return stream_ != nullptr ? std::string() : failure(name, errno);
  }
  // The temporary file lies next to the file it replaces (through a link, next to its target),
  // so that renaming it is atomic.
  target_ = fs::exists(status) ? fs::canonical(name, error).string() : name;
  const fs::path target(target_);
  std::string pattern =
      (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
  const int fd = ::mkstemp(pattern.data());
  if (fd < 0) return failure(name, errno);
  temporary_ = pattern;
  // A replaced file keeps its permissions; a new one gets those of any new file.
  struct stat existing {};
  const bool replacing = ::stat(target_.c_str(), &existing) == 0;
  ::fchmod(fd, replacing ? existing.st_mode & 07777 : new_file_mode());
  stream_ = ::fdopen(fd, "wb");
  if (stream_ != nullptr) return {};
  const int saved = errno;
  ::close(fd);
  discard();
  return failure(name, saved);
}

std::string OutputFile::commit() {
  std::FILE* stream = std::exchange(stream_, nullptr);
  if (stream == stdout) return flush_standard_output();
  int error = 0;
  if (std::fflush(stream) != 0 || std::ferror(stream) != 0) error = errno != 0 ? errno : EIO;
  if (std::fclose(stream) != 0 && error == 0) error = errno;
  if (error == 0 && !temporary_.empty() && std::rename(temporary_.c_str(), target_.c_str()) != 0) {
    error = errno;
  }
  if (error != 0) {
    discard();
    return failure(name_, error);
  }
  temporary_.clear();
  return {};
}

void OutputFile::discard() {
  if (stream_ != nullptr && stream_ != stdout) std::fclose(stream_);
  stream_ = nullptr;
  if (!temporary_.empty()) std::remove(temporary_.c_str());
  temporary_.clear();
}

std::string output_names_input(const std::string& output, const std::string& input) {
  std::error_code error;
  if (output != "-" && fs::equivalent(output, input, error)) return output + " is the input file";
  return {};
}

bool has_extension(std::string_view name, std::string_view extension) {
  if (name.size() < extension.size()) return false;
  const std::string_view tail = name.substr(name.size() - extension.size());
  return std::equal(tail.begin(), tail.end(), extension.begin(), [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) == b;
  });
}

std::string flush_standard_output() {
  if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
    return failure("standard output", errno);
  }
  return {};
}

}  // namespace tavik::cli
