#include "cli/analysis_run.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "base/fatal_error.h"
#include "cli/output_file.h"
#include "cli/progress_meter.h"

namespace tavik::cli {

namespace {

// "stopped at the sequence end code at byte N; M bytes follow"; in a system stream the end
// code's place in the file is not known, only that more follows.
void tell_early_stop(const StreamInfo& info, uint64_t file_size) {
  if (info.stopped_at < 0) return;
  if (info.container != Container::kElementary) {
    std::fputs("tavik-cli: stopped at a sequence end code; another sequence follows it\n", stderr);
    return;
  }
  const uint64_t end_code = static_cast<uint64_t>(info.stopped_at) + info.skipped_bytes;
  const uint64_t after = end_code + 4;
  std::fprintf(stderr,
               "tavik-cli: stopped at the sequence end code at byte %llu; %llu bytes follow\n",
               static_cast<unsigned long long>(end_code),
               static_cast<unsigned long long>(file_size > after ? file_size - after : 0));
}

}  // namespace

std::string open_input(CliInput& input, const std::string& name,
                       std::span<const std::string> outputs) {
  if (const std::string problem = input.open(name); !problem.empty()) {
    return "cannot open " + problem;
  }
  for (const std::string& output : outputs) {
    if (input.copied()) break;
    if (const std::string problem = output_names_input(output, input.path()); !problem.empty()) {
      return problem + "; nothing written";
    }
  }
  return {};
}

std::optional<StreamInfo> run_session(AnalysisStore& store, const CliInput& input,
                                      RunListener& listener, Messages& messages,
                                      const SessionOptions& options,
                                      const std::function<bool()>& finished) {
  std::error_code size_error;
  const auto file_size = std::filesystem::file_size(input.path(), size_error);
  ProgressMeter progress(size_error ? 0 : file_size);

  DecodingSession session(store, messages, listener, options);
  listener.session = &session;
  struct Detach {
    RunListener& listener;
    ~Detach() { listener.session = nullptr; }
  } detach{listener};
  try {
    session.open_stream(input.path());
    while (session.decode_step()) {
      progress.update(store);
      if (finished && finished()) return session.stream_info();
    }
  } catch (const FatalError& error) {
    std::fputs(error.what(), stderr);
    return std::nullopt;
  }
  tell_early_stop(session.stream_info(), size_error ? 0 : file_size);
  return session.stream_info();
}

int fail(const std::string& text) {
  std::fprintf(stderr, "tavik-cli: %s\n", text.c_str());
  return 1;
}

int finish(const CliMessages& messages) {
  if (const std::string problem = flush_standard_output(); !problem.empty()) {
    return fail("cannot write " + problem);
  }
  return messages.read_failed() ? 1 : 0;
}

}  // namespace tavik::cli
