#pragma once

#include <cstdint>
#include <string>

#include "analysis/analysis_store.h"

namespace tavik {

// a / b with two truncated decimals after a decimal comma ("3,33" for 10 / 3); empty when b is
// 0. Both are divided by 1000 first when both exceed 1000000. 64-bit so that byte totals beyond
// 2 GiB stay right; for 32-bit inputs the text is the same as with 32-bit arithmetic.
[[nodiscard]] std::string FormatRatio(int64_t a, int64_t b);

// The run of picture types that repeats between I frames ("IBBPBBP."), or "Non detected".
[[nodiscard]] std::string DetectGopPattern(const StoreData& data);

// The summary report: totals, means, average sizes, GOP pattern and frame sequence.
[[nodiscard]] std::string BuildSummary(const StoreData& data);
// The same, read under the store's lock.
[[nodiscard]] std::string BuildSummary(const AnalysisStore& store);

}  // namespace tavik
