#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/cli_run.h"
#include "support/spatial_stream_writer.h"
#include "support/stream_tools.h"

namespace tavik {
namespace {

namespace fs = std::filesystem;
using test::quoted;
using test::run_cli;

// A 32x16 picture predicted from a lower layer of the same size (factors 1/1): decoding
// gives the lower layer's fields back, interleaved; Y, then Cb and Cr.
TEST(LowerLayerOption, DecodeReadsTheNamedFieldFiles) {
  const fs::path dir =
      fs::temp_directory_path() / ("tavik-lower-layer-" + std::to_string(getpid()));
  fs::create_directories(dir);
  const fs::path stream = dir / "enhancement.m2v";
  test::write_file(stream, test::spatial_stream({32, 16, 1, {32, 16, 1, 1, 1, 1}},
                                                {{.lower_temporal_reference = 9}}));
  std::vector<uint8_t> expected;
  const char* const suffixes[3] = {".Y", ".U", ".V"};
  for (int c = 0; c < 3; ++c) {
    const int width = c == 0 ? 32 : 16;
    const int lines = c == 0 ? 16 : 8;
    for (int f = 0; f < 2; ++f) {
      std::vector<uint8_t> field(size_t(width * lines / 2));
      for (size_t i = 0; i < field.size(); ++i) field[i] = uint8_t(i * 7 + c * 50 + f * 100);
      test::write_file(dir / (std::string("base_009") + char('a' + f) + suffixes[c]), field);
    }
    for (int y = 0; y < lines; ++y) {
      for (int x = 0; x < width; ++x)
        expected.push_back(uint8_t((y / 2 * width + x) * 7 + c * 50 + (y & 1) * 100));
    }
  }
  const fs::path out = dir / "out.yuv";
  const std::string decode = "decode " + quoted(stream) + " -o " + quoted(out) + " --lower-layer ";
  const test::CliResult ok = run_cli(decode + quoted(dir / "base_%03d%c"));
  EXPECT_EQ(ok.status, 0) << ok.err;
  EXPECT_EQ(ok.err, "");
  EXPECT_EQ(test::read_file(out), expected);

  const test::CliResult missing = run_cli(decode + quoted(dir / "other_%d%c"));
  EXPECT_EQ(missing.status, 0);
  EXPECT_EQ(missing.err,
            "picture decoded without spatial prediction: cannot open lower-layer file " +
                (dir / "other_9a.Y").string() + "\n");

  const test::CliResult refused = run_cli(decode + "'base_%s'");
  EXPECT_NE(refused.status, 0);
  EXPECT_NE(refused.err.find("only %d, %c and %% are accepted"), std::string::npos) << refused.err;
  fs::remove_all(dir);
}

}  // namespace
}  // namespace tavik
