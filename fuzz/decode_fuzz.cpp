// Decodes any bytes in full, dithering included: the session must end or fail with a
// FatalError, never crash, hang or read or write outside a buffer. Spatially scalable pictures
// read their lower layer from the same bytes.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "analysis/analysis_store.h"
#include "base/fatal_error.h"
#include "base/messages.h"
#include "decoder/syntax/decoder_state.h"
#include "display/dither.h"
#include "session/decoding_session.h"
#include "support/input_lower_layer.h"

namespace {

// Reads the first and last sample of every plane and image handed over, so that a buffer
// smaller than its announced size is caught by the sanitizer.
class TouchingListener final : public tavik::SessionListener {
 public:
  void frame_ready(const tavik::FramePlanes& frame, const tavik::FrameGeometry& geometry,
                   const tavik::DecodingVariables& vars) override {
    const size_t luma = size_t(geometry.coded_width) * size_t(geometry.coded_height);
    const size_t chroma = size_t(geometry.chroma_width) * size_t(geometry.chroma_height);
    for (int p = 0; p < 3; ++p) {
      const size_t size = p == 0 ? luma : chroma;
      if (size != 0) sum_ += frame.plane[p][0] + frame.plane[p][size - 1];
    }
  }

  void picture_ready(tavik::PaletteImage& image) override {
    const size_t size = size_t(image.width) * size_t(image.height);
    if (size != 0) sum_ += image.pixels[0] + image.pixels.at(size - 1);
  }

  [[nodiscard]] uint64_t sum() const { return sum_; }

 private:
  uint64_t sum_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tavik::AnalysisStore store;
  tavik::CollectedMessages messages;
  TouchingListener listener;
  tavik::test::InputLowerLayer files(std::span<const uint8_t>(data, size));
  tavik::DecodingSession session(store, messages, listener,
                                 {.decode_pictures = true,
                                  .lower_layer_pattern = tavik::test::InputLowerLayer::kPattern,
                                  .lower_layer_files = &files});
  try {
    session.open_memory(std::span<const uint8_t>(data, size));
    while (session.decode_step()) {
    }
  } catch (const tavik::FatalError&) {
  }
  // Keeps the reads from being optimised away.
  volatile uint64_t sink = listener.sum();
  (void)sink;
  return 0;
}
