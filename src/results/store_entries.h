#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

#include "analysis/analysis_store.h"

namespace tavik {

// The valid entries of a store array: the counter bounds them; the array size only guards the
// read, so a store whose arrays were never grown reads no memory past their end.
[[nodiscard]] inline std::span<const uint32_t> valid_entries(const std::vector<uint32_t>& array,
                                                             int64_t count) {
  const auto n = static_cast<size_t>(std::clamp<int64_t>(count, 0, int64_t(array.size())));
  return std::span<const uint32_t>(array).first(n);
}

// Frames whose size and type can both be read.
[[nodiscard]] inline int64_t readable_frames(const StoreData& data) {
  return static_cast<int64_t>(std::min(valid_entries(data.frame_bytes, data.frame_count()).size(),
                                       valid_entries(data.frame_types, data.frame_count()).size()));
}

}  // namespace tavik
