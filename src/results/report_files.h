#pragma once

#include <string>
#include <string_view>

#include "analysis/analysis_store.h"

namespace tavik {

// "I", "P" or "B" for the picture types 1, 2 and 3, else `other` ("Non detected" in the dialog's
// files, "non detected" in the windows' lists).
[[nodiscard]] std::string_view type_letter(uint32_t type, std::string_view other);

// The four files of the Save information dialog.
enum class ReportFile { kGop, kFrame, kSlice, kSummary };

// 0: a header and one descriptive line per entry; 1: the bare byte counts, each followed by a
// blank. The summary file is the same in both.
enum class OutputFormat { kDescriptive = 0, kBare = 1 };

// The information documents that write a document list; the Slices document writes the frame
// list, as the Frames document does.
enum class DocumentKind { kFrames, kGops, kSlices };

// The exact bytes of one dialog file (single line feeds).
[[nodiscard]] std::string report_file_text(ReportFile file, const StoreData& data,
                                           std::string_view input_path, OutputFormat format);

// The exact bytes of a document list (CR LF line ends, Windows-1252 header, final blank).
[[nodiscard]] std::string document_list_text(DocumentKind kind, const StoreData& data,
                                             std::string_view input_path);

// Initial names of the dialog's files: the input path without its file name's extension, plus
// the file's extension: "/video/clip.mpg" gives "/video/clip.gop", "/video.d/clip" gives
// "/video.d/clip.gop".
struct ReportNames {
  std::string gop;
  std::string frame;
  std::string slice;
  std::string summary;

  [[nodiscard]] const std::string& operator[](ReportFile file) const;
};
[[nodiscard]] ReportNames default_report_names(std::string_view input_path);

// The message shown when a dialog file cannot be created.
[[nodiscard]] std::string_view open_error_message(ReportFile file);
// The message shown when a document list cannot be created.
inline constexpr std::string_view kDocumentListError = "File not save";

// Creates or replaces the file and writes the bytes unchanged; false when it cannot be created
// or written completely.
[[nodiscard]] bool write_text_file(const std::string& path, std::string_view bytes);

}  // namespace tavik
