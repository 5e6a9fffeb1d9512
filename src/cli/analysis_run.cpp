#include "cli/analysis_run.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "analysis/messages.h"
#include "cli/progress_meter.h"

namespace tavik::cli {

namespace {

class SummaryKeeper final : public SessionListener {
 public:
  void session_ended(const std::string& summary) override { summary_ = summary; }
  [[nodiscard]] const std::string& summary() const { return summary_; }

 private:
  std::string summary_;
};

}  // namespace

std::string input_problem(const std::string& path) {
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) return path + ": is a directory";
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return path + ": " + std::strerror(errno);
  std::fclose(file);
  return {};
}

void run_session(AnalysisStore& store, const std::string& input_path, SessionListener& listener,
                 const SessionOptions& options, const std::function<bool()>& finished) {
  StdMessages messages;
  std::error_code size_error;
  const auto file_size = std::filesystem::file_size(input_path, size_error);
  ProgressMeter progress(size_error ? 0 : file_size);

  DecodingSession session(store, messages, listener, options);
  session.open_stream(input_path);
  while (session.decode_step()) {
    progress.update(store);
    if (finished && finished()) return;
  }
}

std::string run_analysis(AnalysisStore& store, const std::string& input_path,
                         const SessionOptions& options) {
  SummaryKeeper listener;
  run_session(store, input_path, listener, options);
  return listener.summary();
}

}  // namespace tavik::cli
