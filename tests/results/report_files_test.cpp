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
constexpr auto kDescriptive = OutputFormat::kDescriptive;
constexpr auto kBare = OutputFormat::kBare;

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
  data.gop_bytes = {25000, 10000, 77};
  data.slice_count = 3;
  data.slice_bytes = {700, 800, 900, 55};
  data.bytes_scanned = 35000;
  return data;
}

TEST(ReportFile, BothFormatsOfEveryFile) {
  StoreData no_gop = three_frames();
  no_gop.open_gop = -1;  // before the first group: no GOP written
  struct Case {
    ReportFile file;
    StoreData data;
    OutputFormat format;
    std::string text;
  };
  const Case cases[] = {
      {ReportFile::kGop, three_frames(), kDescriptive,
       "Analisys (GOP) of: /video/clip.mpg\n\nGOP: 0 - Bytes: 25000\nGOP: 1 - Bytes: 10000\n"},
      {ReportFile::kFrame, three_frames(), kDescriptive,
       "Analisys (FRAME) of: /video/clip.mpg\n\n"
       "Frame: 0 - Type: I - Bytes: 20000\n"
       "Frame: 1 - Type: P - Bytes: 5000\n"
       "Frame: 2 - Type: B - Bytes: 10000\n"},
      {ReportFile::kSlice, three_frames(), kDescriptive,
       "Analisys (SLICE) of: /video/clip.mpg\n\n"
       "SLICE: 0 - Bytes: 700\nSLICE: 1 - Bytes: 800\nSLICE: 2 - Bytes: 900\n"},
      {ReportFile::kFrame, three_frames(), kBare, "20000 5000 10000 "},
      {ReportFile::kGop, three_frames(), kBare, "25000 10000 "},
      {ReportFile::kSlice, three_frames(), kBare, "700 800 900 "},
      {ReportFile::kGop, no_gop, kDescriptive, "Analisys (GOP) of: /video/clip.mpg\n\n"},
      {ReportFile::kFrame, {}, kDescriptive, "Analisys (FRAME) of: /video/clip.mpg\n\n"},
      {ReportFile::kSlice, {}, kDescriptive, "Analisys (SLICE) of: /video/clip.mpg\n\n"},
      {ReportFile::kGop, {}, kBare, ""},
      {ReportFile::kFrame, {}, kBare, ""},
      {ReportFile::kSlice, {}, kBare, ""},
      {ReportFile::kFrame, make_store({0, 5}, {10, 20}), kDescriptive,
       "Analisys (FRAME) of: /video/clip.mpg\n\n"
       "Frame: 0 - Type: Non detected - Bytes: 10\n"
       "Frame: 1 - Type: Non detected - Bytes: 20\n"},
      {ReportFile::kSummary, three_frames(), kDescriptive, BuildSummary(three_frames())},
      {ReportFile::kSummary, three_frames(), kBare, BuildSummary(three_frames())},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    EXPECT_EQ(report_file_text(c.file, c.data, kPath, c.format), c.text) << "case " << i;
  }
  // The path is copied byte for byte.
  const std::string path = "/m\xFCsica/a b.mpg";
  EXPECT_EQ(report_file_text(ReportFile::kGop, StoreData{}, path, kDescriptive),
            "Analisys (GOP) of: " + path + "\n\n");
}

