#include "cli/text_table.h"

#include <algorithm>

namespace tavik::cli {

std::string csv_table(std::span<const std::string_view> header, std::span<const TextRow> rows) {
  std::string text;
  const auto append_row = [&text](const auto& cells) {
    for (size_t c = 0; c < cells.size(); ++c) {
      if (c > 0) text += ',';
      text += cells[c];
    }
    text += '\n';
  };
  append_row(header);
  for (const TextRow& row : rows) append_row(row);
  return text;
}

std::string aligned_table(std::span<const std::string_view> header, std::span<const TextRow> rows) {
  std::vector<size_t> widths(header.size());
  for (size_t c = 0; c < header.size(); ++c) widths[c] = header[c].size();
  for (const TextRow& row : rows) {
    for (size_t c = 0; c < widths.size(); ++c) widths[c] = std::max(widths[c], row[c].size());
  }
  std::string text;
  const auto append_row = [&text, &widths](const auto& cells) {
    for (size_t c = 0; c < widths.size(); ++c) {
      const std::string_view cell = cells[c];
      text.append(widths[c] - cell.size() + (c > 0 ? 2 : 0), ' ');
      text += cell;
    }
    text += '\n';
  };
  append_row(header);
  for (const TextRow& row : rows) append_row(row);
  return text;
}

}  // namespace tavik::cli
