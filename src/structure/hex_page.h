#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "input/random_access.h"

namespace tavik {

inline constexpr int kHexRowBytes = 16;

// One row of a hex view: its file offset, its bytes in hex ("00 00 01 b3 ...") and as ASCII
// (a dot for what is not printable). The last row of a file may be short.
struct HexRow {
  uint64_t offset = 0;
  std::string hex;
  std::string ascii;
};

// The rows a hex view of the file has.
[[nodiscard]] uint64_t hex_row_count(uint64_t file_size);

// Rows [first, first + count) of the file, read from it alone: a view scrolls over a file of
// any size.
[[nodiscard]] std::vector<HexRow> hex_rows(const RandomAccess& file, uint64_t first, size_t count);

// The rows holding the file's bytes [begin, end).
[[nodiscard]] std::vector<HexRow> hex_rows_of(const RandomAccess& file, uint64_t begin,
                                              uint64_t end);

}  // namespace tavik
