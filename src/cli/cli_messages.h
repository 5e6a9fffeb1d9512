#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/analysis_store.h"
#include "analysis/raised_message.h"
#include "base/messages.h"

namespace tavik::cli {

// The engine's texts on the command line. Warnings and message box texts go to the standard
// error stream; notices and traces to the standard output, or to the standard error stream
// when the standard output carries data (JSON, CSV, decoded frames). Every text is also kept,
// with its frame, when asked.
class CliMessages final : public Messages {
 public:
  CliMessages(const AnalysisStore& store, bool notices_to_stderr, bool keep);

  void out(std::string_view text) override;
  void err(std::string_view text) override;
  void message_box(std::string_view text) override;

  // True once the input could not be read to its end.
  [[nodiscard]] bool read_failed() const { return read_failed_; }
  [[nodiscard]] const std::vector<RaisedMessage>& kept() const { return kept_; }

 private:
  void keep(std::string_view text);

  const AnalysisStore& store_;
  const bool notices_to_stderr_;
  const bool keep_;
  bool read_failed_ = false;
  std::vector<RaisedMessage> kept_;
};

}  // namespace tavik::cli
