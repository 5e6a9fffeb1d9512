#pragma once

#include <array>
#include <cstdint>

#include "support/field_writer_motion.h"
#include "support/field_writer_picture.h"

namespace tavik::test::field_writer {

// f_code of both directions, horizontal and vertical: vectors up to +-32 and +-16 samples, more
// than the motion search reaches.
constexpr std::array<int, 2> kMotionFCode = {3, 2};

struct MotionChoice {
  int field_select = 0;
  MotionVector mv;
  friend bool operator==(const MotionChoice&, const MotionChoice&) = default;
};

// The prediction of one macroblock. Entries of unused directions and of the unused second
// vector stay default, so equal modes compare equal.
struct MacroblockMode {
  bool intra = false;
  std::array<bool, 2> uses{};                           // forward, backward
  bool split = false;                                   // 16x8: a vector for each half
  std::array<std::array<MotionChoice, 2>, 2> motion{};  // [s][r]
  friend bool operator==(const MacroblockMode&, const MacroblockMode&) = default;
};

// Luma 16x16 at a pitch of 16; chroma 8x8 at a pitch of 8.
using MacroblockPixels = std::array<std::array<uint8_t, 256>, 3>;

constexpr int block_pitch(int plane) {
  return plane == 0 ? 16 : 8;
}

// Motion search, then a choice among the candidate predictions by luma SAD. Some macroblocks
// take a fixed mode whatever it costs, so that short streams still carry every syntax path.
[[nodiscard]] MacroblockMode choose_macroblock_mode(const FieldPictureJob& job, int mbx, int mby);

// The prediction of a non-intra macroblock, as a decoder forms it (ISO/IEC 13818-2 7.6).
[[nodiscard]] MacroblockPixels predict_macroblock(const FieldPictureJob& job,
                                                  const MacroblockMode& mode, int mbx, int mby);

}  // namespace tavik::test::field_writer
