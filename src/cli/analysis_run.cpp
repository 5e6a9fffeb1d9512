#include "cli/analysis_run.h"

#include <cstdio>

#include "base/fatal_error.h"
#include "cli/commands.h"
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
                       std::span<const std::string> outputs, PipeReading reading,
                       uint64_t spool_limit) {
  if (std::string problem = input.open(name, reading, spool_limit); !problem.empty()) {
    return problem;
  }
  for (const std::string& output : outputs) {
    if (input.file().empty()) break;
    if (const std::string problem = output_names_input(output, input.file()); !problem.empty()) {
      return problem + "; nothing written";
    }
  }
  return {};
}

std::optional<StreamInfo> run_session(AnalysisStore& store, const CliInput& input,
                                      RunListener& listener, Messages& messages,
                                      const SessionOptions& options,
                                      const std::function<bool()>& finished) {
  const uint64_t file_size = input.size();
  ProgressMeter progress(file_size);
  // A pipe read in one pass is read as the walk goes, and at its start before the first step.
  input.on_read([&](uint64_t bytes_read) { progress.update(store, bytes_read); });

  DecodingSession session(store, messages, listener, options);
  listener.session = &session;
  struct Detach {
    RunListener& listener;
    const CliInput& input;
    ~Detach() {
      listener.session = nullptr;
      input.on_read({});
    }
  } detach{listener, input};
  const auto overrun = [&input, &progress] {
    const std::string text = input.overrun_text();
    if (text.empty()) return false;
    progress.clear();
    fail(text);
    return true;
  };
  try {
    input.start(session);
    while (session.decode_step()) {
      progress.update(store, input.bytes_read());
      if (finished && finished()) return session.stream_info();
    }
  } catch (const FatalError& error) {
    progress.clear();
    std::fputs(error.what(), stderr);
    overrun();
    return std::nullopt;
  }
  if (overrun()) return std::nullopt;
  tell_early_stop(session.stream_info(), file_size);
  return session.stream_info();
}

int fail(const std::string& text) {
  std::fprintf(stderr, "tavik-cli: %s\n", text.c_str());
  return kFailureStatus;
}

int usage_fail(const std::string& text) {
  fail(text);
  return kUsageStatus;
}

int finish(const CliMessages& messages) {
  if (const std::string problem = flush_standard_output(); !problem.empty()) {
    return fail("cannot write " + problem);
  }
  return messages.read_failed() ? 1 : 0;
}

}  // namespace tavik::cli
