#include "results/summary.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tavik {
namespace {

// A store holding the given frames (type letters I, P, B or any other character for an
// unknown code 7) with the given sizes (1000 where none is given) and counters.
StoreData make_store(const std::string& types, const std::vector<uint32_t>& sizes = {},
                     int32_t open_gop = -1, int32_t slice_count = 0, uint64_t bytes_scanned = 0) {
  StoreData data;
  data.open_gop = open_gop;
  data.slice_count = slice_count;
  data.bytes_scanned = bytes_scanned;
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

TEST(FormatRatio, TruncatesScalesAndKeepsSixtyFourBits) {
  struct Case {
    int64_t a, b;
    const char* text;
  };
  // Both above a million: divided by 1000 first (2000999 / 1000999 would be 1,99); exactly one
  // million is not scaled.
  const Case cases[] = {{10, 3, "3,33"},
                        {2, 3, "0,66"},
                        {1005, 100, "10,05"},
                        {7, 7, "1,00"},
                        {7, 2, "3,50"},
                        {0, 9, "0,00"},
                        {5, 0, ""},
                        {0, 0, ""},
                        {2000000, 3000000, "0,66"},
                        {2000999, 1000999, "2,00"},
                        {2000999, 1000000, "2,00"},
                        {1000000, 3, "333333,33"},
                        {5000000000, 3, "1666666666,66"},
                        {10000000000, 4, "2500000000,00"},
                        {10000000000, 3000000, "3333,33"}};
  for (const Case& c : cases) EXPECT_EQ(FormatRatio(c.a, c.b), c.text) << c.a << " / " << c.b;
}

TEST(BuildSummary, WorkedExampleByteForByte) {
  StoreData data = make_store("IBPIBP", {20000, 5000, 10000, 21000, 6000, 11000}, 2, 18, 100000);
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
  EXPECT_EQ(BuildSummary(StoreData{}),
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

TEST(BuildSummary, SingleLines) {
  struct Case {
    StoreData data;
    std::vector<std::string> lines;
  };
  // No closed GOP shows dashes, with the GOP size's own spacing; an unknown type counts as a
  // frame only and spoils the pattern.
  const Case cases[] = {
      {make_store("IPP", {}, -1, 0, 3000),
       {"- Total number of Gops: 0 gops.", "- Mean average Frames/Gop: - frames.",
        "- Avg. Gop Size: -  bytes.", "- Avg. Frame Size: 1000,00 bytes."}},
      {make_store("IPP", {}, 0), {"- Total number of Gops: 0 gops.", "- Avg. Gop Size: -  bytes."}},
      {make_store("I", {}, -1, 9), {"- Mean average Slices/Frame: 9,00 slices."}},
      {make_store("IBBIBB"), {"- 0 P Frames, average size: -  bytes."}},
      {make_store("PPP"),
       {"- 0 I Frames, average size: - bytes.", "- 0 B Frames, average size: - bytes.",
        "- 3 P Frames, average size: 1000,00 bytes."}},
      {make_store("IXP", {300, 200, 100}),
       {"- Total number of Frames: 3 frames.", "- 1 I Frames, average size: 300,00 bytes.",
        "- 1 P Frames, average size: 100,00 bytes.", "- GOP pattern: Non detected", "IP"}},
      {make_store("IB", {}, 3), {"- Mean average Frames/Gop: 0,66 frames."}},
      {make_store("IPPP", {3000000000u, 3000000000u, 1000000000u, 1000000000u}, 1, 4,
                  8000000000ull),
       {"- Total number of Bytes read: 8000000000 bytes.", "- Avg. Gop Size: 8000000000,00 bytes.",
        "- Avg. Frame Size: 2000000000,00 bytes.",
        "- 3 P Frames, average size: 1666666666,66 bytes."}},
  };
  for (const Case& c : cases) {
    const std::string text = BuildSummary(c.data);
    for (const std::string& line : c.lines) {
      EXPECT_EQ(line_starting(text, line.substr(0, line.find_first_of(":,"))), line) << text;
    }
  }
}

TEST(BuildSummary, ReadsTheStoreUnderItsLock) {
  AnalysisStore store;
  store.update([](StoreData& data) {
    data = make_store("IBBPIBBP", {9, 1, 1, 3, 9, 1, 1, 3}, 2, 0, 28);
  });
  EXPECT_EQ(BuildSummary(store), BuildSummary(store.snapshot()));
  EXPECT_NE(BuildSummary(store).find("IBBPIBBP\n"), std::string::npos);
}

TEST(DetectGopPattern, Cases) {
  // A closed run that differs is not detected, the run after the last I frame is not compared,
  // frames before the first I frame are replaced at the second, an unknown type stops the pass.
  const std::pair<const char*, const char*> cases[] = {{"IPBBPBBIPBBPBBIPBBPBB", "IPBBPBB."},
                                                       {"IBBPIBBPIBBP", "IBBP."},
                                                       {"IBPIBP", "IBP."},
                                                       {"IBBPIBBPIBPI", "Non detected"},
                                                       {"IBBPIBBPIB", "IBBP."},
                                                       {"IPPP", "PPP."},
                                                       {"IBPIB", "IB."},
                                                       {"II", "I."},
                                                       {"IIII", "I."},
                                                       {"I", "."},
                                                       {"", "."},
                                                       {"BBIBBP", "BBBBP."},
                                                       {"BBIBBPIBBP", "IBBP."},
                                                       {"IBXBP", "Non detected"},
                                                       {"X", "Non detected"}};
  for (const auto& [types, pattern] : cases) {
    EXPECT_EQ(DetectGopPattern(make_store(types)), pattern) << types;
  }
}

}  // namespace
}  // namespace tavik
