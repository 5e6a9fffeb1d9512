#pragma once

#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/analysis_store.h"
#include "cli/cli_messages.h"
#include "results/stream_description.h"
#include "timing/picture_timeline.h"

namespace tavik::cli {

// The version of the JSON fields, the first field of every JSON output. Raised when a field
// changes its meaning or goes away (docs/json-schema.md describes them).
inline constexpr int kJsonSchema = 1;

// The JSON as written: two blanks of indent, a line end after it; bytes of a path that are not
// UTF-8 are replaced.
[[nodiscard]] std::string json_text(const nlohmann::ordered_json& json);

// The same text as json_text of `json` with its top-level array `key` (empty in `json`) holding
// `count` items, made one at a time by `item`: a long array of objects never exists as a tree,
// whose nodes take several times the bytes of their text.
[[nodiscard]] std::string json_text_with_items(
    const nlohmann::ordered_json& json, std::string_view key, size_t count,
    const std::function<nlohmann::ordered_json(size_t)>& item);

// The measurements printed by the analyze command. Each takes a snapshot of the store (valid
// entries only).

// One object: the schema, the store's counters, maxima and six arrays under their own names, each
// frame's elementary-stream bytes and decoding time from the timeline, plus the input path, the
// container with the video stream measured (its stream id or PID, null in an elementary stream),
// the summary text, the stream's properties (`stream`) and the engine's texts with the frame each
// came at (`messages`); `macroblock_stats`, when given, last.
[[nodiscard]] std::string measurements_json(
    const StoreData& data, std::string_view input_path, std::string_view summary,
    const std::vector<StreamField>& stream, const std::vector<RaisedMessage>& messages,
    const PictureTimeline& timeline, const nlohmann::ordered_json* macroblock_stats = nullptr);

// The stream's properties: {"schema": ..., "input": ..., "stream": {...}}.
[[nodiscard]] std::string stream_json(std::string_view input_path,
                                      const std::vector<StreamField>& stream);

// The stream's properties, one "Label: value" line each.
[[nodiscard]] std::string stream_text(std::string_view input_path,
                                      const std::vector<StreamField>& stream);

// A header row, then one row per frame: index, type, bytes, first slice entry, number of slice
// entries, GOP whose frame range holds it (-1 before the first group start code).
[[nodiscard]] std::string measurements_csv(const StoreData& data);

// The same columns, aligned for reading.
[[nodiscard]] std::string measurements_table(const StoreData& data);

}  // namespace tavik::cli
