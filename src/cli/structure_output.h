#pragma once

#include <cstdint>
#include <string>

#include "structure/structure_tree.h"

namespace tavik::cli {

// The pictures shown: [first, last].
struct PictureRange {
  uint64_t first = 0;
  uint64_t last = UINT64_MAX;
};

// The tree as an indented list, a node a line, with where its bits lie in the file.
[[nodiscard]] std::string structure_text(StructureTree& tree, const PictureRange& range);
// The tree as JSON: nested sections, each element with its name, value, meaning and place.
[[nodiscard]] std::string structure_json(StructureTree& tree, const std::string& input,
                                         const PictureRange& range);
// The file's bytes of one picture in hex and ASCII, each row naming the headers and slices that
// begin in it.
[[nodiscard]] std::string picture_hexdump(StructureTree& tree, const RandomAccess& file,
                                          uint32_t picture);

}  // namespace tavik::cli
