#pragma once

#include <cstdint>
#include <memory>

#include "decoder/syntax/decoder_state.h"

namespace tavik {

// The largest frame the decoder accepts, in luma samples (4096 x 4096): beyond every MPEG-2
// level, and small enough that a damaged header cannot ask for an absurd allocation.
inline constexpr int64_t kMaxLumaSamples = int64_t(4096) * 4096;

// Derives the frame store's geometry from the headers (ISO/IEC 13818-2 6.3.3: whole
// macroblocks; for interlaced MPEG-2 sequences whole macroblock pairs vertically).
[[nodiscard]] FrameGeometry frame_geometry_for(const DecodingVariables& vars, bool mpeg2);

// The three frame sets of a session: the newer and older reference frames and the B frame.
// Reference roles rotate by exchanging the sets, never by copying.
class FrameStore {
 public:
  // Allocates for `geometry` (only when it differs from the current one). Throws FatalError
  // for a zero or absurd size.
  void allocate(const FrameGeometry& geometry);
  [[nodiscard]] const FrameGeometry& geometry() const { return geometry_; }

  // An I or P picture begins: the older reference becomes the newer one's predecessor.
  void swap_references();

  FramePlanes newer_reference;
  FramePlanes older_reference;
  FramePlanes b_frame;

 private:
  // Anonymous memory mapped with its pages populated at once: they arrive zeroed, without a
  // page fault each while the first pictures are decoded.
  struct Unmap {
    size_t size;
    void operator()(uint8_t* memory) const;
  };

  FrameGeometry geometry_;
  std::unique_ptr<uint8_t[], Unmap> memory_{nullptr, Unmap{0}};
};

}  // namespace tavik
