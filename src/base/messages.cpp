#include "base/messages.h"

#include <cstdio>
#include <vector>

namespace tavik {

void StdMessages::out(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
}

void StdMessages::err(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
}

void StdMessages::message_box(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fputc('\n', stderr);
}

std::string format_text(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string text(length > 0 ? static_cast<size_t>(length) : 0, '\0');
  if (length > 0) std::vsnprintf(text.data(), text.size() + 1, format, args);
  va_end(args);
  return text;
}

}  // namespace tavik
