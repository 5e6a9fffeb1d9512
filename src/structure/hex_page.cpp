#include "structure/hex_page.h"

#include <algorithm>

namespace tavik {

uint64_t hex_row_count(uint64_t file_size) {
  return (file_size + kHexRowBytes - 1) / kHexRowBytes;
}

std::vector<HexRow> hex_rows(const RandomAccess& file, uint64_t first, size_t count) {
  constexpr char kDigits[] = "0123456789abcdef";
  const uint64_t rows = hex_row_count(file.size());
  first = std::min(first, rows);
  count = size_t(std::min<uint64_t>(count, rows - first));
  std::vector<uint8_t> bytes(count * kHexRowBytes);
  bytes.resize(file.read_at(first * kHexRowBytes, bytes));
  std::vector<HexRow> page;
  for (size_t at = 0; at < bytes.size(); at += kHexRowBytes) {
    HexRow row;
    row.offset = first * kHexRowBytes + at;
    for (size_t i = at; i < std::min(at + kHexRowBytes, bytes.size()); ++i) {
      if (i != at) row.hex += ' ';
      row.hex += kDigits[bytes[i] >> 4];
      row.hex += kDigits[bytes[i] & 15];
      row.ascii += bytes[i] >= 0x20 && bytes[i] < 0x7F ? char(bytes[i]) : '.';
    }
    page.push_back(std::move(row));
  }
  return page;
}

std::vector<HexRow> hex_rows_of(const RandomAccess& file, uint64_t begin, uint64_t end) {
  if (end <= begin) return {};
  const uint64_t first = begin / kHexRowBytes;
  return hex_rows(file, first, size_t((end - 1) / kHexRowBytes - first + 1));
}

}  // namespace tavik
