#include "cli/structure_run.h"

#include "analysis/analysis_store.h"
#include "base/fatal_error.h"
#include "cli/cli_messages.h"
#include "decoder/syntax/stream_info.h"
#include "session/decoding_session.h"
#include "structure/index_builder.h"

namespace tavik::cli {

std::string build_structure(const std::string& path, bool all_sequences, BuiltStructure& built) {
  built.file = RandomAccessFile::open(path);
  if (!built.file)
    return "tavik-cli: cannot open " + path + " as a file (a pipe cannot be shown)\n";
  AnalysisStore store;
  CliMessages messages(store, true, false);
  SessionListener listener;
  IndexBuilder builder(built.index);
  SessionOptions options;
  options.decode_pictures = false;
  options.all_sequences = all_sequences;
  options.observe_structure(builder);
  DecodingSession session(store, messages, listener, options);
  bool opened = false;
  try {
    session.open_stream(path);
    opened = true;
    while (session.decode_step()) {
    }
  } catch (const FatalError& error) {
    if (!opened) return error.what();
    built.error = error.what();
  }
  const StreamInfo& info = session.stream_info();
  builder.finish(info.container, built.file->size(), info.skipped_bytes, built.error);
  return {};
}

}  // namespace tavik::cli
