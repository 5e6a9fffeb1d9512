#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "timing/picture_timeline.h"

namespace tavik {

// The video buffering verifier of ISO/IEC 13818-2 Annex C (ISO/IEC 11172-2 Annex C), as one
// picture after the other leaves it.
struct VbvPicture {
  int64_t index = 0;
  int type = 0;
  double decode_time = 0;  // seconds on the buffer's clock (its first bit enters at 0)
  int64_t bits = 0;
  // Bits in the buffer just before and just after the picture's data leave it; below zero when
  // some of them had not arrived.
  double occupancy_before = 0;
  double occupancy_after = 0;
  int vbv_delay = 0;
  // What vbv_delay should be by the model, in 90 kHz ticks; below zero at variable rate.
  double vbv_delay_expected = -1;
};

enum class VbvKind : uint8_t { kUnderflow, kOverflow, kVbvDelay };

// "underflow", "overflow" or "vbv_delay".
[[nodiscard]] std::string_view vbv_kind_key(VbvKind kind);

struct VbvViolation {
  VbvKind kind = VbvKind::kUnderflow;
  int64_t index = 0;  // the picture
  double time = 0;    // its decoding time
  // Bits missing (underflow) or in excess of the buffer (overflow); for kVbvDelay the ticks by
  // which vbv_delay is off.
  double bits = 0;
};

struct VbvReport {
  // Why the buffer could not be modelled ("bit_rate is 0"), or empty.
  std::string problem;
  bool constant_rate = true;  // vbv_delay is coded (not 0xFFFF)
  bool low_delay = false;
  int64_t buffer_size_bits = 0;
  int64_t bit_rate = 0;  // bits per second
  std::vector<VbvPicture> pictures;
  std::vector<VbvViolation> violations;

  // An underflow or an overflow was found (vbv_delay mismatches are warnings only).
  [[nodiscard]] bool violated() const;
};

// The buffer sized by vbv_buffer_size and filled at bit_rate from the first sequence header.
// At constant rate the first picture is decoded vbv_delay after the last bit of its start code
// has arrived and the others at their decoding times after it; the buffer fills at the bit rate.
// At variable rate it fills at the bit rate while it is not full, and the first picture is
// decoded when it is first full (or holds the whole stream). With low delay a picture whose data
// are not all there waits for them, frame period by frame period, and so do the pictures after
// it.
[[nodiscard]] VbvReport model_vbv(const PictureTimeline& timeline);

}  // namespace tavik
