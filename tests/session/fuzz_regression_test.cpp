#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "analysis/analysis_store.h"
#include "base/fatal_error.h"
#include "base/messages.h"
#include "decoder/picture/macroblock_statistics.h"
#include "decoder/syntax/decoder_state.h"
#include "display/dither.h"
#include "session/decoding_session.h"
#include "support/input_lower_layer.h"
#include "support/stream_tools.h"

namespace tavik {
namespace {

// Reads the first and last sample of everything handed over, so that the sanitizer build
// catches a buffer smaller than its announced size.
class TouchingListener final : public SessionListener {
 public:
  void frame_ready(const FramePlanes& frame, const FrameGeometry& geometry,
                   const DecodingVariables& vars) override {
    const size_t luma = size_t(geometry.coded_width) * size_t(geometry.coded_height);
    const size_t chroma = size_t(geometry.chroma_width) * size_t(geometry.chroma_height);
    for (int p = 0; p < 3; ++p) {
      const size_t size = p == 0 ? luma : chroma;
      if (size != 0) sum += frame.plane[p][0] + frame.plane[p][size - 1];
    }
    ++frames;
  }
  void picture_ready(PaletteImage& image) override {
    const size_t size = size_t(image.width) * size_t(image.height);
    ASSERT_LE(size, image.pixels.size());
    if (size != 0) sum += image.pixels[0] + image.pixels[size - 1];
  }
  void macroblocks_decoded(const PictureMacroblocks& picture) override {
    sum += uint64_t(picture_statistics(picture).macroblocks);
  }
  uint64_t sum = 0;
  int frames = 0;
};

// Every input that once crashed, hung or misbehaved in the fuzzers (kept small in tests/data)
// runs to its end, its lower layer served from its own bytes as the decoding fuzzer does, decoding
// pictures (with their macroblock records and statistics) and walking headers only; a FatalError is
// an allowed ending. The step bound catches a session that never ends (each step reads at least one
// picture start code, and the files are a few kilobytes).
TEST(FuzzRegression, EveryFindingRunsToItsEnd) {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(
           std::filesystem::path(TAVIK_SOURCE_DIR) / "tests/data")) {
    if (entry.is_regular_file()) files.push_back(entry.path());
  }
  ASSERT_FALSE(files.empty());
  for (const auto& path : files) {
    const std::vector<uint8_t> bytes = test::read_file(path);
    for (const bool decode_pictures : {true, false}) {
      SCOPED_TRACE(path.filename().string() + (decode_pictures ? "" : ", headers only"));
      AnalysisStore store;
      CollectedMessages messages;
      TouchingListener listener;
      test::InputLowerLayer lower_layer(bytes);
      DecodingSession session(store, messages, listener,
                              {.decode_pictures = decode_pictures,
                               .lower_layer_pattern = test::InputLowerLayer::kPattern,
                               .lower_layer_files = &lower_layer,
                               .macroblock_records = decode_pictures});
      int steps = 0;
      try {
        session.open_memory(bytes);
        while (session.decode_step()) ASSERT_LT(++steps, int(bytes.size()) / 4 + 2);
      } catch (const FatalError& error) {
        EXPECT_FALSE(std::string(error.what()).empty());
      }
      EXPECT_FALSE(session.is_open());
      EXPECT_LE(listener.frames, session.picture_counter() + 1);
    }
  }
}

}  // namespace
}  // namespace tavik
