#include "cli/measurement_output.h"

#include <algorithm>
#include <array>
#include <nlohmann/json.hpp>
#include <type_traits>
#include <variant>
#include <vector>

#include "results/report_files.h"
#include "results/store_entries.h"

namespace tavik::cli {

namespace {

constexpr size_t kColumns = 6;
constexpr std::array<std::string_view, kColumns> kCsvHeader = {
    "frame", "type", "bytes", "first_slice", "slice_entries", "gop"};
constexpr std::array<std::string_view, kColumns> kTableHeader = {"Frame",       "Type",   "Bytes",
                                                                 "First slice", "Slices", "GOP"};

using Row = std::array<std::string, kColumns>;

// The frame rows; a frame belongs to the last GOP whose first frame is not after it.
std::vector<Row> frame_rows(const StoreData& data) {
  const int64_t frames = readable_frames(data);
  const auto first_slice = valid_entries(data.frame_first_slice, frames + 1);
  const auto gop_first = valid_entries(data.gop_first_frame, int64_t{data.open_gop} + 1);
  std::vector<Row> rows;
  rows.reserve(static_cast<size_t>(frames));
  int64_t gop = -1;
  for (int64_t f = 0; f < frames; ++f) {
    const auto i = static_cast<size_t>(f);
    while (size_t(gop + 1) < gop_first.size() && gop_first[size_t(gop + 1)] <= f) ++gop;
    const int64_t first = i < first_slice.size() ? int64_t{first_slice[i]} : -1;
    const int64_t entries = i + 1 < first_slice.size() ? int64_t{first_slice[i + 1]} - first : 0;
    rows.push_back({std::to_string(f),
                    std::string(type_letter(data.frame_types[i], "non detected")),
                    std::to_string(data.frame_bytes[i]), std::to_string(first),
                    std::to_string(entries), std::to_string(gop)});
  }
  return rows;
}

// The stream id or PID measured; null for an elementary stream.
nlohmann::ordered_json video_stream_json(const VideoOrigin& origin) {
  if (origin.stream < 0) return nullptr;
  return origin.stream;
}

std::vector<uint32_t> as_vector(std::span<const uint32_t> entries) {
  return {entries.begin(), entries.end()};
}

nlohmann::ordered_json stream_object(const std::vector<StreamField>& stream) {
  nlohmann::ordered_json object = nlohmann::ordered_json::object();
  for (const StreamField& field : stream) {
    std::visit(
        [&object, &field](const auto& value) {
          if constexpr (std::is_same_v<std::decay_t<decltype(value)>, std::monostate>) {
            object[field.key] = nullptr;
          } else {
            object[field.key] = value;
          }
        },
        field.value);
  }
  return object;
}

// Paths need not be UTF-8; bytes that are not are replaced rather than refused.
std::string dumped(const nlohmann::ordered_json& json) {
  return json.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

}  // namespace

std::string measurements_json(const StoreData& data, std::string_view input_path,
                              std::string_view summary, const std::vector<StreamField>& stream,
                              const std::vector<RaisedMessage>& messages,
                              const nlohmann::ordered_json* macroblock_stats) {
  const int64_t frames = data.frame_count();
  nlohmann::ordered_json raised = nlohmann::ordered_json::array();
  for (const RaisedMessage& message : messages) {
    raised.push_back({{"text", message.text}, {"frame", message.frame}});
  }
  nlohmann::ordered_json json = {
      {"schema", kJsonSchema},
      {"input", input_path},
      {"container", container_key(data.origin.container)},
      {"video_stream", video_stream_json(data.origin)},
      {"video_streams", data.origin.video_streams},
      {"last_frame", data.last_frame},
      {"open_gop", data.open_gop},
      {"slice_count", data.slice_count},
      {"bytes_scanned", data.bytes_scanned},
      {"max_frame_bytes", data.max_frame_bytes},
      {"max_gop_bytes", data.max_gop_bytes},
      {"max_slice_bytes", data.max_slice_bytes},
      {"max_frames_per_gop", data.max_frames_per_gop},
      {"max_slices_per_frame", data.max_slices_per_frame},
      {"frame_bytes", as_vector(valid_entries(data.frame_bytes, frames))},
      {"frame_types", as_vector(valid_entries(data.frame_types, frames))},
      {"frame_first_slice", as_vector(valid_entries(data.frame_first_slice, frames + 1))},
      {"slice_bytes", as_vector(valid_entries(data.slice_bytes, data.slice_count))},
      {"gop_bytes", as_vector(valid_entries(data.gop_bytes, data.gop_count()))},
      {"gop_first_frame",
       as_vector(valid_entries(data.gop_first_frame, int64_t{data.open_gop} + 1))},
      {"summary", summary},
      {"stream", stream_object(stream)},
      {"messages", raised},
  };
  if (macroblock_stats) json["macroblock_stats"] = *macroblock_stats;
  return dumped(json);
}

std::string stream_json(std::string_view input_path, const std::vector<StreamField>& stream) {
  return dumped(
      {{"schema", kJsonSchema}, {"input", input_path}, {"stream", stream_object(stream)}});
}

std::string stream_text(std::string_view input_path, const std::vector<StreamField>& stream) {
  std::string text = "File: " + std::string(input_path) + "\n";
  for (const StreamField& field : stream) {
    text += field.label;
    text += ": ";
    text += field.text;
    text += '\n';
  }
  return text;
}

std::string measurements_csv(const StoreData& data) {
  std::string text;
  const auto append_row = [&text](const auto& cells) {
    for (size_t c = 0; c < kColumns; ++c) {
      if (c > 0) text += ',';
      text += cells[c];
    }
    text += '\n';
  };
  append_row(kCsvHeader);
  for (const Row& row : frame_rows(data)) append_row(row);
  return text;
}

std::string measurements_table(const StoreData& data) {
  const std::vector<Row> rows = frame_rows(data);
  std::array<size_t, kColumns> widths{};
  for (size_t c = 0; c < kColumns; ++c) widths[c] = kTableHeader[c].size();
  for (const Row& row : rows) {
    for (size_t c = 0; c < kColumns; ++c) widths[c] = std::max(widths[c], row[c].size());
  }
  std::string text;
  // Right-aligned cells, two blanks between columns.
  const auto append_row = [&text, &widths](const auto& cells) {
    for (size_t c = 0; c < kColumns; ++c) {
      const std::string_view cell = cells[c];
      text.append(widths[c] - cell.size() + (c > 0 ? 2 : 0), ' ');
      text += cell;
    }
    text += '\n';
  };
  append_row(kTableHeader);
  for (const Row& row : rows) append_row(row);
  return text;
}

}  // namespace tavik::cli
