#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "cli/analysis_run.h"
#include "cli/commands.h"
#include "cli/lower_layer_option.h"
#include "decoder/decoder_state.h"
#include "decoder/fatal_error.h"
#include "decoder/frame_output.h"

namespace tavik::cli {

namespace {

struct DecodeOptions {
  std::string input;
  std::string output;
  bool coded_size = false;
  int threads = 1;
  std::string lower_layer;
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

const char* chroma_format_name(int chroma_format) {
  switch (chroma_format) {
    case 2:
      return "4:2:2";
    case 3:
      return "4:4:4";
    default:
      return "4:2:0";
  }
}

// Writes every frame to the output as it comes.
class YuvWriter final : public SessionListener {
 public:
  YuvWriter(std::FILE* out, bool coded_size) : out_(out), coded_size_(coded_size) {}

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
    // Straight from the frame store: the stream's buffer is the only copy.
    for_each_planar_run(frame, geometry, written, [this](const uint8_t* bytes, size_t count) {
      if (write_error_ == 0 && std::fwrite(bytes, 1, count, out_) != count) write_error_ = errno;
    });
    if (write_error_ == 0) ++frame_count_;
  }

  [[nodiscard]] int write_error() const { return write_error_; }
  [[nodiscard]] bool shape_changed() const { return shape_changed_; }

  // "25 frames, 170x130, 4:2:0 (coded size 176x144)"
  [[nodiscard]] std::string summary_line() const {
    std::string line = std::to_string(frame_count_) + " frames";
    if (frame_count_ == 0) return line + "\n";
    const FrameShape& s = first_shape_;
    line += ", " + std::to_string(s.width) + "x" + std::to_string(s.height) + ", " +
            chroma_format_name(s.chroma_format);
    if (s.other_width != s.width || s.other_height != s.height) {
      line += std::string(coded_size_ ? " (picture size " : " (coded size ") +
              std::to_string(s.other_width) + "x" + std::to_string(s.other_height) + ")";
    }
    return line + "\n";
  }

 private:
  std::FILE* out_;
  const bool coded_size_;
  int64_t frame_count_ = 0;
  FrameShape first_shape_;
  bool shape_changed_ = false;
  int write_error_ = 0;
};

constexpr size_t kOutputBufferSize = size_t(1) << 20;

int write_failure(const std::string& path, int error) {
  std::fprintf(stderr, "tavik-cli: cannot write %s: %s\n", path.c_str(), std::strerror(error));
  return 1;
}

int run_decode(const DecodeOptions& options) {
  if (const std::string problem = input_problem(options.input); !problem.empty()) {
    std::fprintf(stderr, "tavik-cli: cannot open %s\n", problem.c_str());
    return 1;
  }
  std::FILE* out = std::fopen(options.output.c_str(), "wb");
  if (out == nullptr) return write_failure(options.output, errno);
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> closer(out, &std::fclose);
  // Cropped rows go through the stream's buffer: a large one keeps the writes few.
  std::setvbuf(out, nullptr, _IOFBF, kOutputBufferSize);

  YuvWriter writer(out, options.coded_size);
  SessionOptions session_options;
  session_options.display_disabled = true;
  session_options.threads = options.threads;
  session_options.lower_layer_pattern = options.lower_layer;
  AnalysisStore store;
  try {
    run_session(store, options.input, writer, session_options,
                [&writer] { return writer.write_error() != 0; });
  } catch (const FatalError& error) {
    std::fputs(error.what(), stderr);
    return 1;
  }
  if (writer.write_error() != 0) return write_failure(options.output, writer.write_error());
  if (std::fclose(closer.release()) != 0) return write_failure(options.output, errno);

  std::fputs(writer.summary_line().c_str(), stdout);
  if (writer.shape_changed()) {
    std::fputs("tavik-cli: the frame size or chroma format changes within the stream\n", stderr);
  }
  return 0;
}

}  // namespace

void add_decode_command(CLI::App& app, int& exit_status) {
  auto options = std::make_shared<DecodeOptions>();
  CLI::App* command = app.add_subcommand(
      "decode",
      "Decode every frame and write them in display order as raw planar 8-bit YUV (Y, Cb, Cr "
      "planes in the stream's chroma format), cropped to the picture size.");
  command->add_option("FILE", options->input, "MPEG-1/MPEG-2 video or MPEG-1 system stream")
      ->required();
  command->add_option("-o,--output", options->output, "The raw YUV file to write")
      ->required()
      ->type_name("OUT.yuv");
  command->add_flag("--coded-size", options->coded_size,
                    "Write the whole coded frames (whole macroblocks) instead of cropping them");
  command
      ->add_option("--threads", options->threads,
                   "Decode the slices of each picture on N threads (output identical to one)")
      ->check(CLI::Range(1, 64))
      ->type_name("N");
  add_lower_layer_option(*command, options->lower_layer);
  command->callback([options, &exit_status] { exit_status = run_decode(*options); });
}

}  // namespace tavik::cli
