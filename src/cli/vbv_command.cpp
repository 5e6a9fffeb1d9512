#include <CLI/CLI.hpp>
#include <array>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "cli/analysis_run.h"
#include "cli/commands.h"
#include "cli/measurement_output.h"
#include "cli/text_table.h"
#include "cli/timing_run.h"
#include "results/report_files.h"
#include "timing/vbv_model.h"

namespace tavik::cli {

namespace {

struct VbvOptions {
  std::string input;
  std::string format = "table";
  bool all_sequences = false;
};

constexpr std::array<std::string_view, 8> kHeader = {
    "picture",         "type",      "decode_time",       "bits", "occupancy_before",
    "occupancy_after", "vbv_delay", "vbv_delay_expected"};

int64_t rounded(double value) {
  return std::llround(value);
}

std::string type_text(int type) {
  return std::string(type_letter(uint32_t(type), "?"));
}

std::vector<TextRow> picture_rows(const VbvReport& report) {
  std::vector<TextRow> rows;
  rows.reserve(report.pictures.size());
  for (const VbvPicture& p : report.pictures) {
    rows.push_back({std::to_string(p.index), type_text(p.type), number_text(p.decode_time, "%.6f"),
                    std::to_string(p.bits), std::to_string(rounded(p.occupancy_before)),
                    std::to_string(rounded(p.occupancy_after)), std::to_string(p.vbv_delay),
                    p.vbv_delay_expected < 0 ? "" : number_text(p.vbv_delay_expected, "%.1f")});
  }
  return rows;
}

// "underflow at picture 12 (0.480000 s): 5000 bits"
std::string violation_text(const VbvViolation& v) {
  std::string text = std::string(vbv_kind_key(v.kind)) + " at picture " + std::to_string(v.index) +
                     " (" + number_text(v.time, "%.6f") + " s): ";
  switch (v.kind) {
    case VbvKind::kUnderflow:
      return text + std::to_string(rounded(v.bits)) + " bits not yet in the buffer";
    case VbvKind::kOverflow:
      return text + std::to_string(rounded(v.bits)) + " bits beyond the buffer size";
    case VbvKind::kVbvDelay:
      return text + "vbv_delay off by " + number_text(v.bits, "%.1f") + " ticks";
  }
  return text;
}

std::string report_text(const VbvReport& report) {
  std::string text = "Mode: " +
                     std::string(report.constant_rate ? "constant rate (vbv_delay coded)"
                                                      : "variable rate (vbv_delay 0xFFFF)") +
                     "\nBuffer size: " + std::to_string(report.buffer_size_bits) +
                     " bits\nBit rate: " + std::to_string(report.bit_rate) +
                     " bit/s\nLow delay: " + (report.low_delay ? "yes" : "no") + "\n";
  size_t buffer_violations = 0;
  for (const VbvViolation& v : report.violations) buffer_violations += v.kind != VbvKind::kVbvDelay;
  text += "Violations: " + std::to_string(buffer_violations) + ", vbv_delay mismatches: " +
          std::to_string(report.violations.size() - buffer_violations) + "\n";
  for (const VbvViolation& v : report.violations) text += violation_text(v) + "\n";
  return text + "\n" + aligned_table(kHeader, picture_rows(report));
}

nlohmann::ordered_json picture_json(const VbvPicture& p) {
  return {{"index", p.index},
          {"type", type_text(p.type)},
          {"decode_time", p.decode_time},
          {"bits", p.bits},
          {"occupancy_before", rounded(p.occupancy_before)},
          {"occupancy_after", rounded(p.occupancy_after)},
          {"vbv_delay", p.vbv_delay},
          {"vbv_delay_expected", p.vbv_delay_expected < 0
                                     ? nlohmann::ordered_json(nullptr)
                                     : nlohmann::ordered_json(p.vbv_delay_expected)}};
}

// The document with its pictures array empty: json_text_with_items fills it.
nlohmann::ordered_json report_json(const VbvOptions& options, const PictureTimeline& timeline,
                                   const VbvReport& report) {
  const bool modelled = report.problem.empty();
  nlohmann::ordered_json violations = nlohmann::ordered_json::array();
  for (const VbvViolation& v : report.violations) {
    violations.push_back(
        {{"kind", vbv_kind_key(v.kind)}, {"index", v.index}, {"time", v.time}, {"bits", v.bits}});
  }
  return {{"schema", kJsonSchema},
          {"input", options.input},
          {"problem",
           modelled ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(report.problem)},
          {"mode", modelled ? nlohmann::ordered_json(report.constant_rate ? "constant" : "variable")
                            : nlohmann::ordered_json(nullptr)},
          {"low_delay", report.low_delay},
          {"buffer_size_bits", report.buffer_size_bits},
          {"bit_rate", report.bit_rate},
          {"pictures", nlohmann::ordered_json::array()},
          {"violations", violations},
          {"warnings", timing_warnings_json(timeline)}};
}

int run_vbv(const VbvOptions& options) {
  AnalysisStore store;
  const bool data_on_stdout = options.format != "table";
  CliMessages messages(store, data_on_stdout, false);
  const auto timeline =
      run_timeline(options.input, options.all_sequences, data_on_stdout, store, messages);
  if (!timeline) return kFailureStatus;
  const VbvReport report = model_vbv(*timeline);
  const bool modelled = report.problem.empty();
  if (options.format != "json") print_timing_warnings(*timeline);
  std::string text;
  if (options.format == "json") {
    text = json_text_with_items(report_json(options, *timeline, report), "pictures",
                                report.pictures.size(),
                                [&](size_t i) { return picture_json(report.pictures[i]); });
  } else if (options.format == "csv") {
    if (modelled) text = csv_table(kHeader, picture_rows(report));
    for (const VbvViolation& v : report.violations) fail(violation_text(v));
  } else {
    text = modelled ? report_text(report) : "VBV not modelled: " + report.problem + "\n";
  }
  std::fwrite(text.data(), 1, text.size(), stdout);
  if (!modelled && options.format != "table") fail("VBV not modelled: " + report.problem);
  const int status = finish(messages);
  if (status != 0 || !modelled) return kFailureStatus;
  return report.violated() ? kViolationStatus : 0;
}

}  // namespace

void add_vbv_command(CLI::App& app, int& exit_status) {
  auto options = std::make_shared<VbvOptions>();
  CLI::App* command = app.add_subcommand(
      "vbv",
      "Model the video buffering verifier: the buffer's occupancy before and after each "
      "picture leaves it, the vbv_delay each picture should carry, underflows and overflows "
      "(exit status 3 when one is found).");
  add_input_option(*command, options->input);
  command->add_option("--format", options->format, "table, csv or json")
      ->check(CLI::IsMember({"table", "csv", "json"}))
      ->capture_default_str();
  add_all_sequences_flag(*command, options->all_sequences);
  command->callback([options, &exit_status] { exit_status = run_vbv(*options); });
}

}  // namespace tavik::cli