TEST(DocumentList, FrameAndGopListsWithCrLfAndTrailer) {
  StoreData two = make_store({1, 3}, {20000, 5000});
  two.bytes_scanned = 25000;
  EXPECT_EQ(document_list_text(DocumentKind::kFrames, two, kPath),
            "An\xE1lisis Bytes/frame: /video/clip.mpg\r\n\r\n"
            "Frame: 0 - Type: I - Bytes: 20000\r\n"
            "Frame: 1 - Type: B - Bytes: 5000\r\n"
            "\r\n\r\n"
            "Total read bytes: 25000 \r\n"
            "Total number of frames: 2 ");
  const StoreData data = three_frames();
  EXPECT_EQ(document_list_text(DocumentKind::kGops, data, kPath),
            "An\xE1lisis Bytes/frame: /video/clip.mpg\r\n\r\n"
            "Gop: 0 - Bytes: 25000\r\n"
            "Gop: 1 - Bytes: 10000\r\n"
            "\r\n\r\n"
            "Total read bytes: 35000 \r\n"
            "Total number of frames: 3 ");
  EXPECT_EQ(document_list_text(DocumentKind::kSlices, data, kPath),
            document_list_text(DocumentKind::kFrames, data, kPath));
  EXPECT_EQ(document_list_text(DocumentKind::kGops, StoreData{}, kPath),
            "An\xE1lisis Bytes/frame: /video/clip.mpg\r\n\r\n\r\n\r\n"
            "Total read bytes: 0 \r\n"
            "Total number of frames: 0 ");
}

TEST(DocumentList, UnknownTypeInLowerCaseAndLargeCountsInFull) {
  StoreData data = make_store({2, 9}, {4000000000u, 2});
  data.bytes_scanned = 6000000000ull;
  const std::string text = document_list_text(DocumentKind::kFrames, data, kPath);
  EXPECT_NE(text.find("Frame: 1 - Type: non detected - Bytes: 2\r\n"), std::string::npos);
  EXPECT_EQ(text.find("Non detected"), std::string::npos);
  EXPECT_NE(text.find("Bytes: 4000000000\r\n"), std::string::npos);
  EXPECT_NE(text.find("Total read bytes: 6000000000 \r\n"), std::string::npos);
}

TEST(DefaultReportNames, OnlyTheFileNamesExtensionIsTakenOff) {
  const ReportNames names = default_report_names("/video/clip.mpg");
  EXPECT_EQ(names[ReportFile::kGop], "/video/clip.gop");
  EXPECT_EQ(names[ReportFile::kFrame], "/video/clip.frm");
  EXPECT_EQ(names[ReportFile::kSlice], "/video/clip.slc");
  EXPECT_EQ(names[ReportFile::kSummary], "/video/clip.sum");
  EXPECT_EQ(names.gop, "/video/clip.gop");
  const std::pair<const char*, const char*> cases[] = {{"/video.d/clip", "/video.d/clip.gop"},
                                                       {"../src/noext", "../src/noext.gop"},
                                                       {"a.b.c", "a.b.gop"},
                                                       {"/video/.hidden", "/video/.hidden.gop"},
                                                       {"clip.m2v", "clip.gop"},
                                                       {"", ".gop"}};
  for (const auto& [input, gop] : cases) EXPECT_EQ(default_report_names(input).gop, gop) << input;
}

TEST(OpenErrorMessage, NamesTheFile) {
  EXPECT_EQ(open_error_message(ReportFile::kGop), "Error occured opening the gop file");
  EXPECT_EQ(open_error_message(ReportFile::kFrame), "Error occured opening the frame file");
  EXPECT_EQ(open_error_message(ReportFile::kSlice), "Error occured opening the slice file");
  EXPECT_EQ(open_error_message(ReportFile::kSummary), "Error occured opening the summary file");
}

TEST(WriteTextFile, WritesBytesUnchangedReplacesAndReportsFailure) {
  const auto path = (test::scratch_dir() / "list.frm").string();
  ASSERT_TRUE(write_text_file(path, "an old, longer content"));
  const std::string bytes = "An\xE1lisis\r\n\n \0x"s;
  ASSERT_TRUE(write_text_file(path, bytes));
  const std::vector<uint8_t> read = test::read_file(path);
  EXPECT_EQ(std::string(read.begin(), read.end()), bytes);
  EXPECT_FALSE(write_text_file((test::scratch_dir() / "no-such-dir" / "x.gop").string(), "x"));
  EXPECT_FALSE(write_text_file("", "x"));
}

}  // namespace
}  // namespace tavik
