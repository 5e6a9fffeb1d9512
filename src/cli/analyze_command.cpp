#include <CLI/CLI.hpp>
#include <array>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cli/analysis_run.h"
#include "cli/commands.h"
#include "cli/lower_layer_option.h"
#include "cli/macroblock_output.h"
#include "cli/measurement_output.h"
#include "cli/output_file.h"
#include "results/report_files.h"
#include "results/stream_description.h"

namespace tavik::cli {

namespace {

constexpr std::array kReportFiles = {ReportFile::kGop, ReportFile::kFrame, ReportFile::kSlice,
                                     ReportFile::kSummary};

struct AnalyzeOptions {
  std::string input;
  bool filter_i = false;
  bool filter_p = false;
  bool filter_b = false;
  bool decode = false;
  bool macroblock_stats = false;
  bool all_sequences = false;
  int trace = 0;
  std::string format = "summary";
  bool bare = false;
  bool save_all = false;
  // Per report file: the name given (empty: the default name) and the option that asks for it.
  std::array<std::string, kReportFiles.size()> report_names;
  std::array<CLI::Option*, kReportFiles.size()> report_options{};
  std::string frame_list;
  std::string gop_list;
  std::string lower_layer;
  uint64_t spool_limit = kDefaultSpoolLimit;
};

void print(std::string_view text, std::FILE* stream) {
  std::fwrite(text.data(), 1, text.size(), stream);
}

// One report file asked for: its name and what it holds.
struct ReportTarget {
  std::string name;
  std::function<std::string(const StoreData&)> text;
  std::string_view open_error;
};

// Every file asked for, with its default name where none was given. A report file without a
// name needs an input file to take it from.
std::vector<ReportTarget> report_targets(const AnalyzeOptions& options, bool input_is_file) {
  std::vector<ReportTarget> targets;
  const ReportNames defaults = default_report_names(options.input);
  const OutputFormat format = options.bare ? OutputFormat::kBare : OutputFormat::kDescriptive;
  for (size_t i = 0; i < kReportFiles.size(); ++i) {
    if (!options.save_all && options.report_options[i]->count() == 0) continue;
    const ReportFile file = kReportFiles[i];
    const std::string& given = options.report_names[i];
    targets.push_back({given.empty() && input_is_file ? defaults[file] : given,
                       [file, format, &options](const StoreData& data) {
                         return report_file_text(file, data, options.input, format);
                       },
                       open_error_message(file)});
  }
  const std::array<std::pair<const std::string*, DocumentKind>, 2> lists = {
      {{&options.frame_list, DocumentKind::kFrames}, {&options.gop_list, DocumentKind::kGops}}};
  for (const auto& [name, kind] : lists) {
    if (name->empty()) continue;
    targets.push_back({*name,
                       [kind = kind, &options](const StoreData& data) {
                         return document_list_text(kind, data, options.input);
                       },
                       kDocumentListError});
  }
  return targets;
}

// The run's listener: the summary, and with --macroblock-stats each picture's figures.
class AnalyzeListener final : public RunListener {
 public:
  void macroblocks_decoded(const PictureMacroblocks& picture) override {
    stats.push_back(statistics_json(picture_statistics(picture)));
  }

