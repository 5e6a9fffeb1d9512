#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "charts/macroblock_overlay.h"
#include "cli/analysis_run.h"
#include "cli/chart_renderer.h"
#include "cli/commands.h"
#include "cli/lower_layer_option.h"
#include "cli/output_file.h"
#include "cli/png_writer.h"
#include "decoder/syntax/decoder_state.h"
#include "display/dither.h"
#include "display/palette.h"
#include "display/true_colour.h"
#include "session/frame_macroblocks.h"

namespace tavik::cli {

namespace {

struct SnapshotOptions {
  std::string input;
  std::string output;
  int frame = 0;
  bool true_colour = false;
  std::vector<std::string> overlays;
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
    if (awaiting_image_) {
      matrix_coefficients_ = vars.matrix_coefficients;
      keep_macroblocks(frame);
    }
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

  void macroblocks_decoded(const PictureMacroblocks& picture) override {
    frames_.picture_decoded(picture);
  }

  [[nodiscard]] bool taken() const { return taken_; }
  // The pictures decoded into the frame taken (none when no records were asked for).
  [[nodiscard]] std::vector<PictureMacroblocks> pictures() const {
    std::vector<PictureMacroblocks> pictures;
    for (const KeptPicture& kept : macroblocks_) {
      pictures.push_back(kept.picture);
      pictures.back().records = kept.records;
    }
    return pictures;
  }
  [[nodiscard]] int64_t frame_count() const { return frame_count_; }
  [[nodiscard]] const PaletteImage& image() const { return image_; }
  [[nodiscard]] const RgbImage& rgb() const { return rgb_; }
  [[nodiscard]] int matrix_coefficients() const { return matrix_coefficients_; }

 private:
  void keep_macroblocks(const FramePlanes& frame) {
    const auto shown = frames_.shown(frame);
    macroblocks_.assign(shown.begin(), shown.end());
  }

  const int64_t frame_;
  const bool true_colour_;
  int64_t frame_count_ = 0;
  bool awaiting_image_ = false;
  bool taken_ = false;
  PaletteImage image_;
  RgbImage rgb_;
  int matrix_coefficients_ = 5;
  FrameMacroblocks frames_;
  std::vector<KeptPicture> macroblocks_;
};

// The layers named, or 0 (with `unknown` set) for a name that is none.
unsigned overlay_layers(const std::vector<std::string>& names, std::string& unknown) {
  unsigned layers = 0;
  for (const std::string& name : names) {
    const auto known = std::find_if(std::begin(kOverlayNames), std::end(kOverlayNames),
                                    [&name](const OverlayName& o) { return o.name == name; });
    if (known == std::end(kOverlayNames)) {
      unknown = name;
      return 0;
    }
    layers |= known->layer;
  }
  return layers;
}

// The image taken as top-down 0xAARRGGBB pixels.
std::vector<uint32_t> image_pixels(const FrameSnapshot& snapshot, bool true_colour) {
  if (true_colour) return snapshot.rgb().pixels;
  const PaletteImage& image = snapshot.image();
  const auto palette = make_palette_entries(snapshot.matrix_coefficients());
  std::vector<uint32_t> pixels(size_t(image.width) * size_t(image.height));
  for (int y = 0; y < image.height; ++y) {
    const uint8_t* row = image.pixels.data() + size_t(image.height - 1 - y) * size_t(image.width);
    for (int x = 0; x < image.width; ++x) {
      const PaletteEntry& e = palette[row[x]];
      pixels[size_t(y) * size_t(image.width) + size_t(x)] =
          0xFF000000u | uint32_t(e.red) << 16 | uint32_t(e.green) << 8 | e.blue;
    }
  }
  return pixels;
}

// Writes the image with the overlays drawn over it.
std::string write_with_overlay(const FrameSnapshot& snapshot, const SnapshotOptions& options,
                               unsigned layers, int width, int height) {
  std::string error;
  const auto renderer = load_chart_renderer(error);
  if (!renderer) return error;
  const std::vector<PictureMacroblocks> pictures = snapshot.pictures();
  ChartScene scene = macroblock_overlay(pictures, width, height, layers);
  if (layers & kOverlayTypes) add_type_legend(scene, renderer->metrics());
  if (!renderer->save_over(scene, width, height, image_pixels(snapshot, options.true_colour),
                           options.output)) {
    return "cannot write " + options.output;
  }
  return {};
}

int run_snapshot(const SnapshotOptions& options) {
  if (!has_extension(options.output, ".png")) {
    return fail("the output name must end in .png: " + options.output);
  }
  std::string unknown;
  const unsigned layers = overlay_layers(options.overlays, unknown);
  if (!unknown.empty()) {
    return usage_fail("unknown overlay '" + unknown +
                      "'; the overlays are grid, types, vectors, quantiser, bits");
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
  if (!run_session(store, input, snapshot, messages,
                   {.lower_layer_pattern = options.lower_layer, .macroblock_records = layers != 0},
                   [&snapshot] { return snapshot.taken(); })) {
    return 1;
  }
  if (!snapshot.taken()) {
    return fail("frame " + std::to_string(options.frame) + " is beyond the end of the stream (" +
                std::to_string(snapshot.frame_count()) + " frames)");
  }
  const int width = options.true_colour ? snapshot.rgb().width : snapshot.image().width;
  const int height = options.true_colour ? snapshot.rgb().height : snapshot.image().height;
  if (layers != 0) {
    if (const std::string problem = write_with_overlay(snapshot, options, layers, width, height);
        !problem.empty()) {
      return fail(problem);
    }
    std::printf("frame %d, %dx%d\n", options.frame, width, height);
    return finish(messages);
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
  command
      ->add_option("--overlay", options->overlays,
                   "Draw the decoder's macroblock overlays over the frame: grid, types, vectors, "
                   "quantiser, bits (comma-separated)")
      ->delimiter(',')
      ->type_name("LIST");
  add_lower_layer_option(*command, options->lower_layer);
  add_spool_limit_option(*command, options->spool_limit);
  command->callback([options, &exit_status] { exit_status = run_snapshot(*options); });
}

}  // namespace tavik::cli
