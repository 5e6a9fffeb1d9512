#include "analysis/analysis_store.h"

#include <algorithm>

namespace tavik {

StoreData::StoreData()
    : frame_bytes(500),
      frame_types(500),
      frame_first_slice(500),
      slice_bytes(2000),
      gop_bytes(100),
      gop_first_frame(100) {}

void store_at(std::vector<uint32_t>& array, int64_t index, uint32_t value) {
  if (index < 0) return;
  const auto i = static_cast<size_t>(index);
  if (i >= array.size()) array.resize(std::max(i + 1, array.size() * 2));
  array[i] = value;
}

namespace {

std::vector<uint32_t> valid_prefix(const std::vector<uint32_t>& array, int64_t count) {
  const auto n = static_cast<size_t>(std::clamp<int64_t>(count, 0, int64_t(array.size())));
  return {array.begin(), array.begin() + static_cast<std::ptrdiff_t>(n)};
}

}  // namespace

StoreData AnalysisStore::snapshot() const {
  std::lock_guard lock(mutex_);
  StoreData copy;
  copy.frame_bytes = valid_prefix(data_.frame_bytes, data_.last_frame + 1);
  copy.frame_types = valid_prefix(data_.frame_types, data_.last_frame + 1);
  copy.frame_first_slice = valid_prefix(data_.frame_first_slice, data_.last_frame + 2);
  copy.slice_bytes = valid_prefix(data_.slice_bytes, data_.slice_count);
  copy.gop_bytes = valid_prefix(data_.gop_bytes, data_.open_gop);
  copy.gop_first_frame = valid_prefix(data_.gop_first_frame, data_.open_gop + 1);
  copy.last_frame = data_.last_frame;
  copy.open_gop = data_.open_gop;
  copy.slice_count = data_.slice_count;
  copy.slice_codes_seen = data_.slice_codes_seen;
  copy.bytes_scanned = data_.bytes_scanned;
  copy.gop_accum = data_.gop_accum;
  copy.max_frame_bytes = data_.max_frame_bytes;
  copy.max_gop_bytes = data_.max_gop_bytes;
  copy.max_slice_bytes = data_.max_slice_bytes;
  copy.max_frames_per_gop = data_.max_frames_per_gop;
  copy.max_slices_per_frame = data_.max_slices_per_frame;
  copy.frame_chart = data_.frame_chart;
  copy.gop_chart = data_.gop_chart;
  copy.slice_chart = data_.slice_chart;
  copy.filter_i = data_.filter_i;
  copy.filter_p = data_.filter_p;
  copy.filter_b = data_.filter_b;
  copy.scan_reset_pending = data_.scan_reset_pending;
  copy.origin = data_.origin;
  return copy;
}

void AnalysisStore::zero_arrays() {
  std::lock_guard lock(mutex_);
  for (auto* array : {&data_.frame_bytes, &data_.frame_types, &data_.frame_first_slice,
                      &data_.slice_bytes, &data_.gop_bytes, &data_.gop_first_frame}) {
    std::fill(array->begin(), array->end(), 0u);
  }
}

void AnalysisStore::close_reset() {
  {
    std::lock_guard lock(mutex_);
    data_.last_frame = -1;
    data_.bytes_scanned = 0;
    data_.scan_reset_pending = false;
  }
  current_picture_type = 0;
}

void AnalysisStore::clear_measurements() {
  {
    std::lock_guard lock(mutex_);
    StoreData fresh;
    fresh.frame_chart = data_.frame_chart;
    fresh.gop_chart = data_.gop_chart;
    fresh.slice_chart = data_.slice_chart;
    fresh.filter_i = data_.filter_i;
    fresh.filter_p = data_.filter_p;
    fresh.filter_b = data_.filter_b;
    data_ = std::move(fresh);
  }
  current_picture_type = 0;
}

void AnalysisStore::set_filters(bool filter_i, bool filter_p, bool filter_b) {
  std::lock_guard lock(mutex_);
  data_.filter_i = filter_i;
  data_.filter_p = filter_p;
  data_.filter_b = filter_b;
}

void AnalysisStore::set_gop_closed_callback(std::function<void()> callback) {
  std::lock_guard lock(mutex_);
  gop_closed_ = std::move(callback);
}

void AnalysisStore::signal_gop_closed() const {
  std::function<void()> callback;
  {
    std::lock_guard lock(mutex_);
    callback = gop_closed_;
  }
  if (callback) callback();
}

}  // namespace tavik
