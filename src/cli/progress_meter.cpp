#include "cli/progress_meter.h"

#include <unistd.h>

#include <cstdio>
#include <utility>

namespace tavik::cli {

namespace {

constexpr auto kFirstDelay = std::chrono::seconds(1);
constexpr auto kInterval = std::chrono::milliseconds(200);

}  // namespace

ProgressMeter::ProgressMeter(uint64_t file_size)
    : file_size_(file_size),
      enabled_(::isatty(STDERR_FILENO) == 1),
      next_update_(Clock::now() + kFirstDelay) {}

ProgressMeter::~ProgressMeter() {
  clear();
}

void ProgressMeter::clear() {
  if (shown_) std::fputs("\r\033[K", stderr);
  shown_ = false;
}

void ProgressMeter::update(const AnalysisStore& store, uint64_t bytes_read) {
  if (!enabled_) return;
  const auto now = Clock::now();
  if (now < next_update_) return;
  next_update_ = now + kInterval;
  const auto [frames, scanned] = store.read([](const StoreData& data) {
    return std::pair<int64_t, uint64_t>(data.frame_count(), data.bytes_scanned);
  });
  std::fprintf(stderr, "\r\033[K%lld frames", static_cast<long long>(frames));
  if (file_size_ > 0) {
    std::fprintf(stderr, ", %.1f%% scanned", 100.0 * double(scanned) / double(file_size_));
  } else {
    std::fprintf(stderr, ", %.1f MiB read", double(bytes_read) / double(1 << 20));
  }
  std::fflush(stderr);
  shown_ = true;
}

}  // namespace tavik::cli
