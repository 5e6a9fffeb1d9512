#pragma once

#include <span>
#include <string>

#include "decoder/picture/macroblock_record.h"

namespace tavik {

// A macroblock of the pictures decoded into a frame: which picture (0, or 1 for a second
// field) and its address there; picture -1 when there is none.
struct MacroblockHit {
  int picture = -1;
  int address = -1;
};

// The macroblock shown at (x, y) in frame coordinates (luminance samples), as
// macroblock_overlay places them.
[[nodiscard]] MacroblockHit macroblock_at(std::span<const PictureMacroblocks> pictures, int x,
                                          int y);

// The record of that macroblock as lines of text, for a tooltip.
[[nodiscard]] std::string macroblock_text(std::span<const PictureMacroblocks> pictures,
                                          MacroblockHit hit);

}  // namespace tavik
