#include "analysis/analysis_store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#include "analysis/start_code_scanner.h"

namespace tavik {
namespace {

using Entries = std::vector<uint32_t>;

void fill_with(std::vector<uint32_t>& array, uint32_t base) {
  for (size_t i = 0; i < array.size(); ++i) array[i] = base + static_cast<uint32_t>(i);
}

// Every element holds a non-zero value and the counters say how many are valid.
void fill_store(AnalysisStore& store) {
  store.update([](StoreData& d) {
    fill_with(d.frame_bytes, 1000);
    fill_with(d.frame_types, 1);
    fill_with(d.frame_first_slice, 1);
    fill_with(d.slice_bytes, 50);
    fill_with(d.gop_bytes, 9000);
    fill_with(d.gop_first_frame, 1);
    d.last_frame = 2;
    d.slice_count = 4;
    d.open_gop = 1;
  });
}

TEST(AnalysisStore, StartsWithPresetSizesAndValues) {
  const AnalysisStore store;
  store.read([](const StoreData& d) {
    EXPECT_EQ(d.frame_bytes.size(), 500u);
    EXPECT_EQ(d.slice_bytes.size(), 2000u);
    EXPECT_EQ(d.gop_first_frame.size(), 100u);
    EXPECT_EQ(d.last_frame, -1);
    EXPECT_EQ(d.open_gop, -1);
    EXPECT_EQ(d.max_frame_bytes, 1000);
    EXPECT_EQ(d.max_gop_bytes, 1000);
    EXPECT_EQ(d.max_slice_bytes, 500);
    EXPECT_EQ(d.frame_chart.y_limit, 3000);
    EXPECT_EQ(d.gop_chart.y_limit, 5000);
    EXPECT_EQ(d.slice_chart.y_limit, 1000);
    EXPECT_EQ(d.slice_chart.auto_scale, 1);
  });
  EXPECT_EQ(store.current_picture_type, 0);
}

TEST(AnalysisStore, SnapshotHoldsOnlyTheValidEntries) {
  AnalysisStore store;
  fill_store(store);
  const StoreData d = store.snapshot();
  EXPECT_EQ(d.frame_bytes, (Entries{1000, 1001, 1002}));
  EXPECT_EQ(d.frame_types, (Entries{1, 2, 3}));
  EXPECT_EQ(d.frame_first_slice, (Entries{1, 2, 3, 4}));
  EXPECT_EQ(d.slice_bytes, (Entries{50, 51, 52, 53}));
  EXPECT_EQ(d.gop_bytes, Entries{9000});
  EXPECT_EQ(d.gop_first_frame, (Entries{1, 2}));
  EXPECT_EQ(d.last_frame, 2);
  EXPECT_EQ(d.open_gop, 1);

  store.update([](StoreData& data) {
    data.last_frame = -1;
    data.open_gop = -1;
    data.slice_count = 0;
  });
  const StoreData empty = store.snapshot();
  EXPECT_TRUE(empty.frame_bytes.empty());
  EXPECT_TRUE(empty.slice_bytes.empty());
  EXPECT_TRUE(empty.gop_bytes.empty());
  EXPECT_TRUE(empty.gop_first_frame.empty());
  EXPECT_EQ(empty.frame_first_slice, Entries{1});
}

TEST(AnalysisStore, StoreAtGrowsWithZeros) {
  std::vector<uint32_t> array(3, 7);
  store_at(array, 10, 5);
  ASSERT_GE(array.size(), 11u);
  EXPECT_EQ(array[2], 7u);
  EXPECT_EQ(array[3], 0u);
  EXPECT_EQ(array[9], 0u);
  EXPECT_EQ(array[10], 5u);
  store_at(array, -1, 9);  // nothing below index 0
  EXPECT_EQ(array[0], 7u);
}

TEST(AnalysisStore, ZeroArraysKeepsSizesAndCounters) {
  AnalysisStore store;
  store.update([](StoreData& d) { store_at(d.slice_bytes, 4000, 1); });
  fill_store(store);
  const size_t slices = store.read([](const StoreData& d) { return d.slice_bytes.size(); });
  store.zero_arrays();
  store.read([&](const StoreData& d) {
    EXPECT_EQ(d.frame_bytes.size(), 500u);
    EXPECT_EQ(d.slice_bytes.size(), slices);
    for (const auto* array : {&d.frame_bytes, &d.frame_types, &d.frame_first_slice, &d.slice_bytes,
                              &d.gop_bytes, &d.gop_first_frame}) {
      EXPECT_TRUE(std::all_of(array->begin(), array->end(), [](uint32_t v) { return v == 0; }));
    }
    EXPECT_EQ(d.last_frame, 2);
    EXPECT_EQ(d.slice_count, 4);
  });
}

TEST(AnalysisStore, CloseResetClearsOnlyItsFields) {
  AnalysisStore store;
  fill_store(store);
  store.update([](StoreData& d) {
    d.bytes_scanned = uint64_t{5} << 32;
    d.scan_reset_pending = 1;
    d.max_gop_bytes = 77;
  });
  store.current_picture_type = kBPicture;
  store.close_reset();
  const StoreData d = store.snapshot();
  EXPECT_EQ(d.last_frame, -1);
  EXPECT_EQ(d.bytes_scanned, 0u);
  EXPECT_EQ(d.scan_reset_pending, 0);
  EXPECT_EQ(store.current_picture_type, 0);
  EXPECT_EQ(d.open_gop, 1);
  EXPECT_EQ(d.slice_count, 4);
  EXPECT_EQ(d.max_gop_bytes, 77);
}

TEST(AnalysisStore, FiltersAndGopSignal) {
  AnalysisStore store;
  store.set_filters(true, false, true);
  const StoreData d = store.snapshot();
  EXPECT_EQ(d.filter_i, 1);
  EXPECT_EQ(d.filter_p, 0);
  EXPECT_EQ(d.filter_b, 1);

  store.signal_gop_closed();  // no callback: nothing happens
  int signals = 0;
  store.set_gop_closed_callback([&] { ++signals; });
  store.signal_gop_closed();
  EXPECT_EQ(signals, 1);
}

// A long elementary stream: GOPs of 12 pictures of 3 slices each.
std::vector<uint8_t> long_stream(int pictures) {
  std::vector<uint8_t> bytes{0x00, 0x00, 0x01, 0xB3, 0x11, 0x22};
  const auto code = [&](uint8_t value) { bytes.insert(bytes.end(), {0x00, 0x00, 0x01, value}); };
  for (int p = 0; p < pictures; ++p) {
    if (p % 12 == 0) code(0xB8);
    bytes.insert(bytes.end(), 5, 0x33);
    code(0x00);
    for (uint8_t slice = 1; slice <= 3; ++slice) {
      bytes.insert(bytes.end(), 6, 0x44);
      code(slice);
    }
  }
  return bytes;
}

// Readers racing the scanner never see a counter that covers an element not yet written:
// every measured element is non-zero and the arrays start zeroed.
TEST(AnalysisStore, ConcurrentReadersNeverSeeACounterAheadOfItsElement) {
  constexpr int kPictures = 24000;
  AnalysisStore store;
  CollectedMessages messages;
  StartCodeScanner scanner(store, messages);
  const auto bytes = long_stream(kPictures);
  MemoryInput input(bytes);
  // A new session: the counters are reset before the arrays are zeroed, so no reader sees a
  // zeroed element under a counter.
  const auto open_session = [&] {
    scanner.attach(&input);
    store.update([](StoreData& d) { d.scan_reset_pending = 1; });
    scanner.measure_picture();
    store.zero_arrays();
  };
  open_session();

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
    bool good = d.frame_bytes.size() == size_t(d.last_frame + 1);
    for (size_t f = 0; f < d.frame_bytes.size(); ++f) {
      good = good && d.frame_bytes[f] != 0 && d.frame_types[f] != 0 &&
             d.frame_first_slice[f] <= d.frame_first_slice[f + 1];
    }
    good = good && (d.last_frame < 0 ||
                    d.frame_first_slice[size_t(d.last_frame) + 1] <= uint32_t(d.slice_count));
    for (uint32_t entry : d.slice_bytes) good = good && entry != 0;
    for (uint32_t entry : d.gop_bytes) good = good && entry != 0;
    for (size_t g = 1; g < d.gop_first_frame.size(); ++g) {
      good =
          good && d.gop_first_frame[g] != 0 && d.gop_first_frame[g] <= uint32_t(d.last_frame + 1);
    }
    return good;
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
    if (session > 0) open_session();
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
  EXPECT_EQ(d.last_frame, kPictures - 1);
  EXPECT_EQ(d.open_gop, kPictures / 12);
  EXPECT_EQ(d.slice_count, 3 * kPictures - 1);
  EXPECT_EQ(d.bytes_scanned, bytes.size() - 3);
}

}  // namespace
}  // namespace tavik
