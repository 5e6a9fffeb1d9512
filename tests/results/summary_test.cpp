#include "results/summary.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tavik {
namespace {

// A store holding the given frames (type letters I, P, B or any other character for an
// unknown code 7) with the given sizes.
StoreData make_store(const std::string& types, const std::vector<uint32_t>& sizes = {}) {
  StoreData data;
  for (size_t f = 0; f < types.size(); ++f) {
    const uint32_t code = types[f] == 'I' ? 1 : types[f] == 'P' ? 2 : types[f] == 'B' ? 3 : 7;
    store_at(data.frame_types, int64_t(f), code);
    store_at(data.frame_bytes, int64_t(f), f < sizes.size() ? sizes[f] : 1000);
  }
  data.last_frame = static_cast<int32_t>(types.size()) - 1;
  return data;
}

// The line of the summary that starts with prefix, without its line feed.
std::string line_starting(const std::string& text, const std::string& prefix) {
  const size_t start = text.find("\n" + prefix);
  if (start == std::string::npos) return "<missing " + prefix + ">";
  const size_t end = text.find('\n', start + 1);
  return text.substr(start + 1, end - start - 1);
}

TEST(FormatRatio, TruncatesToTwoDecimals) {
  EXPECT_EQ(FormatRatio(10, 3), "3,33");
  EXPECT_EQ(FormatRatio(2, 3), "0,66");
  EXPECT_EQ(FormatRatio(1005, 100), "10,05");
  EXPECT_EQ(FormatRatio(7, 7), "1,00");
  EXPECT_EQ(FormatRatio(1, 4), "0,25");
  EXPECT_EQ(FormatRatio(7, 2), "3,50");
  EXPECT_EQ(FormatRatio(0, 9), "0,00");
}

TEST(FormatRatio, EmptyForZeroDivisor) {
  EXPECT_EQ(FormatRatio(5, 0), "");
  EXPECT_EQ(FormatRatio(0, 0), "");
}

TEST(FormatRatio, ScalesDownOnlyWhenBothExceedAMillion) {
  EXPECT_EQ(FormatRatio(2000000, 3000000), "0,66");
  // 2000999 / 1000999 is 1.999; scaled to 2000 / 1000 it is exactly 2.
  EXPECT_EQ(FormatRatio(2000999, 1000999), "2,00");
  // Exactly one million is not scaled.
  EXPECT_EQ(FormatRatio(1000000, 3), "333333,33");
  EXPECT_EQ(FormatRatio(2000999, 1000000), "2,00");
}

TEST(FormatRatio, KeepsTotalsBeyondThirtyTwoBits) {
  EXPECT_EQ(FormatRatio(5000000000, 3), "1666666666,66");
  EXPECT_EQ(FormatRatio(10000000000, 4), "2500000000,00");
  EXPECT_EQ(FormatRatio(10000000000, 3000000), "3333,33");
}

TEST(BuildSummary, WorkedExampleByteForByte) {
  StoreData data = make_store("IBPIBP", {20000, 5000, 10000, 21000, 6000, 11000});
  data.bytes_scanned = 100000;
  data.open_gop = 2;
  data.slice_count = 18;
  data.max_frames_per_gop = 3;
  data.max_slices_per_frame = 3;
  EXPECT_EQ(BuildSummary(data),
            "SUMMARY:\n"
            "\n"
            "- Total number of Bytes read: 100000 bytes.\n"
            "- Total number of Gops: 2 gops.\n"
            "- Total number of Frames: 6 frames.\n"
            "- Total number of Slices: 18 slices.\n"
            "- Mean average Frames/Gop: 3,00 frames.\n"
            "- Length of the Gop: 3 frames.\n"
            "- Mean average Slices/Frame: 3,00 slices.\n"
            "- Length of the frame: 3 slices.\n"
            "- Avg. Gop Size: 50000,00 bytes.\n"
            "- Avg. Frame Size: 16666,66 bytes.\n"
            "- Avg. Slice Size: 5555,55 bytes.\n"
            "- 2 I Frames, average size: 20500,00 bytes.\n"
            "- 2 P Frames, average size: 10500,00 bytes.\n"
            "- 2 B Frames, average size: 5500,00 bytes.\n"
            "- GOP pattern: IBP.\n"
            "- Frame sequence as found while parsing:\n"
            "IBPIBP\n");
}

TEST(BuildSummary, EmptyStore) {
  const StoreData data;
  EXPECT_EQ(BuildSummary(data),
            "SUMMARY:\n"
            "\n"
            "- Total number of Bytes read: 0 bytes.\n"
            "- Total number of Gops: 0 gops.\n"
            "- Total number of Frames: 0 frames.\n"
            "- Total number of Slices: 0 slices.\n"
            "- Mean average Frames/Gop: - frames.\n"
            "- Length of the Gop: 0 frames.\n"
            "- Mean average Slices/Frame: - slices.\n"
            "- Length of the frame: 0 slices.\n"
            "- Avg. Gop Size: -  bytes.\n"
            "- Avg. Frame Size:  bytes.\n"
            "- Avg. Slice Size:  bytes.\n"
            "- 0 I Frames, average size: - bytes.\n"
            "- 0 P Frames, average size: -  bytes.\n"
            "- 0 B Frames, average size: - bytes.\n"
            "- GOP pattern: .\n"
            "- Frame sequence as found while parsing:\n"
            "\n");
}

TEST(BuildSummary, NoClosedGopShowsDashes) {
  for (const int32_t open_gop : {0, -1}) {
    StoreData data = make_store("IPP");
    data.open_gop = open_gop;
    data.bytes_scanned = 3000;
    const std::string text = BuildSummary(data);
    EXPECT_EQ(line_starting(text, "- Total number of Gops"), "- Total number of Gops: 0 gops.");
    EXPECT_EQ(line_starting(text, "- Mean average Frames/Gop"),
              "- Mean average Frames/Gop: - frames.");
    EXPECT_EQ(line_starting(text, "- Avg. Gop Size"), "- Avg. Gop Size: -  bytes.");
    EXPECT_EQ(line_starting(text, "- Avg. Frame Size"), "- Avg. Frame Size: 1000,00 bytes.");
  }
}

TEST(BuildSummary, OneFrameStillShowsSlicesPerFrame) {
  StoreData data = make_store("I");
  data.slice_count = 9;
  EXPECT_EQ(line_starting(BuildSummary(data), "- Mean average Slices/Frame"),
            "- Mean average Slices/Frame: 9,00 slices.");
}

TEST(BuildSummary, MissingTypesShowDashWithTheirOwnSpacing) {
  const std::string no_p = BuildSummary(make_store("IBBIBB"));
  EXPECT_EQ(line_starting(no_p, "- 0 P"), "- 0 P Frames, average size: -  bytes.");
  const std::string only_p = BuildSummary(make_store("PPP"));
  EXPECT_EQ(line_starting(only_p, "- 0 I"), "- 0 I Frames, average size: - bytes.");
  EXPECT_EQ(line_starting(only_p, "- 0 B"), "- 0 B Frames, average size: - bytes.");
  EXPECT_EQ(line_starting(only_p, "- 3 P"), "- 3 P Frames, average size: 1000,00 bytes.");
}

TEST(BuildSummary, UnknownTypeCountsAsFrameOnly) {
  StoreData data = make_store("IXP", {300, 200, 100});
  const std::string text = BuildSummary(data);
  EXPECT_EQ(line_starting(text, "- Total number of Frames"), "- Total number of Frames: 3 frames.");
  EXPECT_EQ(line_starting(text, "- 1 I"), "- 1 I Frames, average size: 300,00 bytes.");
  EXPECT_EQ(line_starting(text, "- 1 P"), "- 1 P Frames, average size: 100,00 bytes.");
  EXPECT_EQ(line_starting(text, "- GOP pattern"), "- GOP pattern: Non detected");
  EXPECT_EQ(line_starting(text, "IP"), "IP");
}

TEST(BuildSummary, RatiosAreTruncated) {
  StoreData data = make_store("IB");
  data.open_gop = 3;
  EXPECT_EQ(line_starting(BuildSummary(data), "- Mean average Frames/Gop"),
            "- Mean average Frames/Gop: 0,66 frames.");
}

TEST(BuildSummary, CountsBeyondFourGibibytesInFull) {
  StoreData data = make_store("IPPP", {3000000000u, 3000000000u, 1000000000u, 1000000000u});
  data.bytes_scanned = 8000000000ull;
  data.open_gop = 1;
  data.slice_count = 4;
  const std::string text = BuildSummary(data);
  EXPECT_EQ(line_starting(text, "- Total number of Bytes"),
            "- Total number of Bytes read: 8000000000 bytes.");
  EXPECT_EQ(line_starting(text, "- Avg. Gop Size"), "- Avg. Gop Size: 8000000000,00 bytes.");
  EXPECT_EQ(line_starting(text, "- Avg. Frame Size"), "- Avg. Frame Size: 2000000000,00 bytes.");
  EXPECT_EQ(line_starting(text, "- 3 P"), "- 3 P Frames, average size: 1666666666,66 bytes.");
}

TEST(BuildSummary, ReadsTheStoreUnderItsLock) {
  AnalysisStore store;
  store.update([](StoreData& data) {
    data = make_store("IBBPIBBP", {9, 1, 1, 3, 9, 1, 1, 3});
    data.open_gop = 2;
    data.bytes_scanned = 28;
  });
  EXPECT_EQ(BuildSummary(store), BuildSummary(store.snapshot()));
  EXPECT_NE(BuildSummary(store).find("IBBPIBBP\n"), std::string::npos);
}

TEST(DetectGopPattern, RepeatingRuns) {
  EXPECT_EQ(DetectGopPattern(make_store("IPBBPBBIPBBPBBIPBBPBB")), "IPBBPBB.");
  EXPECT_EQ(DetectGopPattern(make_store("IBBPIBBPIBBP")), "IBBP.");
  EXPECT_EQ(DetectGopPattern(make_store("IBPIBP")), "IBP.");
}

TEST(DetectGopPattern, DifferingClosedRunIsNonDetected) {
  EXPECT_EQ(DetectGopPattern(make_store("IBBPIBBPIBPI")), "Non detected");
}

TEST(DetectGopPattern, RunAfterTheLastIFrameIsNotCompared) {
  EXPECT_EQ(DetectGopPattern(make_store("IBBPIBBPIB")), "IBBP.");
}

TEST(DetectGopPattern, FewIFrames) {
  EXPECT_EQ(DetectGopPattern(make_store("IPPP")), "PPP.");
  EXPECT_EQ(DetectGopPattern(make_store("IBPIB")), "IB.");
  EXPECT_EQ(DetectGopPattern(make_store("II")), "I.");
  EXPECT_EQ(DetectGopPattern(make_store("IIII")), "I.");
  EXPECT_EQ(DetectGopPattern(make_store("I")), ".");
  EXPECT_EQ(DetectGopPattern(make_store("")), ".");
}

TEST(DetectGopPattern, FramesBeforeTheFirstIFrameAreReplacedAtTheSecond) {
  EXPECT_EQ(DetectGopPattern(make_store("BBIBBP")), "BBBBP.");
  EXPECT_EQ(DetectGopPattern(make_store("BBIBBPIBBP")), "IBBP.");
}

TEST(DetectGopPattern, UnknownTypeStopsThePass) {
  EXPECT_EQ(DetectGopPattern(make_store("IBXBP")), "Non detected");
  EXPECT_EQ(DetectGopPattern(make_store("X")), "Non detected");
}

}  // namespace
}  // namespace tavik
