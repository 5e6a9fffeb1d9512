#pragma once

#include <functional>
#include <string>

#include "analysis/analysis_store.h"
#include "decoder/decoding_session.h"

namespace tavik::cli {

// A message naming the input when it cannot be read ("PATH: reason"), or empty when it can.
[[nodiscard]] std::string input_problem(const std::string& path);

// Opens the stream and steps the session until it ends or `finished` (checked after every
// step) says so. FatalError from the session passes through. A progress line is kept on the
// standard error stream, when it is a terminal, for runs that last longer than a second.
void run_session(AnalysisStore& store, const std::string& input_path, SessionListener& listener,
                 const SessionOptions& options, const std::function<bool()>& finished = {});

// Runs the session to its end and returns the summary it hands over.
[[nodiscard]] std::string run_analysis(AnalysisStore& store, const std::string& input_path,
                                       const SessionOptions& options);

}  // namespace tavik::cli
