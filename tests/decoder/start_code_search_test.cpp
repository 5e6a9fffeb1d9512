#include "decoder/start_code_search.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

namespace tavik {
namespace {

// Offset of the prefix found in bytes[begin, end), from `begin`.
struct Search {
  const std::vector<uint8_t>& bytes;
  [[nodiscard]] ptrdiff_t plain(size_t begin, size_t end) const {
    return find_start_code_plain(bytes.data() + begin, bytes.data() + end) - bytes.data();
  }
  [[nodiscard]] ptrdiff_t fast(size_t begin, size_t end) const {
    return find_start_code(bytes.data() + begin, bytes.data() + end) - bytes.data();
  }
};

TEST(StartCodeSearch, FindsTheFirstWholePrefix) {
  const std::vector<uint8_t> bytes = {7, 0, 0, 0, 1, 0xB3, 0, 0, 1, 0};
  const Search search{bytes};
  for (const auto find : {&Search::plain, &Search::fast}) {
    EXPECT_EQ((search.*find)(0, bytes.size()), 2);  // 00 00 00 01: the prefix is the last three
    EXPECT_EQ((search.*find)(3, bytes.size()), 6);
    EXPECT_EQ((search.*find)(2, 4), 4);  // cut before its 01: none
    EXPECT_EQ((search.*find)(2, 5), 2);
    EXPECT_EQ((search.*find)(7, bytes.size()), bytes.size());
    EXPECT_EQ((search.*find)(5, 5), 5);
  }
}

TEST(StartCodeSearch, FindsPrefixesAcrossTheVectorStrides) {
  // One prefix at every place of a buffer long enough for several strides, the rest 0x80.
  for (size_t place = 0; place + 3 <= 200; ++place) {
    std::vector<uint8_t> bytes(200, 0x80);
    bytes[place] = 0;
    bytes[place + 1] = 0;
    bytes[place + 2] = 1;
    const Search search{bytes};
    EXPECT_EQ(search.fast(0, bytes.size()), static_cast<ptrdiff_t>(place)) << "place " << place;
    EXPECT_EQ(search.fast(0, place + 2), static_cast<ptrdiff_t>(place + 2)) << "place " << place;
  }
}

TEST(StartCodeSearch, VectorAndPlainAgreeOnRandomBytes) {
  std::mt19937 random(2024);
  for (int round = 0; round < 2000; ++round) {
    // Mostly 00 and 01 bytes, so that prefixes, near misses and runs of zeros are common; some
    // rounds with rarer prefixes make the vector loop run long.
    const int zero_share = round % 4 == 0 ? 2 : 60;
    std::vector<uint8_t> bytes(1 + random() % 700);
    for (uint8_t& b : bytes) {
      const int pick = static_cast<int>(random() % 100);
      b = pick < zero_share ? 0 : pick < zero_share + 20 ? 1 : static_cast<uint8_t>(random());
    }
    const Search search{bytes};
    for (int cut = 0; cut < 8; ++cut) {
      size_t begin = random() % (bytes.size() + 1);
      size_t end = random() % (bytes.size() + 1);
      if (begin > end) std::swap(begin, end);
      // Follow every prefix to the end, as the callers do.
      while (true) {
        const ptrdiff_t expected = search.plain(begin, end);
        ASSERT_EQ(search.fast(begin, end), expected)
            << "round " << round << " bytes [" << begin << ", " << end << ")";
        if (expected == static_cast<ptrdiff_t>(end)) break;
        begin = static_cast<size_t>(expected) + 1;
      }
    }
  }
}

}  // namespace
}  // namespace tavik
