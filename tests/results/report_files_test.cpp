#include "results/report_files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "results/summary.h"
#include "support/stream_tools.h"

namespace tavik {
namespace {

using std::string_literals::operator""s;

constexpr std::string_view kPath = "/video/clip.mpg";

StoreData make_store(const std::vector<uint32_t>& types, const std::vector<uint32_t>& sizes) {
  StoreData data;
  for (size_t f = 0; f < types.size(); ++f) {
    store_at(data.frame_types, int64_t(f), types[f]);
    store_at(data.frame_bytes, int64_t(f), sizes[f]);
  }
  data.last_frame = static_cast<int32_t>(types.size()) - 1;
  return data;
}

// Three frames I, P, B in two GOPs with three slices; the arrays hold stale values past the
// counters, which no file may show.
StoreData three_frames() {
  StoreData data = make_store({1, 2, 3, 2}, {20000, 5000, 10000, 99});
  data.last_frame = 2;
  data.open_gop = 2;
  store_at(data.gop_bytes, 0, 25000);
  store_at(data.gop_bytes, 1, 10000);
  store_at(data.gop_bytes, 2, 77);
  data.slice_count = 3;
  store_at(data.slice_bytes, 0, 700);
  store_at(data.slice_bytes, 1, 800);
  store_at(data.slice_bytes, 2, 900);
  store_at(data.slice_bytes, 3, 55);
  data.bytes_scanned = 35000;
  return data;
}

TEST(ReportFile, DescriptiveFormat) {
  const StoreData data = three_frames();
  EXPECT_EQ(report_file_text(ReportFile::kGop, data, kPath, OutputFormat::kDescriptive),
            "Analisys (GOP) of: /video/clip.mpg\n\n"
            "GOP: 0 - Bytes: 25000\n"
            "GOP: 1 - Bytes: 10000\n");
  EXPECT_EQ(report_file_text(ReportFile::kFrame, data, kPath, OutputFormat::kDescriptive),
            "Analisys (FRAME) of: /video/clip.mpg\n\n"
            "Frame: 0 - Type: I - Bytes: 20000\n"
            "Frame: 1 - Type: P - Bytes: 5000\n"
            "Frame: 2 - Type: B - Bytes: 10000\n");
  EXPECT_EQ(report_file_text(ReportFile::kSlice, data, kPath, OutputFormat::kDescriptive),
            "Analisys (SLICE) of: /video/clip.mpg\n\n"
            "SLICE: 0 - Bytes: 700\n"
            "SLICE: 1 - Bytes: 800\n"
            "SLICE: 2 - Bytes: 900\n");
}

TEST(ReportFile, BareFormatHasOnlyCountsAndBlanks) {
  const StoreData data = three_frames();
  EXPECT_EQ(report_file_text(ReportFile::kFrame, data, kPath, OutputFormat::kBare),
            "20000 5000 10000 ");
  EXPECT_EQ(report_file_text(ReportFile::kGop, data, kPath, OutputFormat::kBare), "25000 10000 ");
  EXPECT_EQ(report_file_text(ReportFile::kSlice, data, kPath, OutputFormat::kBare), "700 800 900 ");
}

TEST(ReportFile, EmptyStore) {
  const StoreData data;
  EXPECT_EQ(report_file_text(ReportFile::kGop, data, kPath, OutputFormat::kDescriptive),
            "Analisys (GOP) of: /video/clip.mpg\n\n");
  EXPECT_EQ(report_file_text(ReportFile::kFrame, data, kPath, OutputFormat::kDescriptive),
            "Analisys (FRAME) of: /video/clip.mpg\n\n");
  EXPECT_EQ(report_file_text(ReportFile::kSlice, data, kPath, OutputFormat::kDescriptive),
            "Analisys (SLICE) of: /video/clip.mpg\n\n");
  for (const auto file : {ReportFile::kGop, ReportFile::kFrame, ReportFile::kSlice}) {
    EXPECT_EQ(report_file_text(file, data, kPath, OutputFormat::kBare), "");
  }
}

TEST(ReportFile, OpenGopBeforeTheFirstGroupWritesNoGop) {
  StoreData data = three_frames();
  data.open_gop = -1;
  EXPECT_EQ(report_file_text(ReportFile::kGop, data, kPath, OutputFormat::kDescriptive),
            "Analisys (GOP) of: /video/clip.mpg\n\n");
}

TEST(ReportFile, UnknownTypeIsNonDetectedCapitalised) {
  const StoreData data = make_store({0, 5}, {10, 20});
  EXPECT_EQ(report_file_text(ReportFile::kFrame, data, kPath, OutputFormat::kDescriptive),
            "Analisys (FRAME) of: /video/clip.mpg\n\n"
            "Frame: 0 - Type: Non detected - Bytes: 10\n"
            "Frame: 1 - Type: Non detected - Bytes: 20\n");
}

TEST(ReportFile, SummaryIsTheSummaryInBothFormats) {
  const StoreData data = three_frames();
  for (const auto format : {OutputFormat::kDescriptive, OutputFormat::kBare}) {
    EXPECT_EQ(report_file_text(ReportFile::kSummary, data, kPath, format), BuildSummary(data));
  }
}

TEST(ReportFile, PathIsCopiedByteForByte) {
  const std::string path = "/m\xFCsica/a b.mpg";
  EXPECT_EQ(report_file_text(ReportFile::kGop, StoreData{}, path, OutputFormat::kDescriptive),
            "Analisys (GOP) of: " + path + "\n\n");
}

TEST(DocumentList, FrameListWithCrLfAndTrailer) {
  StoreData data = make_store({1, 3}, {20000, 5000});
  data.bytes_scanned = 25000;
  EXPECT_EQ(document_list_text(DocumentKind::kFrames, data, kPath),
            "An\xE1lisis Bytes/frame: /video/clip.mpg\r\n\r\n"
            "Frame: 0 - Type: I - Bytes: 20000\r\n"
            "Frame: 1 - Type: B - Bytes: 5000\r\n"
            "\r\n\r\n"
            "Total read bytes: 25000 \r\n"
            "Total number of frames: 2 ");
}

TEST(DocumentList, SlicesDocumentWritesTheFrameList) {
  const StoreData data = three_frames();
  EXPECT_EQ(document_list_text(DocumentKind::kSlices, data, kPath),
            document_list_text(DocumentKind::kFrames, data, kPath));
}

TEST(DocumentList, UnknownTypeIsNonDetectedLowerCase) {
  const StoreData data = make_store({2, 9}, {1, 2});
  const std::string text = document_list_text(DocumentKind::kFrames, data, kPath);
  EXPECT_NE(text.find("Frame: 1 - Type: non detected - Bytes: 2\r\n"), std::string::npos);
  EXPECT_EQ(text.find("Non detected"), std::string::npos);
}

TEST(DocumentList, GopList) {
  const StoreData data = three_frames();
  EXPECT_EQ(document_list_text(DocumentKind::kGops, data, kPath),
            "An\xE1lisis Bytes/frame: /video/clip.mpg\r\n\r\n"
            "Gop: 0 - Bytes: 25000\r\n"
            "Gop: 1 - Bytes: 10000\r\n"
            "\r\n\r\n"
            "Total read bytes: 35000 \r\n"
            "Total number of frames: 3 ");
}

TEST(DocumentList, EmptyStore) {
  EXPECT_EQ(document_list_text(DocumentKind::kGops, StoreData{}, kPath),
            "An\xE1lisis Bytes/frame: /video/clip.mpg\r\n\r\n\r\n\r\n"
            "Total read bytes: 0 \r\n"
            "Total number of frames: 0 ");
}

TEST(DocumentList, LargeByteCountsInFull) {
  StoreData data = make_store({1}, {4000000000u});
  data.bytes_scanned = 6000000000ull;
  const std::string text = document_list_text(DocumentKind::kFrames, data, kPath);
  EXPECT_NE(text.find("Bytes: 4000000000\r\n"), std::string::npos);
  EXPECT_NE(text.find("Total read bytes: 6000000000 \r\n"), std::string::npos);
}

TEST(DefaultReportNames, StemEndsAtTheLastFullStopOfThePath) {
  const ReportNames names = default_report_names("/video/clip.mpg");
  EXPECT_EQ(names.gop, "/video/clip.gop");
  EXPECT_EQ(names.slice, "/video/clip.slc");
  EXPECT_EQ(names.frame, "/video/clip.frm");
  EXPECT_EQ(names.summary, "/video/clip.sum");
  EXPECT_EQ(names[ReportFile::kGop], names.gop);
  EXPECT_EQ(names[ReportFile::kFrame], names.frame);
  EXPECT_EQ(names[ReportFile::kSlice], names.slice);
  EXPECT_EQ(names[ReportFile::kSummary], names.summary);

  EXPECT_EQ(default_report_names("/video.d/clip").gop, "/video.gop");
  EXPECT_EQ(default_report_names("a.b.c").frame, "a.b.frm");
  EXPECT_EQ(default_report_names("/video/clip").summary, ".sum");
  EXPECT_EQ(default_report_names("").slice, ".slc");
}

TEST(OpenErrorMessage, NamesTheFile) {
  EXPECT_EQ(open_error_message(ReportFile::kGop), "Error occured opening the gop file");
  EXPECT_EQ(open_error_message(ReportFile::kFrame), "Error occured opening the frame file");
  EXPECT_EQ(open_error_message(ReportFile::kSlice), "Error occured opening the slice file");
  EXPECT_EQ(open_error_message(ReportFile::kSummary), "Error occured opening the summary file");
}

TEST(WriteTextFile, WritesBytesUnchangedAndReplaces) {
  const auto path = (test::scratch_dir() / "list.frm").string();
  ASSERT_TRUE(write_text_file(path, "an old, longer content"));
  const std::string bytes = "An\xE1lisis\r\n\n \0x"s;
  ASSERT_TRUE(write_text_file(path, bytes));
  const std::vector<uint8_t> read = test::read_file(path);
  EXPECT_EQ(std::string(read.begin(), read.end()), bytes);
}

TEST(WriteTextFile, ReportsFailure) {
  EXPECT_FALSE(write_text_file((test::scratch_dir() / "no-such-dir" / "x.gop").string(), "x"));
  EXPECT_FALSE(write_text_file("", "x"));
}

}  // namespace
}  // namespace tavik
