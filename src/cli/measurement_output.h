#pragma once

#include <string>
#include <string_view>

#include "analysis/analysis_store.h"

namespace tavik::cli {

// The measurements printed by the analyze command. Each takes a snapshot of the store (valid
// entries only).

// One object: the store's counters, maxima and six arrays under their own names, plus the
// input path, the container with the video stream measured (its stream id or PID, null in an
// elementary stream) and the summary text.
[[nodiscard]] std::string measurements_json(const StoreData& data, std::string_view input_path,
                                            std::string_view summary);

// A header row, then one row per frame: index, type, bytes, first slice entry, number of slice
// entries, GOP whose frame range holds it (-1 before the first group start code).
[[nodiscard]] std::string measurements_csv(const StoreData& data);

// The same columns, aligned for reading.
[[nodiscard]] std::string measurements_table(const StoreData& data);

}  // namespace tavik::cli
