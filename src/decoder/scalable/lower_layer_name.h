#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tavik {

// The longest lower-layer file name built, in characters.
inline constexpr size_t kMaxLowerLayerNameLength = 4095;

// Checks a lower-layer file name pattern: text with at most one %d (the lower layer's temporal
// reference, optionally zero-padded to a width of 1 to 9: %03d) followed by at most one %c (the
// field letter), and %% for a percent sign. Returns what is wrong, or an empty string.
[[nodiscard]] std::string lower_layer_pattern_problem(std::string_view pattern);

// The name of one lower-layer file: the pattern with its conversions replaced, followed by the
// component suffix. Nothing when the pattern is invalid or the name would be longer than
// kMaxLowerLayerNameLength. The pattern is never handed to printf.
[[nodiscard]] std::optional<std::string> lower_layer_file_name(std::string_view pattern,
                                                               int temporal_reference, char field,
                                                               std::string_view suffix);

}  // namespace tavik
