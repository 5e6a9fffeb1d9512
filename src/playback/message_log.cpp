#include "playback/message_log.h"

#include <utility>

namespace tavik {

MessageLog::MessageLog(const AnalysisStore& store, Messages& forward, std::function<void()> added)
    : store_(store), forward_(forward), added_(std::move(added)) {}

void MessageLog::out(std::string_view text) {
  forward_.out(text);
  keep(text);
}

void MessageLog::err(std::string_view text) {
  forward_.err(text);
  keep(text);
}

// Boxes are shown as they come; the log holds the stream's own texts.
void MessageLog::message_box(std::string_view text) {
  forward_.message_box(text);
}

void MessageLog::session_started() {
  forward_.session_started();
  bool notify = false;
  {
    std::lock_guard lock(mutex_);
    kept_.clear();
    count_ = 0;
    ++session_;
    notify = !std::exchange(notified_, true);
  }
  if (notify) added_();
}

void MessageLog::keep(std::string_view text) {
  // Read before taking the log's lock: the store has a lock of its own.
  RaisedMessage message = raised_message(store_, text);
  bool notify = false;
  {
    std::lock_guard lock(mutex_);
    ++count_;
    if (kept_.size() < kKept) kept_.push_back(std::move(message));
    notify = !std::exchange(notified_, true);
  }
  if (notify) added_();
}

MessageLog::News MessageLog::news(uint64_t session, size_t seen) {
  std::lock_guard lock(mutex_);
  notified_ = false;
  News result;
  result.session = session_;
  result.restarted = session != session_;
  const size_t first = result.restarted ? 0 : std::min(seen, kept_.size());
  result.added.assign(kept_.begin() + static_cast<std::ptrdiff_t>(first), kept_.end());
  return result;
}

size_t MessageLog::size() const {
  std::lock_guard lock(mutex_);
  return count_;
}

}  // namespace tavik
