#include "results/report_files.h"

#include <cstdio>
#include <span>

#include "results/decimal_text.h"
#include "results/store_entries.h"
#include "results/summary.h"

namespace tavik {

std::string_view type_letter(uint32_t type, std::string_view other) {
  switch (type) {
    case kIPicture:
      return "I";
    case kPPicture:
      return "P";
    case kBPicture:
      return "B";
    default:
      return other;
  }
}

namespace {

// One listing line: label, index, the frame type when given, the byte count, the line end.
void append_entry(std::string& text, std::string_view label, int64_t index, std::string_view type,
                  uint32_t bytes, std::string_view line_end) {
  text += label;
  append_decimal(text, index);
  if (!type.empty()) {
    text += " - Type: ";
    text += type;
  }
  text += " - Bytes: ";
  append_decimal(text, bytes);
  text += line_end;
}

// Descriptive: header and one line per entry; bare: each count followed by a blank.
std::string entry_file_text(std::string_view header, std::string_view label,
                            std::string_view input_path, std::span<const uint32_t> bytes,
                            std::span<const uint32_t> types, OutputFormat format) {
  std::string text;
  if (format == OutputFormat::kBare) {
    text.reserve(bytes.size() * 8);
    for (const uint32_t count : bytes) {
      append_decimal(text, count);
      text += ' ';
    }
    return text;
  }
  text.reserve(header.size() + input_path.size() + bytes.size() * 40);
  text += header;
  text += input_path;
  text += "\n\n";
  for (size_t i = 0; i < bytes.size(); ++i) {
    const std::string_view type = types.empty() ? "" : type_letter(types[i], "Non detected");
    append_entry(text, label, static_cast<int64_t>(i), type, bytes[i], "\n");
  }
  return text;
}

}  // namespace

std::string report_file_text(ReportFile file, const StoreData& data, std::string_view input_path,
                             OutputFormat format) {
  switch (file) {
    case ReportFile::kGop:
      return entry_file_text("Analisys (GOP) of: ", "GOP: ", input_path,
                             valid_entries(data.gop_bytes, data.gop_count()), {}, format);
    case ReportFile::kFrame: {
      const int64_t frames = readable_frames(data);
      return entry_file_text("Analisys (FRAME) of: ", "Frame: ", input_path,
                             valid_entries(data.frame_bytes, frames),
                             valid_entries(data.frame_types, frames), format);
    }
    case ReportFile::kSlice:
      return entry_file_text("Analisys (SLICE) of: ", "SLICE: ", input_path,
                             valid_entries(data.slice_bytes, data.slice_count), {}, format);
    case ReportFile::kSummary:
      return BuildSummary(data);
  }
  return {};
}

std::string document_list_text(DocumentKind kind, const StoreData& data,
                               std::string_view input_path) {
  static constexpr std::string_view kLineEnd = "\r\n";
  std::string text = "An\xE1lisis Bytes/frame: ";
  text += input_path;
  text += kLineEnd;
  text += kLineEnd;
  if (kind == DocumentKind::kGops) {
    const auto gops = valid_entries(data.gop_bytes, data.gop_count());
    for (size_t g = 0; g < gops.size(); ++g) {
      append_entry(text, "Gop: ", static_cast<int64_t>(g), "", gops[g], kLineEnd);
    }
  } else {
    const int64_t frames = readable_frames(data);
    const auto frame_bytes = valid_entries(data.frame_bytes, frames);
    const auto frame_types = valid_entries(data.frame_types, frames);
    for (size_t f = 0; f < frame_bytes.size(); ++f) {
      append_entry(text, "Frame: ", static_cast<int64_t>(f),
                   type_letter(frame_types[f], "non detected"), frame_bytes[f], kLineEnd);
    }
  }
  text += kLineEnd;
  text += kLineEnd;
  text += "Total read bytes: ";
  append_decimal(text, static_cast<int64_t>(data.bytes_scanned));
  text += ' ';
  text += kLineEnd;
  text += "Total number of frames: ";
  append_decimal(text, int64_t{data.frame_count()});
  text += ' ';
  return text;
}

const std::string& ReportNames::operator[](ReportFile file) const {
  switch (file) {
    case ReportFile::kGop:
      return gop;
    case ReportFile::kFrame:
      return frame;
    case ReportFile::kSlice:
      return slice;
    case ReportFile::kSummary:
      break;
  }
  return summary;
}

ReportNames default_report_names(std::string_view input_path) {
  // Only the file name's own extension is taken off: a full stop in a folder name, or one that
  // starts the file name, is kept.
  const size_t name_start = input_path.rfind('/') + 1;  // 0 without a folder
  const size_t dot = input_path.rfind('.');
  const bool has_extension = dot != std::string_view::npos && dot > name_start;
  const std::string stem(has_extension ? input_path.substr(0, dot) : input_path);
  return {stem + ".gop", stem + ".frm", stem + ".slc", stem + ".sum"};
}

std::string_view open_error_message(ReportFile file) {
  switch (file) {
    case ReportFile::kGop:
      return "Error occured opening the gop file";
    case ReportFile::kFrame:
      return "Error occured opening the frame file";
    case ReportFile::kSlice:
      return "Error occured opening the slice file";
    case ReportFile::kSummary:
      break;
  }
  return "Error occured opening the summary file";
}

bool write_text_file(const std::string& path, std::string_view bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  const bool closed = std::fclose(file) == 0;
  return written && closed;
}

}  // namespace tavik
