#include <gtest/gtest.h>

#include <QSvgRenderer>
#include <cstdlib>
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

// The timing charts of the sample: 2000 kbit/s nominal, a variable-rate buffer of 1015 kbit.
TEST(CliChart, DrawsTheBitrateAndVbvCharts) {
  const struct {
    const char* options;
    const char* legend;
  } cases[] = {{"--chart bitrate --per gop --window 50f", "Nominal 2000 kbit/s"},
               {"--chart vbv --scale 100", "Buffer 1015 kbit, variable rate 2000 kbit/s"}};
  for (const auto& c : cases) {
    const fs::path svg = test::scratch_dir() / "timing.svg";
    const test::CliResult result = test::run_cli(chart_command(c.options, svg));
    ASSERT_EQ(result.status, 0) << result.err;
    const std::vector<uint8_t> bytes = test::read_file(svg);
    EXPECT_NE(std::string(bytes.begin(), bytes.end()).find(c.legend), std::string::npos)
        << c.options;
  }
}

TEST(CliChart, RefusesToFilterEveryFrameType) {
  const fs::path png = test::scratch_dir() / "none.png";
  const test::CliResult result = test::run_cli(
      chart_command("--chart histogram --source frame --filter-i --filter-p --filter-b", png));
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("You must not filter all the frames types"), std::string::npos);
  EXPECT_FALSE(fs::exists(png));
}

// A copy of the program without its drawing module still analyses, and says why it cannot draw.
TEST(CliChart, WithoutItsModuleOnlyTheChartCommandFails) {
  const fs::path program = test::scratch_dir() / "alone" / "tavik-cli";
  fs::create_directories(program.parent_path());
  fs::copy_file(TAVIK_CLI_PATH, program, fs::copy_options::overwrite_existing);
  const std::string sample = test::quoted(test::sample_path("testsrc-mpeg2.m2v"));
  const fs::path png = test::scratch_dir() / "alone.png";
  const std::string run = test::quoted(program) + " chart " + sample + " -o " + test::quoted(png);
  EXPECT_EQ(WEXITSTATUS(std::system((run + " 2>/dev/null").c_str())), 1);
  EXPECT_FALSE(fs::exists(png));
  const std::string analyze = test::quoted(program) + " analyze " + sample + " >/dev/null";
  EXPECT_EQ(WEXITSTATUS(std::system(analyze.c_str())), 0);
}

}  // namespace
}  // namespace tavik
