#include "session/frame_macroblocks.h"

#include "decoder/syntax/decoder_state.h"

namespace tavik {

void FrameMacroblocks::picture_decoded(const PictureMacroblocks& picture) {
  Slot* slot = nullptr;
  for (Slot& s : slots_) {
    if (s.frame == picture.frame) slot = &s;
  }
  if (slot == nullptr) {
    // A frame buffer not seen yet (a new picture size brings new ones): it takes the place of
    // the one written longest ago.
    slot = &slots_[0];
    for (Slot& s : slots_) {
      if (s.written < slot->written) slot = &s;
    }
    slot->frame = picture.frame;
    slot->count = 0;
  }
  // The second field of a frame follows its first field at once; anything else starts anew.
  const bool second_field =
      picture.picture_structure != 3 && slot->count == 1 &&
      slot->pictures[0].picture.picture_structure != 3 &&
      slot->pictures[0].picture.picture_structure != picture.picture_structure &&
      last_picture_ + 1 == picture.picture;
  if (!second_field) slot->count = 0;
  KeptPicture& kept = slot->pictures[size_t(slot->count++)];
  kept.records.assign(picture.records.begin(), picture.records.end());
  kept.picture = picture;
  kept.picture.records = kept.records;
  slot->written = last_picture_ = picture.picture;
}

std::span<const KeptPicture> FrameMacroblocks::shown(const FramePlanes& frame) const {
  for (const Slot& s : slots_) {
    if (s.frame == frame.plane[0] && s.count > 0) {
      return {s.pictures.data(), size_t(s.count)};
    }
  }
  return {};
}

}  // namespace tavik