  nlohmann::ordered_json stats = nlohmann::ordered_json::array();
};

std::string measurements_text(const AnalyzeOptions& options, const StoreData& data,
                              const AnalyzeListener& listener, const StreamInfo& info,
                              const CliMessages& messages, const PictureTimeline& timeline) {
  const std::string& summary = listener.summary;
  if (options.format == "json") {
    return measurements_json(data, options.input, summary, describe_stream(info, data),
                             messages.kept(), timeline,
                             options.macroblock_stats ? &listener.stats : nullptr);
  }
  if (options.format == "csv") return measurements_csv(data);
  if (options.format == "table") return measurements_table(data);
  return summary;
}

// Writes every file asked for; each failure is reported and the others are still written.
bool write_files(const std::vector<ReportTarget>& targets, const StoreData& data) {
  bool all_written = true;
  for (const ReportTarget& target : targets) {
    if (!write_text_file(target.name, target.text(data))) {
      print(std::string(target.open_error) + ": " + target.name + "\n", stderr);
      all_written = false;
    }
  }
  return all_written;
}

int run_analyze(const AnalyzeOptions& options) {
  if (options.macroblock_stats && options.format != "json") {
    return usage_fail("--macroblock-stats needs --format json");
  }
  const bool decode = options.decode || options.macroblock_stats;
  CliInput input;
  const std::vector<ReportTarget> targets = report_targets(options, options.input != "-");
  std::vector<std::string> names;
  for (const ReportTarget& target : targets) {
    if (target.name.empty())
      return usage_fail("report files need names when the input is standard input");
    names.push_back(target.name);
  }
  // The headers-only walk reads a pipe as it arrives; decoding copies it first.
  const PipeReading reading = decode ? PipeReading::kSpooled : PipeReading::kOnePass;
  if (const std::string problem =
          open_input(input, options.input, names, reading, options.spool_limit);
      !problem.empty()) {
    return fail(problem);
  }
  AnalysisStore store;
  store.set_filters(options.filter_i, options.filter_p, options.filter_b);
  const bool data_on_stdout = options.format == "json" || options.format == "csv";
  CliMessages messages(store, data_on_stdout, options.format == "json");
  SessionOptions session_options;
  session_options.decode_pictures = decode;
  session_options.macroblock_records = options.macroblock_stats;
  session_options.verbose_level = options.trace;
  session_options.lower_layer_pattern = options.lower_layer;
  session_options.all_sequences = options.all_sequences;
  PictureTimeline timeline;
  if (options.format == "json") session_options.timeline = &timeline;
  AnalyzeListener listener;
  const auto info = run_session(store, input, listener, messages, session_options);
  if (!info) return 1;
  const StoreData data = store.snapshot();
  // The container and stream go on a line of their own, never into the summary's text.
  if (const std::string origin = origin_text(data.origin); !origin.empty()) {
    print(origin + "\n", data_on_stdout ? stderr : stdout);
  }
  print(measurements_text(options, data, listener, *info, messages, timeline), stdout);
  const int status = finish(messages);
  return write_files(targets, data) ? status : 1;
}

}  // namespace

void add_analyze_command(CLI::App& app, int& exit_status) {
  auto options = std::make_shared<AnalyzeOptions>();
  CLI::App* command = app.add_subcommand(
      "analyze",
      "Measure the GOPs, frames and slices of a stream, print the summary or the measurements, "
      "and write the report files asked for.");
  add_input_option(*command, options->input);

  command->add_flag("--filter-i", options->filter_i, "Leave I frames out of the measurements");
  command->add_flag("--filter-p", options->filter_p, "Leave P frames out of the measurements");
  command->add_flag("--filter-b", options->filter_b, "Leave B frames out of the measurements");
  command->add_flag("--decode", options->decode,
                    "Measure during a full decode instead of the headers-only walk");
  command->add_flag("--macroblock-stats", options->macroblock_stats,
                    "With --format json: decode every picture and add each one's macroblock "
                    "figures (macroblock_stats)");
  add_all_sequences_flag(*command, options->all_sequences);
  command->add_option("--trace", options->trace, "Header trace level (0 = off)")
      ->check(CLI::NonNegativeNumber);
  command
      ->add_option("--format", options->format,
                   "What to print: summary (the summary report), table, csv (one row per "
                   "frame) or json (counters, maxima, arrays, summary, stream properties and "
                   "the engine's messages); with csv and json the engine's notices go to the "
                   "standard error stream")
      ->check(CLI::IsMember({"summary", "table", "csv", "json"}))
      ->capture_default_str();

  const std::array<const char*, kReportFiles.size()> flags = {"--gop-file", "--frame-file",
                                                              "--slice-file", "--summary-file"};
  const std::array<const char*, kReportFiles.size()> helps = {
      "Write the GOP file (default name: the input's stem + .gop)",
      "Write the frame file (default name: the input's stem + .frm)",
      "Write the slice file (default name: the input's stem + .slc)",
      "Write the summary file (default name: the input's stem + .sum)"};
  for (size_t i = 0; i < kReportFiles.size(); ++i) {
    options->report_options[i] = command->add_option(flags[i], options->report_names[i], helps[i])
                                     ->expected(0, 1)
                                     ->type_name("[NAME]");
  }
  command->add_flag("--save-all", options->save_all,
                    "Write the GOP, frame, slice and summary files (default names unless named "
                    "one by one)");
  command->add_flag("--bare", options->bare,
                    "Write the GOP, frame and slice files as bare byte counts, without help text");
  command
      ->add_option("--frame-list", options->frame_list,
                   "Write the frame list in the information windows' format (CR LF lines)")
      ->type_name("NAME");
  command
      ->add_option("--gop-list", options->gop_list,
                   "Write the GOP list in the information windows' format (CR LF lines)")
      ->type_name("NAME");

  add_lower_layer_option(*command, options->lower_layer);
  add_spool_limit_option(*command, options->spool_limit);
  command->callback([options, &exit_status] { exit_status = run_analyze(*options); });
}

}  // namespace tavik::cli
