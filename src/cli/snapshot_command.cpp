#include <CLI/CLI.hpp>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <memory>
#include <string>

#include "cli/analysis_run.h"
#include "cli/commands.h"
#include "cli/lower_layer_option.h"
#include "cli/output_file.h"
#include "cli/png_writer.h"
#include "decoder/syntax/decoder_state.h"
#include "display/dither.h"
#include "display/palette.h"
#include "display/true_colour.h"

namespace tavik::cli {

namespace {

struct SnapshotOptions {
  std::string input;
  std::string output;
  int frame = 0;
  bool true_colour = false;
  std::string lower_layer;
  uint64_t spool_limit = kDefaultSpoolLimit;
};

// Keeps the dithered image of one frame. The session hands a frame's image over right after
// the frame itself; the images of second fields come on their own and are passed by.
class FrameSnapshot final : public RunListener {
 public:
  FrameSnapshot(int64_t frame, bool true_colour) : frame_(frame), true_colour_(true_colour) {}

  void frame_ready(const FramePlanes& frame, const FrameGeometry& geometry,
                   const DecodingVariables& vars) override {
    awaiting_image_ = frame_count_ == frame_;
    if (awaiting_image_) matrix_coefficients_ = vars.matrix_coefficients;
    if (awaiting_image_ && true_colour_) {
      convert_to_rgb(frame, geometry, vars, rgb_);
      awaiting_image_ = false;
      taken_ = true;
    }
    ++frame_count_;
  }

  void picture_ready(PaletteImage& image) override {
    if (!awaiting_image_) return;
    image_ = image;
    awaiting_image_ = false;
    taken_ = true;
  }

  [[nodiscard]] bool taken() const { return taken_; }
  [[nodiscard]] int64_t frame_count() const { return frame_count_; }
  [[nodiscard]] const PaletteImage& image() const { return image_; }
  [[nodiscard]] const RgbImage& rgb() const { return rgb_; }
  [[nodiscard]] int matrix_coefficients() const { return matrix_coefficients_; }

 private:
  const int64_t frame_;
  const bool true_colour_;
  int64_t frame_count_ = 0;
  bool awaiting_image_ = false;
  bool taken_ = false;
  PaletteImage image_;
  RgbImage rgb_;
  int matrix_coefficients_ = 5;
};

int run_snapshot(const SnapshotOptions& options) {
  if (!has_extension(options.output, ".png")) {
    return fail("the output name must end in .png: " + options.output);
  }
  CliInput input;
  if (const std::string problem = open_input(input, options.input, {{options.output}},
                                             PipeReading::kSpooled, options.spool_limit);
      !problem.empty()) {
    return fail(problem);
  }
  FrameSnapshot snapshot(options.frame, options.true_colour);
  AnalysisStore store;
  CliMessages messages(store, false, false);
  if (!run_session(store, input, snapshot, messages, {.lower_layer_pattern = options.lower_layer},
                   [&snapshot] { return snapshot.taken(); })) {
    return 1;
  }
  if (!snapshot.taken()) {
    return fail("frame " + std::to_string(options.frame) + " is beyond the end of the stream (" +
                std::to_string(snapshot.frame_count()) + " frames)");
  }
  const auto palette = make_palette_entries(snapshot.matrix_coefficients());
  OutputFile out;
  std::string problem = out.open(options.output);
  if (problem.empty()) {
    const std::string error = options.true_colour
                                  ? write_rgb_png(out.stream(), snapshot.rgb())
                                  : write_palette_png(out.stream(), snapshot.image(), palette);
    problem = error.empty() ? out.commit() : options.output + ": " + error;
  }
  if (!problem.empty()) return fail("cannot write " + problem);
  const int width = options.true_colour ? snapshot.rgb().width : snapshot.image().width;
  const int height = options.true_colour ? snapshot.rgb().height : snapshot.image().height;
  std::printf("frame %d, %dx%d\n", options.frame, width, height);
  return finish(messages);
}

}  // namespace

void add_snapshot_command(CLI::App& app, int& exit_status) {
  auto options = std::make_shared<SnapshotOptions>();
  CLI::App* command = app.add_subcommand(
      "snapshot",
      "Write the dithered image of one frame (display order, counted from 0) as an 8-bit "
      "palette PNG at the coded size, as the video window shows it.");
  add_input_option(*command, options->input);
  command->add_option("--frame", options->frame, "The frame to write, counted from 0")
      ->required()
      ->check(CLI::Range(0, std::numeric_limits<int>::max()));
  command
      ->add_option("-o,--output", options->output,
                   "The PNG file to write (its name must end in .png)")
      ->required()
      ->type_name("OUT.png");
  command->add_flag("--true-colour", options->true_colour,
                    "Write the decoded frame in 24-bit colour at the picture size instead of the "
                    "dithered image");
  add_lower_layer_option(*command, options->lower_layer);
  add_spool_limit_option(*command, options->spool_limit);
  command->callback([options, &exit_status] { exit_status = run_snapshot(*options); });
}

}  // namespace tavik::cli
