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
  if (keep_) kept_.push_back(raised_message(store_, text));
}

}  // namespace tavik::cli
