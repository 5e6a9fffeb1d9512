#pragma once

#include <cstdarg>
#include <string>
#include <string_view>

namespace tavik {

// The message box text of a failed read of the input.
inline constexpr std::string_view kReadErrorText = "No se puede leer del fichero";

// Where the engine's texts go: notices and traces to the standard output, warnings to the
// standard error stream, and the few texts that the desktop shows in a message box.
class Messages {
 public:
  virtual ~Messages() = default;
  virtual void out(std::string_view text) = 0;
  virtual void err(std::string_view text) = 0;
  virtual void message_box(std::string_view text) = 0;
  // A stream is opened afresh: the texts that follow are about it alone.
  virtual void session_started() {}
};

// Writes to the process's standard streams; message boxes go to the standard error stream.
class StdMessages final : public Messages {
 public:
  void out(std::string_view text) override;
  void err(std::string_view text) override;
  void message_box(std::string_view text) override;
};

// Collects everything in memory; used where the texts are examined or thrown away.
class CollectedMessages final : public Messages {
 public:
  void out(std::string_view text) override { out_text += text; }
  void err(std::string_view text) override { err_text += text; }
  void message_box(std::string_view text) override { box_text += text; }
  std::string out_text, err_text, box_text;
};

// printf-style formatting into a std::string.
[[nodiscard]] std::string format_text(const char* format, ...)
    __attribute__((format(printf, 1, 2)));

}  // namespace tavik
