#include "analysis/analysis_store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <tuple>
#include <vector>

#include "analysis/start_code_scanner.h"

namespace tavik {
namespace {

using Entries = std::vector<uint32_t>;

TEST(AnalysisStore, StartsWithPresetSizesAndValues) {
  const StoreData d;
  EXPECT_EQ(std::tuple(d.frame_bytes.size(), d.slice_bytes.size(), d.gop_first_frame.size()),
            std::tuple(500u, 2000u, 100u));
  EXPECT_EQ(
      std::tuple(d.last_frame, d.open_gop, d.max_frame_bytes, d.max_gop_bytes, d.max_slice_bytes),
      std::tuple(-1, -1, 1000, 1000, 500));
  EXPECT_EQ(std::tuple(d.frame_chart.y_limit, d.gop_chart.y_limit, d.slice_chart.y_limit,
                       d.slice_chart.auto_scale),
            std::tuple(3000, 5000, 1000, 1));
}

// Every element holds a non-zero value and the counters say how many are valid.
void fill_store(AnalysisStore& store) {
  store.update([](StoreData& d) {
    for (auto* array : {&d.frame_bytes, &d.frame_types, &d.frame_first_slice, &d.slice_bytes,
                        &d.gop_bytes, &d.gop_first_frame}) {
      for (size_t i = 0; i < array->size(); ++i) (*array)[i] = 1 + static_cast<uint32_t>(i);
    }
    d.last_frame = 2;
    d.slice_count = 4;
    d.open_gop = 1;
  });
}

TEST(AnalysisStore, SnapshotHoldsOnlyTheValidEntries) {
  AnalysisStore store;
  fill_store(store);
  const StoreData d = store.snapshot();
  EXPECT_EQ(d.frame_bytes, (Entries{1, 2, 3}));
  EXPECT_EQ(d.frame_types, (Entries{1, 2, 3}));
  EXPECT_EQ(d.frame_first_slice, (Entries{1, 2, 3, 4}));
  EXPECT_EQ(d.slice_bytes, (Entries{1, 2, 3, 4}));
  EXPECT_EQ(d.gop_bytes, Entries{1});
  EXPECT_EQ(d.gop_first_frame, (Entries{1, 2}));
  EXPECT_EQ(std::tuple(d.last_frame, d.open_gop, d.slice_count), std::tuple(2, 1, 4));

  store.update([](StoreData& data) {
    data.last_frame = data.open_gop = -1;
    data.slice_count = 0;
  });
  const StoreData empty = store.snapshot();
  EXPECT_EQ(std::tuple(empty.frame_bytes.size(), empty.slice_bytes.size(), empty.gop_bytes.size(),
                       empty.gop_first_frame.size()),
            std::tuple(0u, 0u, 0u, 0u));
  EXPECT_EQ(empty.frame_first_slice, Entries{1});
}

TEST(AnalysisStore, StoreAtGrowsWithZeros) {
  Entries array(3, 7);
  store_at(array, 10, 5);
  store_at(array, -1, 9);  // nothing below index 0
  ASSERT_GE(array.size(), 11u);
  EXPECT_EQ(Entries(array.begin(), array.begin() + 11), (Entries{7, 7, 7, 0, 0, 0, 0, 0, 0, 0, 5}));
}

TEST(AnalysisStore, ZeroArraysKeepsSizesAndCountersAndCloseResetClearsOnlyItsFields) {
  AnalysisStore store;
  store.update([](StoreData& d) { store_at(d.slice_bytes, 4000, 1); });
  fill_store(store);
  const size_t slices = store.read([](const StoreData& d) { return d.slice_bytes.size(); });
  store.zero_arrays();
  store.read([&](const StoreData& d) {
    EXPECT_EQ(std::tuple(d.frame_bytes.size(), d.slice_bytes.size()), std::tuple(500u, slices));
    for (const auto* array : {&d.frame_bytes, &d.frame_types, &d.frame_first_slice, &d.slice_bytes,
                              &d.gop_bytes, &d.gop_first_frame}) {
      EXPECT_TRUE(std::all_of(array->begin(), array->end(), [](uint32_t v) { return v == 0; }));
    }
    EXPECT_EQ(std::tuple(d.last_frame, d.slice_count), std::tuple(2, 4));
  });

  store.update([](StoreData& d) {
    d.bytes_scanned = uint64_t{5} << 32;
    d.scan_reset_pending = 1;
    d.max_gop_bytes = 77;
  });
  store.current_picture_type = kBPicture;
  store.close_reset();
  const StoreData d = store.snapshot();
  EXPECT_EQ(std::tuple(d.last_frame, d.bytes_scanned, d.scan_reset_pending,
                       int32_t(store.current_picture_type)),
            std::tuple(-1, 0u, 0, 0));
  EXPECT_EQ(std::tuple(d.open_gop, d.slice_count, d.max_gop_bytes), std::tuple(1, 4, 77));
}

// Readers racing the scanner never see a counter that covers an element not yet written:
// every measured element is non-zero and the arrays start zeroed.
TEST(AnalysisStore, ConcurrentReadersNeverSeeACounterAheadOfItsElement) {
  constexpr int kPictures = 24000;
  // A long elementary stream: GOPs of 12 pictures of 3 slices each.
  std::vector<uint8_t> bytes{0x00, 0x00, 0x01, 0xB3, 0x11, 0x22};
  const auto code = [&](uint8_t value, size_t fill) {
    bytes.insert(bytes.end(), {0x00, 0x00, 0x01, value});
    bytes.insert(bytes.end(), fill, 0x44);
  };
  for (int p = 0; p < kPictures; ++p) {
    if (p % 12 == 0) code(0xB8, 0);
    code(0x00, 6);
    for (uint8_t slice = 1; slice <= 3; ++slice) code(slice, slice < 3 ? 6 : 5);
  }
  AnalysisStore store;
  CollectedMessages messages;
  StartCodeScanner scanner(store, messages);
  MemoryInput input(bytes);

  std::atomic<bool> done{false};
  std::atomic<int> faults{0};
  std::atomic<int> looks{0};
  // The newest entries, read under the lock the way a view reads them.
  const auto newest_written = [](const StoreData& d) {
    const auto at = [](const std::vector<uint32_t>& array, int64_t i) {
      return i < 0 || (size_t(i) < array.size() && array[size_t(i)] != 0);
    };
    return at(d.frame_bytes, d.last_frame) && at(d.frame_types, d.last_frame) &&
           at(d.slice_bytes, d.slice_count - 1) && at(d.gop_bytes, d.open_gop - 1) &&
           (d.open_gop < 1 || at(d.gop_first_frame, d.open_gop));
  };
  // Every valid entry of a consistent copy.
  const auto all_written = [](const StoreData& d) {
    const auto nonzero = [](const Entries& array) { return std::ranges::count(array, 0u) == 0; };
    const auto frames = uint32_t(d.last_frame + 1);
    return nonzero(d.frame_bytes) && nonzero(d.frame_types) && nonzero(d.slice_bytes) &&
           nonzero(d.gop_bytes) && std::ranges::is_sorted(d.frame_first_slice) &&
           d.frame_first_slice.back() <= uint32_t(d.slice_count) &&
           std::ranges::count(d.gop_first_frame, 0u) <= 1 &&
           std::ranges::all_of(d.gop_first_frame, [&](uint32_t first) { return first <= frames; });
  };
  std::thread reader([&] {
    while (!done || looks == 0) {
      const bool good =
          looks % 256 == 0 ? all_written(store.snapshot()) : store.read(newest_written);
      if (!good) ++faults;
      ++looks;
    }
  });
  for (int session = 0; session < 4; ++session) {
    // A new session: the counters are reset before the arrays are zeroed, so no reader sees a
    // zeroed element under a counter.
    scanner.attach(&input);
    store.update([](StoreData& d) { d.scan_reset_pending = 1; });
    scanner.measure_picture();
    store.zero_arrays();
    for (int p = 0; p <= kPictures; ++p) {
      store.current_picture_type = p == 0 ? kNoPicture : kPPicture;
      scanner.measure_picture();
    }
  }
  done = true;
  reader.join();
  EXPECT_EQ(faults, 0);
  EXPECT_GT(looks, 0);
  const StoreData d = store.snapshot();
  EXPECT_EQ(std::tuple(d.last_frame, d.open_gop, d.slice_count, d.bytes_scanned),
            std::tuple(kPictures - 1, kPictures / 12, 3 * kPictures - 1, bytes.size() - 3));
}

}  // namespace
}  // namespace tavik
