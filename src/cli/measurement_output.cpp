#include "cli/measurement_output.h"

#include <array>
#include <type_traits>
#include <variant>
#include <vector>

#include "base/picture_type.h"
#include "cli/text_table.h"
#include "results/report_files.h"
#include "results/store_entries.h"

namespace tavik::cli {

namespace {

constexpr size_t kColumns = 6;
constexpr std::array<std::string_view, kColumns> kCsvHeader = {
    "frame", "type", "bytes", "first_slice", "slice_entries", "gop"};
constexpr std::array<std::string_view, kColumns> kTableHeader = {"Frame",       "Type",   "Bytes",
                                                                 "First slice", "Slices", "GOP"};

// The frame rows; a frame belongs to the last GOP whose first frame is not after it.
std::vector<TextRow> frame_rows(const StoreData& data) {
  const int64_t frames = readable_frames(data);
  const auto first_slice = valid_entries(data.frame_first_slice, frames + 1);
  const auto gop_first = valid_entries(data.gop_first_frame, int64_t{data.open_gop} + 1);
  std::vector<TextRow> rows;
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

// The timeline's pictures that the store records as frames (those of no type filtered out).
struct FrameTiming {
  nlohmann::ordered_json es_bytes = nlohmann::ordered_json::array();
  nlohmann::ordered_json decode_time = nlohmann::ordered_json::array();
};

FrameTiming frame_timing(const StoreData& data, const PictureTimeline& timeline) {
  FrameTiming timing;
  const bool times_known = timeline.problem().empty();
  for (const PictureTiming& p : timeline.pictures()) {
    if ((p.type == kIPicture && data.filter_i) || (p.type == kPPicture && data.filter_p) ||
        (p.type == kBPicture && data.filter_b)) {
      continue;
    }
    timing.es_bytes.push_back(p.es_bytes);
    timing.decode_time.push_back(times_known ? nlohmann::ordered_json(p.decode_time) : nullptr);
  }
  return timing;
}

}  // namespace

// Paths need not be UTF-8; bytes that are not are replaced rather than refused.
std::string json_text(const nlohmann::ordered_json& json) {
  return json.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

std::string json_text_with_items(const nlohmann::ordered_json& json, std::string_view key,
                                 size_t count,
                                 const std::function<nlohmann::ordered_json(size_t)>& item) {
  const std::string text = json_text(json);
  const std::string marker = "\n  \"" + std::string(key) + "\": [";
  const size_t at = text.find(marker);
  if (count == 0 || at == std::string::npos) return text;
  // The items two levels in, as the dump of the whole tree indents them.
  const size_t open = at + marker.size();
  std::string out = text.substr(0, open) + "\n";
  for (size_t i = 0; i < count; ++i) {
    const std::string one = item(i).dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
    out += "    ";
    for (const char c : one) {
      out += c;
      if (c == '\n') out += "    ";
    }
    out += i + 1 < count ? ",\n" : "\n  ";
  }
  out.append(text, open, std::string::npos);
  return out;
}

std::string measurements_json(const StoreData& data, std::string_view input_path,
                              std::string_view summary, const std::vector<StreamField>& stream,
                              const std::vector<RaisedMessage>& messages,
                              const PictureTimeline& timeline,
                              const nlohmann::ordered_json* macroblock_stats) {
  const int64_t frames = data.frame_count();
  FrameTiming timing = frame_timing(data, timeline);
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
      {"es_bytes", std::move(timing.es_bytes)},
      {"decode_time", std::move(timing.decode_time)},
      {"summary", summary},
      {"stream", stream_object(stream)},
      {"messages", raised},
  };
  if (macroblock_stats) json["macroblock_stats"] = *macroblock_stats;
  return json_text(json);
}

std::string stream_json(std::string_view input_path, const std::vector<StreamField>& stream) {
  return json_text(
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
  return csv_table(kCsvHeader, frame_rows(data));
}

std::string measurements_table(const StoreData& data) {
  return aligned_table(kTableHeader, frame_rows(data));
}

}  // namespace tavik::cli
