#pragma once

#include <functional>
#include <optional>
#include <span>
#include <string>

#include "analysis/analysis_store.h"
#include "cli/cli_input.h"
#include "cli/cli_messages.h"
#include "decoder/syntax/stream_info.h"
#include "session/decoding_session.h"

namespace tavik::cli {

// What a command hears from its session. `session` is set while the session runs, so that a
// listener can look at the headers read so far.
class RunListener : public SessionListener {
 public:
  void session_ended(const std::string& text) override { summary = text; }

  const DecodingSession* session = nullptr;
  std::string summary;  // handed over at the end of the stream
};

// Opens the input named `name`, a pipe read as `reading` says, and makes sure that no output
// names the same file. Returns an empty string, or the message to fail with.
[[nodiscard]] std::string open_input(CliInput& input, const std::string& name,
                                     std::span<const std::string> outputs, PipeReading reading,
                                     uint64_t spool_limit = kDefaultSpoolLimit);

// Steps the session on the input until it ends or `finished` (checked after every step) says
// so; returns what the headers told, or nullopt after printing the text of a fatal error (or of
// a pipe read in one pass that could not be). A progress line is kept on the standard error
// stream, when it is a terminal, for runs that last longer than a second. A walk that stopped at a
// sequence end code with another sequence after it says so on the standard error stream.
std::optional<StreamInfo> run_session(AnalysisStore& store, const CliInput& input,
                                      RunListener& listener, Messages& messages,
                                      const SessionOptions& options,
                                      const std::function<bool()>& finished = {});

// Prints "tavik-cli: " and the text on the standard error stream; returns 1, the exit status.
int fail(const std::string& text);
// The same for options that cannot be used as given; returns 2.
int usage_fail(const std::string& text);

// The exit status of a command whose work is done: 1 when the input could not be read to its
// end or the standard output cannot be written (which is reported), else 0.
[[nodiscard]] int finish(const CliMessages& messages);

}  // namespace tavik::cli
