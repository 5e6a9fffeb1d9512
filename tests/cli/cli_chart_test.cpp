#include <gtest/gtest.h>

#include <QSvgRenderer>
#include <filesystem>
#include <string>
#include <vector>

#include "support/cli_run.h"
#include "support/stream_tools.h"

namespace tavik {
namespace {

namespace fs = std::filesystem;

// Removes what the charts were written into.
class ScratchCleanup : public ::testing::Environment {
 public:
  void TearDown() override { fs::remove_all(test::scratch_dir()); }
};
const auto* const kCleanup = ::testing::AddGlobalTestEnvironment(new ScratchCleanup);

uint32_t big_endian(const std::vector<uint8_t>& bytes, size_t at) {
  return uint32_t(bytes[at]) << 24 | uint32_t(bytes[at + 1]) << 16 | uint32_t(bytes[at + 2]) << 8 |
         bytes[at + 3];
}

std::string chart_command(const std::string& options, const fs::path& output) {
  return "chart " + test::quoted(test::sample_path("testsrc-mpeg2.m2v")) + " " + options + " -o " +
         test::quoted(output);
}

TEST(CliChart, WritesPngOfTheWindowSizeAndValidSvg) {
  const fs::path png = test::scratch_dir() / "frames.png";
  test::CliResult result = test::run_cli(chart_command("--chart frame --size 640x360", png));
  ASSERT_EQ(result.status, 0) << result.err;
  const std::vector<uint8_t> bytes = test::read_file(png);
  ASSERT_GE(bytes.size(), 24u);
  EXPECT_EQ(std::string(bytes.begin() + 12, bytes.begin() + 16), "IHDR");
  EXPECT_EQ(big_endian(bytes, 16), 640u);
  EXPECT_EQ(big_endian(bytes, 20), 360u);

  const fs::path svg = test::scratch_dir() / "correlation.svg";
  result = test::run_cli(chart_command("--chart correlation --source frame --points 20", svg));
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_TRUE(QSvgRenderer(QString::fromStdString(svg.string())).isValid());
}

TEST(CliChart, RefusesToFilterEveryFrameType) {
  const fs::path png = test::scratch_dir() / "none.png";
  const test::CliResult result = test::run_cli(
      chart_command("--chart histogram --source frame --filter-i --filter-p --filter-b", png));
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("You must not filter all the frames types"), std::string::npos);
  EXPECT_FALSE(fs::exists(png));
}

}  // namespace
}  // namespace tavik
