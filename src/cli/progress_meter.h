#pragma once

#include <chrono>
#include <cstdint>

#include "analysis/analysis_store.h"

namespace tavik::cli {

// A one-line progress indication on the standard error stream: frames measured and the share
// of the file scanned, or for a pipe (a file size of 0) the bytes read from it. It appears only
// after the first second and only on a terminal, and is wiped when the meter goes away.
class ProgressMeter {
 public:
  explicit ProgressMeter(uint64_t file_size);
  ~ProgressMeter();
  ProgressMeter(const ProgressMeter&) = delete;
  ProgressMeter& operator=(const ProgressMeter&) = delete;

  void update(const AnalysisStore& store, uint64_t bytes_read);
  // Wipes the line, so that a message can be printed on its own line; the next update shows it
  // again.
  void clear();

 private:
  using Clock = std::chrono::steady_clock;

  uint64_t file_size_;
  bool enabled_;
  bool shown_ = false;
  Clock::time_point next_update_;
};

}  // namespace tavik::cli
