#pragma once

#include <charconv>
#include <concepts>
#include <string>

namespace tavik {

// Appends the plain decimal of value (no padding, no separators) without a temporary string;
// the report files append one number per entry.
template <std::integral T>
void append_decimal(std::string& text, T value) {
  char digits[24];
  const auto result = std::to_chars(digits, digits + sizeof digits, value);
  text.append(digits, result.ptr);
}

}  // namespace tavik
