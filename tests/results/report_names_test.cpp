#include "results/report_names.h"

#include <gtest/gtest.h>

namespace tavik {
namespace {

TEST(ReportStem, TakesTheExtensionOffTheFileNameOnly) {
  const struct {
    const char* path;
    const char* stem;
  } cases[] = {
      {"/video/clip.mpg", "/video/clip"},
      {"/video.d/clip", "/video.d/clip"},
      {"../src/noext", "../src/noext"},
      {"a.b.c", "a.b"},
      {"clip.", "clip"},
      {"/dir/.hidden", "/dir/.hidden"},
      {"/dir/.hidden.mpg", "/dir/.hidden"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(report_stem(c.path), c.stem) << c.path;
}

}  // namespace
}  // namespace tavik
