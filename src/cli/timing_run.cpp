#include "cli/timing_run.h"

#include <charconv>
#include <cstdio>

#include "cli/analysis_run.h"

namespace tavik::cli {

std::optional<PictureTimeline> run_timeline(const std::string& input_name, bool all_sequences,
                                            bool data_on_stdout, AnalysisStore& store,
                                            CliMessages& messages) {
  CliInput input;
  if (const std::string problem = open_input(input, input_name, {}, PipeReading::kOnePass);
      !problem.empty()) {
    fail(problem);
    return std::nullopt;
  }
  PictureTimeline timeline;
  SessionOptions options;
  options.decode_pictures = false;
  options.all_sequences = all_sequences;
  options.timeline = &timeline;
  RunListener listener;
  if (!run_session(store, input, listener, messages, options)) return std::nullopt;
  return timeline;
}

void print_timing_warnings(const PictureTimeline& timeline) {
  for (const TimingWarning& warning : timeline.warnings()) {
    std::fprintf(stderr, "tavik-cli: picture %lld: %s\n", static_cast<long long>(warning.index),
                 warning.text.c_str());
  }
}

nlohmann::ordered_json timing_warnings_json(const PictureTimeline& timeline) {
  nlohmann::ordered_json warnings = nlohmann::ordered_json::array();
  for (const TimingWarning& warning : timeline.warnings()) {
    warnings.push_back({{"index", warning.index}, {"text", warning.text}});
  }
  return warnings;
}

std::optional<MovingWindow> parse_window(std::string_view text) {
  if (text.size() < 2 || (text.back() != 's' && text.back() != 'f')) return std::nullopt;
  MovingWindow window;
  window.pictures = text.back() == 'f';
  const std::string_view digits = text.substr(0, text.size() - 1);
  const auto [end, error] =
      std::from_chars(digits.data(), digits.data() + digits.size(), window.length);
  if (error != std::errc() || end != digits.data() + digits.size() || window.length <= 0) {
    return std::nullopt;
  }
  return window;
}

std::string number_text(double value, const char* format) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

}  // namespace tavik::cli
