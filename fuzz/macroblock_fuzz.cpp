// Decodes any bytes with every macroblock record asked for, keeps them per frame as the
// desktop program does and lays out every overlay of each frame shown: the records of each
// picture must cover it exactly, hold only values the syntax allows (a lost macroblock nothing
// but its cleared record), and the overlay must stay inside the frame. Stops on a broken rule.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <variant>
#include <vector>

#include "analysis/analysis_store.h"
#include "base/fatal_error.h"
#include "base/messages.h"
#include "charts/macroblock_lookup.h"
#include "charts/macroblock_overlay.h"
#include "decoder/picture/macroblock_statistics.h"
#include "decoder/syntax/decoder_state.h"
#include "session/decoding_session.h"
#include "session/frame_macroblocks.h"

namespace {

void require(bool rule, int line = __builtin_LINE()) {
  if (rule) return;
  std::fprintf(stderr, "macroblock_fuzz.cpp:%d: rule broken\n", line);
  __builtin_trap();
}

void check_record(const tavik::PictureMacroblocks& picture, const tavik::MacroblockRecord& r) {
  if (!r.decoded()) {
    require(r.flags == 0 && r.bits == 0 && r.motion_type == 0 && r.quantiser_scale == 0);
    return;
  }
  require(r.motion_type <= 3 && r.dct_type <= 1 && r.weight_type <= 8);
  // A forbidden quantiser_scale_code of 0 is decoded (and recorded) as it stands.
  require(r.quantiser_scale <= 112);
  require(!r.has(tavik::kMbRecordSkipped) || (r.bits == 0 && r.coded_block_pattern == 0));
  require(r.coded_block_pattern < (1 << 12));
  for (int s = 0; s < 2; ++s) {
    for (int v = 0; v < tavik::direction_vectors(picture, r, s); ++v) {
      require(r.field_select[v][s] <= 1);
    }
  }
}

class RecordChecker final : public tavik::SessionListener {
 public:
  void macroblocks_decoded(const tavik::PictureMacroblocks& picture) override {
    require(picture.mb_columns > 0 && picture.mb_rows > 0);
    require(picture.records.size() == size_t(picture.mb_columns) * size_t(picture.mb_rows));
    // A reserved picture_structure of 0 is decoded as a field picture.
    require(picture.picture_structure >= 0 && picture.picture_structure <= 3);
    uint64_t bits = 0;
    for (const tavik::MacroblockRecord& r : picture.records) {
      check_record(picture, r);
      bits += r.bits;
    }
    require(bits <= picture.picture_bits);
    const tavik::PictureStatistics stats = tavik::picture_statistics(picture);
    int counted = 0;
    for (const int count : stats.counts) counted += count;
    require(counted == stats.macroblocks);
    frames_.picture_decoded(picture);
  }

  void frame_ready(const tavik::FramePlanes& frame, const tavik::FrameGeometry& geometry,
                   const tavik::DecodingVariables&) override {
    pictures_.clear();
    for (const tavik::KeptPicture& kept : frames_.shown(frame)) pictures_.push_back(kept.picture);
    const int width = geometry.coded_width;
    const int height = geometry.coded_height;
    const tavik::ChartScene scene = tavik::macroblock_overlay(
        pictures_, width, height,
        tavik::kOverlayGrid | tavik::kOverlayTypes | tavik::kOverlayVectors |
            tavik::kOverlayQuantiser | tavik::kOverlayBits);
    for (const tavik::Primitive& item : scene.items) {
      if (const auto* fill = std::get_if<tavik::Fill>(&item)) {
        require(fill->left >= 0 && fill->top >= 0 && fill->right < width && fill->bottom < height);
      }
    }
    for (int y = 0; y < height; y += 29) {
      const tavik::MacroblockHit hit = tavik::macroblock_at(pictures_, y % std::max(width, 1), y);
      if (hit.picture >= 0) sum_ += tavik::macroblock_text(pictures_, hit).size();
    }
  }

  [[nodiscard]] uint64_t sum() const { return sum_; }

 private:
  tavik::FrameMacroblocks frames_;
  std::vector<tavik::PictureMacroblocks> pictures_;
  uint64_t sum_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tavik::AnalysisStore store;
  tavik::CollectedMessages messages;
  RecordChecker checker;
  tavik::DecodingSession session(store, messages, checker,
                                 {.display_disabled = true, .macroblock_records = true});
  try {
    session.open_memory(std::span<const uint8_t>(data, size));
    while (session.decode_step()) {
    }
  } catch (const tavik::FatalError&) {
  }
  volatile uint64_t sink = checker.sum();
  (void)sink;
  return 0;
}
