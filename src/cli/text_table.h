#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tavik::cli {

using TextRow = std::vector<std::string>;

// A header row, then the rows, cells joined by commas.
[[nodiscard]] std::string csv_table(std::span<const std::string_view> header,
                                    std::span<const TextRow> rows);

// The same with each column right-aligned to its widest cell, two blanks between columns.
[[nodiscard]] std::string aligned_table(std::span<const std::string_view> header,
                                        std::span<const TextRow> rows);

}  // namespace tavik::cli
