#include "charts/info_list.h"

#include <algorithm>

#include "charts/chart_parts.h"
#include "results/report_files.h"
#include "results/store_entries.h"

namespace tavik {

std::string_view list_title(ListKind kind) {
  switch (kind) {
    case ListKind::kFrames:
      return "Frames Information";
    case ListKind::kGops:
      return "Gops Information";
    case ListKind::kSlices:
      break;
  }
  return "Slices Information";
}

std::string list_header(ListKind kind, std::string_view input_path) {
  switch (kind) {
    case ListKind::kFrames:
      return "Analisys of: " + std::string(input_path);
    case ListKind::kGops:
      return "Analisys (GOP) of: " + std::string(input_path);
    case ListKind::kSlices:
      break;
  }
  return "Analisys (Slices) of: " + std::string(input_path);
}

int64_t list_line_count(ListKind kind, const StoreData& data, const ChosenFrame& chosen) {
  switch (kind) {
    case ListKind::kFrames:
      return readable_frames(data);
    case ListKind::kGops:
      return int64_t(valid_entries(data.gop_bytes, data.gop_count()).size());
    case ListKind::kSlices:
      break;
  }
  if (chosen.frame < 0) return 0;
  const EntryRange entries = chosen_entries(data, chosen);
  return 1 + entries.end - entries.first;
}

std::string list_line(ListKind kind, const StoreData& data, const ChosenFrame& chosen,
                      int64_t line) {
  const auto index = size_t(line);
  switch (kind) {
    case ListKind::kFrames:
      return "Frame: " + std::to_string(line) +
             " - Type: " + std::string(type_letter(data.frame_types[index], "Non detected")) +
             " - Bytes: " + std::to_string(data.frame_bytes[index]);
    case ListKind::kGops:
      return "GOP: " + std::to_string(line) + " - Bytes: " + std::to_string(data.gop_bytes[index]);
    case ListKind::kSlices:
      break;
  }
  if (line == 0) {
    return "----------------------  Frame: " + std::to_string(chosen.frame) +
           "  ----------------------";
  }
  const int64_t slice = chosen_entries(data, chosen).first + line - 1;
  return "Slice: " + std::to_string(slice) +
         " - Bytes: " + std::to_string(data.slice_bytes[size_t(slice)]);
}

std::string list_csv(ListKind kind, const StoreData& data, const ChosenFrame& chosen) {
  std::string csv;
  const int64_t lines = list_line_count(kind, data, chosen);
  switch (kind) {
    case ListKind::kFrames:
      csv = "frame,type,bytes\n";
      for (int64_t i = 0; i < lines; ++i) {
        csv += std::to_string(i) + "," +
               std::string(type_letter(data.frame_types[size_t(i)], "non detected")) + "," +
               std::to_string(data.frame_bytes[size_t(i)]) + "\n";
      }
      return csv;
    case ListKind::kGops:
      csv = "gop,bytes\n";
      for (int64_t i = 0; i < lines; ++i) {
        csv += std::to_string(i) + "," + std::to_string(data.gop_bytes[size_t(i)]) + "\n";
      }
      return csv;
    case ListKind::kSlices:
      break;
  }
  csv = "slice,bytes\n";
  const EntryRange entries = chosen_entries(data, chosen);
  for (int64_t s = entries.first; lines > 0 && s < entries.end; ++s) {
    csv += std::to_string(s) + "," + std::to_string(data.slice_bytes[size_t(s)]) + "\n";
  }
  return csv;
}

ListScroll list_scroll(int64_t line_count, int window_height) {
  const int64_t below = kFirstLineY + kLinePitch * line_count;
  if (below > window_height - 5) return {int(below + 10), int(below)};
  return {window_height - 20, 0};
}

LineRange visible_lines(int64_t line_count, int top, int height, int line_height) {
  const int64_t first = floor_div(int64_t(top) - kFirstLineY - line_height, kLinePitch) + 1;
  const int64_t last = floor_div(int64_t(top) + height - 1 - kFirstLineY, kLinePitch);
  return {std::clamp<int64_t>(first, 0, line_count), std::clamp<int64_t>(last + 1, 0, line_count)};
}

ChartScene build_list_scene(ListKind kind, const StoreData& data, const ChosenFrame& chosen,
                            std::string_view input_path, int window_height,
                            const ViewRegion& visible, const TextMetrics& metrics) {
  ChartScene scene;
  scene.title = list_title(kind);
  const int64_t count = list_line_count(kind, data, chosen);
  add_visible(scene, Text{0, 0, list_header(kind, input_path)}, visible, metrics);
  const LineRange lines = visible_lines(count, visible.top, visible.height, metrics.line_height());
  for (int64_t line = lines.first; line < lines.end; ++line) {
    add_visible(scene,
                Text{0, int(kFirstLineY + kLinePitch * line), list_line(kind, data, chosen, line)},
                visible, metrics);
  }
  scene.scroll_height = list_scroll(count, window_height).y_extent;
  return scene;
}

}  // namespace tavik
