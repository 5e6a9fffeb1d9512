#include "input/start_code_search.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

namespace tavik {
namespace {

using Find = const uint8_t* (*)(const uint8_t*, const uint8_t*);

// Offset of the prefix that `find` finds in bytes[begin, end).
// find_start_code and each vector version this processor can run.
std::vector<Find> vector_finds() {
  std::vector<Find> finds = {&find_start_code};
#if defined(__SSE2__)
  finds.push_back(&find_start_code_sse2);
  if (__builtin_cpu_supports("avx2")) finds.push_back(&find_start_code_avx2);
#endif
  return finds;
}

ptrdiff_t offset(Find find, const std::vector<uint8_t>& bytes, size_t begin, size_t end) {
  return find(bytes.data() + begin, bytes.data() + end) - bytes.data();
}

TEST(StartCodeSearch, FindsTheFirstWholePrefix) {
  const std::vector<uint8_t> bytes = {7, 0, 0, 0, 1, 0xB3, 0, 0, 1, 0};
  std::vector<Find> finds = vector_finds();
  finds.push_back(&find_start_code_plain);
  for (const Find find : finds) {
    EXPECT_EQ(offset(find, bytes, 0, 10), 2);  // 00 00 00 01: the prefix is the last three
    EXPECT_EQ(offset(find, bytes, 3, 10), 6);
    EXPECT_EQ(offset(find, bytes, 2, 4), 4);  // cut before its 01: none
    EXPECT_EQ(offset(find, bytes, 2, 5), 2);
    EXPECT_EQ(offset(find, bytes, 7, 10), 10);
    EXPECT_EQ(offset(find, bytes, 5, 5), 5);
  }
  // One prefix at every place of a buffer long enough for several vector steps.
  for (size_t place = 0; place + 3 <= 200; ++place) {
    std::vector<uint8_t> long_bytes(200, 0x80);
    long_bytes[place + 2] = 1;
    long_bytes[place] = long_bytes[place + 1] = 0;
    for (const Find find : vector_finds()) {
      EXPECT_EQ(offset(find, long_bytes, 0, 200), ptrdiff_t(place));
      EXPECT_EQ(offset(find, long_bytes, 0, place + 2), ptrdiff_t(place + 2));
    }
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
    for (int cut = 0; cut < 8; ++cut) {
      size_t begin = random() % (bytes.size() + 1);
      size_t end = random() % (bytes.size() + 1);
      if (begin > end) std::swap(begin, end);
      // Follow every prefix to the end, as the callers do.
      for (;;) {
        const ptrdiff_t expected = offset(find_start_code_plain, bytes, begin, end);
        for (const Find find : vector_finds()) {
          ASSERT_EQ(offset(find, bytes, begin, end), expected)
              << "round " << round << " bytes [" << begin << ", " << end << ")";
        }
        if (expected == ptrdiff_t(end)) break;
        begin = size_t(expected) + 1;
      }
    }
  }
}

}  // namespace
}  // namespace tavik
