#pragma once

#include <array>
#include <span>
#include <vector>

#include "decoder/picture/macroblock_record.h"

namespace tavik {

struct FramePlanes;

// Keeps the macroblock records of the frames in the frame store until each is shown, so that
// the records of a frame can be found when it is handed over in display order. The buffers are
// reused from frame to frame.
class FrameMacroblocks {
 public:
  // Keeps a copy of a picture's records with the frame it was decoded into.
  void picture_decoded(const PictureMacroblocks& picture);
  // The pictures decoded into the frame shown (one frame picture, or its two fields in the
  // order decoded); empty when none was recorded.
  [[nodiscard]] std::span<const KeptPicture> shown(const FramePlanes& frame) const;

 private:
  struct Slot {
    const uint8_t* frame = nullptr;
    std::array<KeptPicture, 2> pictures;
    int count = 0;
    int64_t written = -1;  // the last picture written into it
  };

  std::array<Slot, 3> slots_;  // one per frame set of the store
  int64_t last_picture_ = -1;
};

}  // namespace tavik
