#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "cli/cli_messages.h"
#include "timing/bitrate.h"
#include "timing/picture_timeline.h"

namespace tavik::cli {

// Walks the headers of the stream named `input` (a pipe in one pass) and returns the timeline
// of its pictures, or nullopt after the failure has been printed. The engine's notices go to
// the standard error stream when `data_on_stdout`.
[[nodiscard]] std::optional<PictureTimeline> run_timeline(const std::string& input,
                                                          bool all_sequences, bool data_on_stdout,
                                                          AnalysisStore& store,
                                                          CliMessages& messages);

// The timeline's warnings on the standard error stream, one line each with its picture.
void print_timing_warnings(const PictureTimeline& timeline);

// The same as a JSON array of {"index", "text"}.
[[nodiscard]] nlohmann::ordered_json timing_warnings_json(const PictureTimeline& timeline);

// "5s" (seconds) or "25f" (pictures), a positive whole number; nullopt for anything else, whose
// usage error ends with kWindowUsage.
[[nodiscard]] std::optional<MovingWindow> parse_window(std::string_view text);
inline constexpr const char* kWindowUsage =
    ": give a whole number of seconds (5s) or of pictures (25f)";

// A number as text with the printf format given.
[[nodiscard]] std::string number_text(double value, const char* format);

}  // namespace tavik::cli
