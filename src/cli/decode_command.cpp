#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cli/analysis_run.h"
#include "cli/commands.h"
#include "cli/lower_layer_option.h"
#include "cli/output_file.h"
#include "cli/y4m_header.h"
#include "decoder/picture/frame_output.h"
#include "decoder/syntax/decoder_state.h"
#include "results/stream_description.h"

namespace tavik::cli {

namespace {

struct DecodeOptions {
  std::string input;
  std::string output;
  bool coded_size = false;
  bool all_sequences = false;
  int threads = 1;
  std::string lower_layer;
  uint64_t spool_limit = kDefaultSpoolLimit;
};

// What the summary line tells about a frame: the size written, the other size (the coded size
// of a cropped frame, the picture size of an uncropped one) and the chroma format.
struct FrameShape {
  int width = 0;
  int height = 0;
  int other_width = 0;
  int other_height = 0;
  int chroma_format = 1;
  friend bool operator==(const FrameShape&, const FrameShape&) = default;
};

// Writes every frame to the output as it comes, each after a frame header in YUV4MPEG2.
class YuvWriter final : public RunListener {
 public:
  YuvWriter(std::FILE* out, bool coded_size, bool y4m)
      : out_(out), coded_size_(coded_size), y4m_(y4m) {}

  void frame_ready(const FramePlanes& frame, const FrameGeometry& geometry,
                   const DecodingVariables& vars) override {
    if (write_error_ != 0) return;
    const PlaneSizes written = output_plane_sizes(geometry, vars, coded_size_);
    const PlaneSizes other = output_plane_sizes(geometry, vars, !coded_size_);
    const FrameShape shape{written.width[0], written.height[0], other.width[0], other.height[0],
                           geometry.chroma_format};
    if (frame_count_ == 0) {
      first_shape_ = shape;
    } else if (shape != first_shape_) {
      shape_changed_ = true;
    }
    if (y4m_) {
      if (frame_count_ == 0) write(y4m_stream_header(session->stream_info(), written));
      write(kY4mFrameHeader);
    }
    // Straight from the frame store: the stream's buffer is the only copy.
    for_each_planar_run(frame, geometry, written,
                        [this](const uint8_t* bytes, size_t count) { write(bytes, count); });
    if (write_error_ == 0) ++frame_count_;
  }

  [[nodiscard]] int write_error() const { return write_error_; }
  void write(const void* bytes, size_t count) {
    if (write_error_ == 0 && std::fwrite(bytes, 1, count, out_) != count) write_error_ = errno;
  }
  void write(std::string_view text) { write(text.data(), text.size()); }
  [[nodiscard]] bool shape_changed() const { return shape_changed_; }

  // "25 frames, 170x130, 4:2:0 (coded size 176x144)"
  [[nodiscard]] std::string summary_line() const {
    std::string line = std::to_string(frame_count_) + " frames";
    if (frame_count_ == 0) return line + "\n";
    const FrameShape& s = first_shape_;
    line += ", " + std::to_string(s.width) + "x" + std::to_string(s.height) + ", ";
    line += chroma_format_text(s.chroma_format);
    if (s.other_width != s.width || s.other_height != s.height) {
      line += std::string(coded_size_ ? " (picture size " : " (coded size ") +
              std::to_string(s.other_width) + "x" + std::to_string(s.other_height) + ")";
    }
    return line + "\n";
  }

 private:
  std::FILE* out_;
  const bool coded_size_;
  const bool y4m_;
  int64_t frame_count_ = 0;
  FrameShape first_shape_;
  bool shape_changed_ = false;
  int write_error_ = 0;
};

int run_decode(const DecodeOptions& options) {
  CliInput input;
  if (const std::string problem = open_input(input, options.input, {{options.output}},
                                             PipeReading::kSpooled, options.spool_limit);
      !problem.empty()) {
    return fail(problem);
  }
  OutputFile out;
  if (const std::string problem = out.open(options.output); !problem.empty()) {
    return fail("cannot write " + problem);
  }
  const bool to_stdout = options.output == "-";
  // Cropped rows go through the stream's buffer: a large one keeps the writes few.
  std::setvbuf(out.stream(), nullptr, _IOFBF, size_t(1) << 20);
  YuvWriter writer(out.stream(), options.coded_size, has_extension(options.output, ".y4m"));
  SessionOptions session_options;
  session_options.display_disabled = true;
  session_options.all_sequences = options.all_sequences;
  session_options.threads = options.threads;
  session_options.lower_layer_pattern = options.lower_layer;
  AnalysisStore store;
  CliMessages messages(store, to_stdout, false);
  if (!run_session(store, input, writer, messages, session_options,
                   [&writer] { return writer.write_error() != 0; })) {
    return 1;
  }
  if (writer.write_error() != 0) {
    const std::string name = to_stdout ? "standard output" : options.output;
    return fail("cannot write " + name + ": " + std::strerror(writer.write_error()));
  }
  // A read error has been reported; the frames decoded before it are not kept.
  if (messages.read_failed()) return 1;
  if (const std::string problem = out.commit(); !problem.empty()) {
    return fail("cannot write " + problem);
  }
  std::fputs(writer.summary_line().c_str(), to_stdout ? stderr : stdout);
  if (writer.shape_changed()) {
    std::fputs("tavik-cli: the frame size or chroma format changes within the stream\n", stderr);
  }
  return finish(messages);
}

}  // namespace

void add_decode_command(CLI::App& app, int& exit_status) {
  auto options = std::make_shared<DecodeOptions>();
  CLI::App* command = app.add_subcommand(
      "decode",
      "Decode every frame and write them in display order as planar 8-bit YUV (Y, Cb, Cr "
      "planes in the stream's chroma format), cropped to the picture size: YUV4MPEG2 when the "
      "output name ends in .y4m, raw otherwise. A decode that fails leaves no output file.");
  add_input_option(*command, options->input);
  command
      ->add_option("-o,--output", options->output,
                   "The file to write (.y4m: YUV4MPEG2); - writes the frames to the standard "
                   "output and the report to the standard error stream")
      ->required()
      ->type_name("OUT.yuv|OUT.y4m|-");
  add_all_sequences_flag(*command, options->all_sequences);
  command->add_flag("--coded-size", options->coded_size,
                    "Write the whole coded frames (whole macroblocks) instead of cropping them");
  command
      ->add_option("--threads", options->threads,
                   "Decode the slices of each picture on N threads (output identical to one)")
      ->check(CLI::Range(1, 64))
      ->type_name("N");
  add_lower_layer_option(*command, options->lower_layer);
  add_spool_limit_option(*command, options->spool_limit);
  command->callback([options, &exit_status] { exit_status = run_decode(*options); });
}

}  // namespace tavik::cli
