#pragma once

#include <string>

#include "analysis/analysis_store.h"
#include "decoder/decoding_session.h"

namespace tavik::cli {

// Opens the stream, steps the session to its end and returns the summary it hands over.
// FatalError from the session passes through. A progress line is kept on the standard error
// stream, when it is a terminal, for runs that last longer than a second.
[[nodiscard]] std::string run_analysis(AnalysisStore& store, const std::string& input_path,
                                       const SessionOptions& options);

}  // namespace tavik::cli
