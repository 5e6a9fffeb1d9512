#include "cli/cli_messages.h"

#include <cstdio>

namespace tavik::cli {

namespace {

void write(std::string_view text, std::FILE* stream) {
  std::fwrite(text.data(), 1, text.size(), stream);
}

}  // namespace

CliMessages::CliMessages(const AnalysisStore& store, bool notices_to_stderr, bool keep)
    : store_(store), notices_to_stderr_(notices_to_stderr), keep_(keep) {}

void CliMessages::out(std::string_view text) {
  write(text, notices_to_stderr_ ? stderr : stdout);
  keep(text);
}

void CliMessages::err(std::string_view text) {
  write(text, stderr);
  keep(text);
}

void CliMessages::message_box(std::string_view text) {
  write(text, stderr);
  std::fputc('\n', stderr);
  if (text == kReadErrorText) read_failed_ = true;
  keep(text);
}

void CliMessages::keep(std::string_view text) {
  if (!keep_) return;
  if (text.ends_with('\n')) text.remove_suffix(1);
  const int64_t frame =
      store_.read([](const StoreData& data) { return int64_t{data.frame_count()}; });
  kept_.push_back({std::string(text), frame});
}

}  // namespace tavik::cli
