#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "analysis/analysis_store.h"
#include "decoder/syntax/coded_values.h"
#include "decoder/syntax/stream_info.h"

namespace tavik {

// The width over the height of one sample, in lowest terms; 0/0 when unknown.
[[nodiscard]] Rational sample_aspect_ratio(const SequenceValues& values);

// "progressive" (no interlaced frame), "top field first", "bottom field first" or "mixed".
[[nodiscard]] std::string_view field_order(const StreamInfo& info);

// One property of a stream: a key (for JSON), a label, the value (none when the stream does not
// tell it) and the value as text.
struct StreamField {
  std::string_view key;
  std::string_view label;
  std::variant<std::monostate, int64_t, double, std::string> value;
  std::string text;
};

// What a user looks up first about a stream: container, MPEG-1 or MPEG-2, profile and level,
// sizes, aspect ratio, frame rate, bit rate and buffer size from the headers, chroma format,
// scan and field order, GOPs, sequences, frames, the duration from the frame rate and the
// repeated fields, and the average bit rate measured over it.
[[nodiscard]] std::vector<StreamField> describe_stream(const StreamInfo& info,
                                                       const StoreData& data);

}  // namespace tavik
