#include "cli/analysis_run.h"

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

std::string run_analysis(AnalysisStore& store, const std::string& input_path,
                         const SessionOptions& options) {
  StdMessages messages;
  SummaryKeeper listener;
  std::error_code size_error;
  const auto file_size = std::filesystem::file_size(input_path, size_error);
  ProgressMeter progress(size_error ? 0 : file_size);

  DecodingSession session(store, messages, listener, options);
  session.open_stream(input_path);
  while (session.decode_step()) progress.update(store);
  return listener.summary();
}

}  // namespace tavik::cli
