#include <CLI/CLI.hpp>
#include <array>
#include <charconv>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/analysis_run.h"
#include "cli/commands.h"
#include "cli/measurement_output.h"
#include "cli/text_table.h"
#include "cli/timing_run.h"
#include "results/report_files.h"
#include "timing/bitrate.h"

namespace tavik::cli {

namespace {

struct BitrateOptions {
  std::string input;
  std::string window = "1s";
  std::string per = "second";
  std::string format = "table";
  bool all_sequences = false;
};

std::string kbit_text(double kbit_s) {
  return number_text(kbit_s, "%.3f");
}

std::string seconds_text(double seconds) {
  return number_text(seconds, "%.6f");
}

// A 90 kHz time stamp in seconds; empty when absent.
std::string stamp_text(int64_t stamp) {
  return stamp < 0 ? std::string() : seconds_text(double(stamp) / 90000);
}

nlohmann::ordered_json stamp_json(int64_t stamp) {
  if (stamp < 0) return nullptr;
  return double(stamp) / 90000;
}

constexpr std::array<std::string_view, 5> kSpanHeader = {"index", "start", "length", "bits",
                                                         "kbit_s"};
constexpr std::array<std::string_view, 9> kPictureHeader = {
    "picture", "type", "decode_time", "presentation_time", "pts",
    "dts",     "bits", "kbit_s",      "moving_kbit_s"};

std::vector<TextRow> span_rows(const std::vector<RateSample>& samples) {
  std::vector<TextRow> rows;
  rows.reserve(samples.size());
  for (const RateSample& s : samples) {
    rows.push_back({std::to_string(s.index), seconds_text(s.start), seconds_text(s.length),
                    std::to_string(s.bits), kbit_text(s.kbit_s)});
  }
  return rows;
}

std::vector<TextRow> picture_rows(const PictureTimeline& timeline, const BitrateReport& report) {
  std::vector<TextRow> rows;
  rows.reserve(report.per_picture.size());
  for (size_t i = 0; i < report.per_picture.size(); ++i) {
    const PictureTiming& p = timeline.pictures()[i];
    rows.push_back({std::to_string(i), std::string(type_letter(p.type, "?")),
                    seconds_text(p.decode_time), seconds_text(p.presentation_time),
                    stamp_text(p.stamps.pts), stamp_text(p.stamps.dts),
                    std::to_string(report.per_picture[i].bits),
                    kbit_text(report.per_picture[i].kbit_s), kbit_text(report.moving[i].kbit_s)});
  }
  return rows;
}

std::string rows_text(const BitrateOptions& options, const PictureTimeline& timeline,
                      const BitrateReport& report) {
  const bool csv = options.format == "csv";
  const auto table = [csv](std::span<const std::string_view> header,
                           const std::vector<TextRow>& rows) {
    return csv ? csv_table(header, rows) : aligned_table(header, rows);
  };
  std::array<std::string_view, 5> header = kSpanHeader;
  if (options.per == "picture") return table(kPictureHeader, picture_rows(timeline, report));
  header[0] = options.per;
  return table(header, span_rows(options.per == "gop" ? report.per_gop : report.per_second));
}

struct NamedSummary {
  const char* key;
  const char* label;
  const RateSummary* summary;
};

std::array<NamedSummary, 4> summaries(const BitrateReport& report) {
  return {{{"per_second", "Per second", &report.second_summary},
           {"moving_average", "Moving average", &report.moving_summary},
           {"per_gop", "Per GOP", &report.gop_summary},
           {"per_picture", "Per picture", &report.picture_summary}}};
}

std::string summary_text(const PictureTimeline& timeline, const BitrateReport& report,
                         const MovingWindow& window) {
  const int64_t nominal = nominal_bit_rate(timeline.sequence());
  std::string text =
      "Nominal bit rate: " +
      (nominal < 0 ? std::string("variable") : kbit_text(double(nominal) / 1000) + " kbit/s") +
      "\nMeasured bit rate: " + kbit_text(report.measured_kbit_s) + " kbit/s over " +
      number_text(timeline.duration(), "%.3f") + " s\nMoving average over " +
      std::to_string(window.length) + (window.pictures ? " pictures" : " s") + "\n";
  for (const NamedSummary& named : summaries(report)) {
    const RateSummary& s = *named.summary;
    text += std::string(named.label) + ": average " + kbit_text(s.average) + ", minimum " +
            kbit_text(s.minimum) + ", maximum " + kbit_text(s.maximum) +
            " kbit/s, peak to average " + number_text(s.peak_to_average, "%.3f") + "\n";
  }
  return text + "\n";
}

const std::vector<RateSample>& samples(const BitrateOptions& options, const BitrateReport& report) {
  return options.per == "gop" ? report.per_gop : report.per_second;
}

size_t row_count(const BitrateOptions& options, const BitrateReport& report) {
  return options.per == "picture" ? report.per_picture.size() : samples(options, report).size();
}

nlohmann::ordered_json row_json(const BitrateOptions& options, const PictureTimeline& timeline,
                                const BitrateReport& report, size_t i) {
  if (options.per == "picture") {
    const PictureTiming& p = timeline.pictures()[i];
    return {{"index", i},
            {"type", std::string(type_letter(p.type, "?"))},
            {"decode_time", p.decode_time},
            {"presentation_time", p.presentation_time},
            {"pts", stamp_json(p.stamps.pts)},
            {"dts", stamp_json(p.stamps.dts)},
            {"bits", report.per_picture[i].bits},
            {"kbit_s", report.per_picture[i].kbit_s},
            {"moving_kbit_s", report.moving[i].kbit_s}};
  }
  const RateSample& s = samples(options, report)[i];
  return {{"index", s.index},
          {"start", s.start},
          {"length", s.length},
          {"bits", s.bits},
          {"kbit_s", s.kbit_s}};
}

// The document with its rows array empty: json_text_with_items fills it.
nlohmann::ordered_json report_json(const BitrateOptions& options, const PictureTimeline& timeline,
                                   const BitrateReport& report, const MovingWindow& window) {
  nlohmann::ordered_json summary = nlohmann::ordered_json::object();
  for (const NamedSummary& named : summaries(report)) {
    summary[named.key] = {{"average", named.summary->average},
                          {"minimum", named.summary->minimum},
                          {"maximum", named.summary->maximum},
                          {"peak_to_average", named.summary->peak_to_average}};
  }
  const int64_t nominal = nominal_bit_rate(timeline.sequence());
  return {{"schema", kJsonSchema},
          {"input", options.input},
          {"problem", timeline.problem().empty() ? nlohmann::ordered_json(nullptr)
                                                 : nlohmann::ordered_json(timeline.problem())},
          {"duration", timeline.duration()},
          {"nominal_bit_rate",
           nominal < 0 ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(nominal)},
          {"measured_kbit_s", report.measured_kbit_s},
          {"window", {{"length", window.length}, {"unit", window.pictures ? "pictures" : "s"}}},
          {"per", options.per},
          {"rows", nlohmann::ordered_json::array()},
          {"summary", summary},
          {"warnings", timing_warnings_json(timeline)}};
}

int run_bitrate(const BitrateOptions& options) {
  const std::optional<MovingWindow> window = parse_window(options.window);
  if (!window) {
    return usage_fail("--window " + options.window + kWindowUsage);
  }
  AnalysisStore store;
  const bool data_on_stdout = options.format != "table";
  CliMessages messages(store, data_on_stdout, false);
  const auto timeline =
      run_timeline(options.input, options.all_sequences, data_on_stdout, store, messages);
  if (!timeline) return kFailureStatus;
  const BitrateReport report = bitrate_report(*timeline, *window);
  const bool json = options.format == "json";
  if (!json) print_timing_warnings(*timeline);
  std::string text;
  if (json) {
    text = json_text_with_items(report_json(options, *timeline, report, *window), "rows",
                                row_count(options, report),
                                [&](size_t i) { return row_json(options, *timeline, report, i); });
  } else if (!timeline->problem().empty()) {
    text = options.format == "csv" ? "" : "Bitrate not measured: " + timeline->problem() + "\n";
  } else {
    text = (options.format == "table" ? summary_text(*timeline, report, *window) : "") +
           rows_text(options, *timeline, report);
  }
  std::fwrite(text.data(), 1, text.size(), stdout);
  if (!timeline->problem().empty()) {
    if (options.format != "table") fail("bitrate not measured: " + timeline->problem());
    // Either way the work failed; finish still reports an output that cannot be written.
    static_cast<void>(finish(messages));
    return kFailureStatus;
  }
  return finish(messages);
}

}  // namespace

void add_bitrate_command(CLI::App& app, int& exit_status) {
  auto options = std::make_shared<BitrateOptions>();
  CLI::App* command = app.add_subcommand(
      "bitrate",
      "Measure the bitrate over time from the pictures' elementary-stream sizes and decoding "
      "times: per second, per GOP or per picture, with a moving average and the nominal rate.");
  add_input_option(*command, options->input);
  command
      ->add_option("--window", options->window,
                   "The moving average's window: Ns (N seconds) or Nf (N pictures)")
      ->capture_default_str();
  command->add_option("--per", options->per, "Rows per second, gop or picture")
      ->check(CLI::IsMember({"second", "gop", "picture"}))
      ->capture_default_str();
  command->add_option("--format", options->format, "table, csv or json")
      ->check(CLI::IsMember({"table", "csv", "json"}))
      ->capture_default_str();
  add_all_sequences_flag(*command, options->all_sequences);
  command->callback([options, &exit_status] { exit_status = run_bitrate(*options); });
}

}  // namespace tavik::cli
