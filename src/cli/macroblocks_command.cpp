#include <CLI/CLI.hpp>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "cli/analysis_run.h"
#include "cli/commands.h"
#include "cli/lower_layer_option.h"
#include "cli/macroblock_output.h"
#include "cli/measurement_output.h"
#include "cli/output_file.h"
#include "results/stream_description.h"
#include "session/frame_macroblocks.h"

namespace tavik::cli {

namespace {

struct MacroblocksOptions {
  std::string input;
  std::string output = "-";
  int64_t frame = -1;
  std::string frames;
  std::string format = "csv";
  int threads = 1;
  std::string lower_layer;
  uint64_t spool_limit = kDefaultSpoolLimit;
  // The frames written, display order, both ends included.
  int64_t first = 0;
  int64_t last = std::numeric_limits<int64_t>::max();
};

// Collects the records of the frames asked for as they are shown, in the format asked for.
class MacroblockWriter final : public RunListener {
 public:
  explicit MacroblockWriter(const MacroblocksOptions& options) : options_(options) {}

  void macroblocks_decoded(const PictureMacroblocks& picture) override {
    frames_.picture_decoded(picture);
  }

  void frame_ready(const FramePlanes& frame, const FrameGeometry&,
                   const DecodingVariables&) override {
    const int64_t index = shown_++;
    if (index < options_.first || index > options_.last) return;
    const ShownFrame shown{index, frames_.shown(frame)};
    if (options_.format == "csv") {
      append_macroblocks_csv(text_, shown);
    } else if (options_.format == "json") {
      append_macroblocks_json(rows_, shown);
    } else {
      if (text_.empty()) {
        const SequenceValues& sequence = session->stream_info().sequence;
        const Rational rate = frame_rate(sequence);
        text_ = yuview_header(options_.input, sequence.horizontal_size, sequence.vertical_size,
                              rate.den ? double(rate.num) / double(rate.den) : 0.0);
      }
      append_yuview(text_, shown);
    }
  }

  [[nodiscard]] bool done() const { return shown_ > options_.last; }
  [[nodiscard]] int64_t shown() const { return shown_; }

  [[nodiscard]] std::string text() const {
    if (options_.format == "csv") return macroblocks_csv_header() + text_;
    if (options_.format == "json") {
      const nlohmann::ordered_json json = {{"schema", kJsonSchema},
                                           {"input", options_.input},
                                           {"first_frame", options_.first},
                                           {"macroblocks", rows_}};
      return json.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    }
    return text_;
  }

 private:
  const MacroblocksOptions& options_;
  FrameMacroblocks frames_;
  int64_t shown_ = 0;
  std::string text_;
  nlohmann::ordered_json rows_ = nlohmann::ordered_json::array();
};

// "A-B" (A <= B) into the range; false when it is not one.
bool parse_range(const std::string& text, int64_t& first, int64_t& last) {
  long long a = 0;
  long long b = 0;
  char end = 0;
  if (std::sscanf(text.c_str(), "%lld-%lld%c", &a, &b, &end) != 2 || a < 0 || b < a) return false;
  first = a;
  last = b;
  return true;
}

int run_macroblocks(MacroblocksOptions& options) {
  if (options.frame >= 0) options.first = options.last = options.frame;
  if (!options.frames.empty() && !parse_range(options.frames, options.first, options.last)) {
    return usage_fail("--frames takes A-B, two frame numbers with A <= B: " + options.frames);
  }
  CliInput input;
  if (const std::string problem = open_input(input, options.input, {{options.output}},
                                             PipeReading::kSpooled, options.spool_limit);
      !problem.empty()) {
    return fail(problem);
  }
  AnalysisStore store;
  CliMessages messages(store, options.output == "-", false);
  MacroblockWriter writer(options);
  SessionOptions session_options;
  session_options.display_disabled = true;
  session_options.macroblock_records = true;
  session_options.threads = options.threads;
  session_options.lower_layer_pattern = options.lower_layer;
  if (!run_session(store, input, writer, messages, session_options,
                   [&writer] { return writer.done(); })) {
    return 1;
  }
  if (writer.shown() <= options.first) {
    return fail("frame " + std::to_string(options.first) + " is beyond the end of the stream (" +
                std::to_string(writer.shown()) + " frames)");
  }
  OutputFile out;
  std::string problem = out.open(options.output);
  if (problem.empty()) {
    const std::string text = writer.text();
    std::fwrite(text.data(), 1, text.size(), out.stream());
    problem = out.commit();
  }
  if (!problem.empty()) return fail("cannot write " + problem);
  return finish(messages);
}

}  // namespace

void add_macroblocks_command(CLI::App& app, int& exit_status) {
  auto options = std::make_shared<MacroblocksOptions>();
  CLI::App* command = app.add_subcommand(
      "macroblocks",
      "Write what the decoder learnt of every macroblock of the frames asked for (display "
      "order, counted from 0): one row per macroblock, or a YUView statistics file.");
  add_input_option(*command, options->input);
  auto* frame = command->add_option("--frame", options->frame, "Only this frame")
                    ->check(CLI::Range(int64_t{0}, std::numeric_limits<int64_t>::max()));
  command->add_option("--frames", options->frames, "Only the frames A to B")
      ->type_name("A-B")
      ->excludes(frame);
  command
      ->add_option("--format", options->format,
                   "csv (one row per macroblock), json (one object per macroblock) or yuview "
                   "(the statistics file YUView shows over the decoded frames)")
      ->check(CLI::IsMember({"csv", "json", "yuview"}))
      ->capture_default_str();
  command->add_option("-o,--output", options->output, "The file to write (- the standard output)")
      ->capture_default_str();
  command->add_option("--threads", options->threads, "Threads that decode the slices")
      ->check(CLI::Range(1, 64));
  add_lower_layer_option(*command, options->lower_layer);
  add_spool_limit_option(*command, options->spool_limit);
  command->callback([options, &exit_status] { exit_status = run_macroblocks(*options); });
}

}  // namespace tavik::cli
