#include "session/picture_macroblocks.h"

#include <exception>
#include <memory>

#include "analysis/analysis_store.h"
#include "base/messages.h"
#include "session/decoding_session.h"
#include "structure/seek_plan.h"
#include "structure/video_ranges_input.h"

namespace tavik {

namespace {

class MacroblockCollector final : public SessionListener {
 public:
  MacroblockCollector(uint32_t start, uint32_t first, uint32_t last,
                      const PictureMacroblocksEach& each)
      : start_(start), first_(first), last_(last), each_(each) {}

  void macroblocks_decoded(const PictureMacroblocks& picture) override {
    const bool field = picture.picture_structure != 3;
    // The second field follows its first field at once, with the other parity.
    const bool second = field && first_field_ && structure_ != picture.picture_structure &&
                        decoded_ + 1 == picture.picture;
    first_field_ = field && !second;
    structure_ = picture.picture_structure;
    decoded_ = picture.picture;
    const auto coded = uint32_t(start_ + uint64_t(picture.picture));
    if (coded >= first_ && coded <= last_) each_(coded, picture, second ? 1 : 0);
    done_ = coded >= last_;
  }

  [[nodiscard]] bool done() const { return done_; }

 private:
  uint32_t start_, first_, last_;
  const PictureMacroblocksEach& each_;
  bool first_field_ = false;
  int structure_ = 3;
  int64_t decoded_ = -2;
  bool done_ = false;
};

}  // namespace

std::string decode_macroblocks(const StreamIndex& index, const RandomAccess& file, uint32_t first,
                               uint32_t last, const PictureMacroblocksEach& each) {
  const std::optional<SeekPlan> plan = plan_seek(index, first);
  if (!plan) return "picture " + std::to_string(first) + " has no group before it to decode from";
  const std::vector<VideoRange> ranges = seek_ranges(index, plan->start_picture);
  AnalysisStore store;
  CollectedMessages messages;
  MacroblockCollector collector(plan->start_picture, first, last, each);
  SessionOptions options;
  options.display_disabled = true;
  options.macroblock_records = true;
  try {
    DecodingSession session(store, messages, collector, options);
    session.open_inputs(std::make_unique<VideoRangesInput>(index, file, ranges),
                        std::make_unique<VideoRangesInput>(index, file, ranges));
    while (!collector.done() && session.decode_step()) {
    }
  } catch (const std::exception& error) {
    return error.what();
  }
  return collector.done() ? "" : "the stream ends before picture " + std::to_string(last);
}

}  // namespace tavik
