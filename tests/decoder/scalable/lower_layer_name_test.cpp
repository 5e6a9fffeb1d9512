#include "decoder/scalable/lower_layer_name.h"

#include <gtest/gtest.h>

#include <string>

namespace tavik {
namespace {

struct NameCase {
  std::string pattern;
  std::string name;  // for temporal reference 7, field 'b', suffix ".U"; empty: refused
  std::string problem;
};

TEST(LowerLayerName, OnlyTemporalReferenceThenFieldConversions) {
  const NameCase cases[] = {
      {"base_%d%c", "base_7b.U", ""},
      {"dir/%03d-%c", "dir/007-b.U", ""},
      {"100%%_%d", "100%_7.U", ""},
      {"plain", "plain.U", ""},
      {"%c", "b.U", ""},
      {"%s", "", "only %d, %c and %% are accepted"},
      {"%x%d", "", "only %d, %c and %% are accepted"},
      {"%5d", "", "only %d, %c and %% are accepted"},
      {"%03c", "", "only %d, %c and %% are accepted"},
      {"%0d", "", "a zero flag needs a width of 1 to 9"},
      {"%c%d", "", "%d must come once, before %c"},
      {"%d%d", "", "%d must come once, before %c"},
      {"%c%c", "", "%c must come once"},
      {"name%", "", "the pattern ends inside a conversion"},
  };
  for (const NameCase& c : cases) {
    SCOPED_TRACE(c.pattern);
    EXPECT_EQ(lower_layer_pattern_problem(c.pattern), c.problem);
    EXPECT_EQ(lower_layer_file_name(c.pattern, 7, 'b', ".U").value_or(""), c.name);
  }
}

TEST(LowerLayerName, NamesLongerThanTheBoundAreRefused) {
  const std::string fits(kMaxLowerLayerNameLength - 3, 'x');
  EXPECT_EQ(lower_layer_file_name(fits + "%d", 5, 'a', ".Y"), fits + "5.Y");
  EXPECT_FALSE(lower_layer_file_name(fits + "%d", 10, 'a', ".Y"));
  EXPECT_FALSE(lower_layer_file_name(std::string(100000, '%') + "%", 1, 'a', ".Y"));
}

}  // namespace
}  // namespace tavik
