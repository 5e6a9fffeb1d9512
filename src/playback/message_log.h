#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string_view>
#include <vector>

#include "analysis/analysis_store.h"
#include "analysis/raised_message.h"
#include "base/messages.h"

namespace tavik {

// The warnings and errors of the session being played, each with its frame, kept for the
// window thread while every text goes on to the messages it wraps. The texts of a session go
// when the next one starts. Safe from any thread; `added` runs on the logging thread once
// after the last read, so that the window thread gets one notice per burst.
class MessageLog final : public Messages {
 public:
  MessageLog(const AnalysisStore& store, Messages& forward, std::function<void()> added);

  void out(std::string_view text) override;
  void err(std::string_view text) override;
  void message_box(std::string_view text) override;
  void session_started() override;

  // What a reader that has seen `seen` texts of session `session` has not seen yet.
  struct News {
    uint64_t session = 0;
    bool restarted = false;  // a new session: what was seen is gone
    std::vector<RaisedMessage> added;
  };
  [[nodiscard]] News news(uint64_t session, size_t seen);
  // Every text of the session, those past the kept ones included.
  [[nodiscard]] size_t size() const;

  // A badly damaged stream can raise a text per macroblock: the first ones are kept, the
  // others counted.
  static constexpr size_t kKept = 100000;

 private:
  void keep(std::string_view text);

  const AnalysisStore& store_;
  Messages& forward_;
  const std::function<void()> added_;
  mutable std::mutex mutex_;
  std::vector<RaisedMessage> kept_;
  size_t count_ = 0;
  uint64_t session_ = 1;
  bool notified_ = false;
};

}  // namespace tavik
