#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "analysis/analysis_store.h"

namespace tavik {

// One text of the engine and the frame being read when it came: the number of frames recorded
// so far.
struct RaisedMessage {
  std::string text;
  int64_t frame = 0;
};

// The text without its line end, with the frame the store has reached.
[[nodiscard]] RaisedMessage raised_message(const AnalysisStore& store, std::string_view text);

}  // namespace tavik
