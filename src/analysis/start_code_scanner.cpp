#include "analysis/start_code_scanner.h"

#include <algorithm>
#include <limits>

#include "input/start_code_search.h"

namespace tavik {

namespace {

constexpr size_t kBlockSize = size_t{1} << 16;
constexpr int kPrimingBytes = 3;

// The byte after 00 00 01 of each measured pattern.
constexpr uint8_t kPictureCode = 0x00;
constexpr uint8_t kLastSliceCode = 0xAF;
constexpr uint8_t kGroupCode = 0xB8;

// A window with no byte of the stream in it: no start-code prefix can end in it.
constexpr uint32_t kEmptyWindow = 0xFFFFFFFF;

[[nodiscard]] constexpr bool is_measured_code(uint8_t code) {
  return code <= kLastSliceCode || code == kGroupCode;
}

// True when the window holds 00 00 01 followed by a picture, group or slice code.
[[nodiscard]] constexpr bool holds_code(uint32_t window) {
  return (window >> 8) == 1 && is_measured_code(static_cast<uint8_t>(window));
}

// The four bytes ending at `last`, oldest in the top byte.
[[nodiscard]] uint32_t load_window(const uint8_t* last) {
  return uint32_t{last[-3]} << 24 | uint32_t{last[-2]} << 16 | uint32_t{last[-1]} << 8 | last[0];
}

// The first byte in [from, end) that ends a measured pattern, or end. The three bytes before
// `from` belong to the same run of pattern bytes.
[[nodiscard]] const uint8_t* find_in_block(const uint8_t* from, const uint8_t* end) {
  // A prefix counts when its code byte lies before `end` too.
  const uint8_t* const prefix_end = end - 1;
  for (const uint8_t* search = from - 3;;) {
    const uint8_t* prefix = find_start_code(search, prefix_end);
    if (prefix == prefix_end) return end;
    if (is_measured_code(prefix[3])) return prefix + 3;
    search = prefix + 1;
  }
}

// Counts above the range of a store field keep its largest value.
template <typename T>
[[nodiscard]] T saturate(uint64_t count) {
  constexpr auto kMax = static_cast<uint64_t>(std::numeric_limits<T>::max());
  return static_cast<T>(std::min(count, kMax));
}

[[nodiscard]] bool exceeds(uint64_t count, int32_t maximum) {
  return maximum < 0 || count > static_cast<uint64_t>(maximum);
}

[[nodiscard]] int64_t value_at(const std::vector<uint32_t>& array, int64_t index) {
  return index >= 0 && static_cast<size_t>(index) < array.size() ? array[static_cast<size_t>(index)]
                                                                 : 0;
}

void scan_reset(StoreData& data) {
  data.bytes_scanned = 0;
  data.gop_accum = 0;
  data.max_frame_bytes = 0;
  data.last_frame = -1;
  data.open_gop = -1;
  data.slice_count = 0;
  data.max_slices_per_frame = 0;
  data.slice_codes_seen = 0;
  data.scan_reset_pending = false;
  data.origin = VideoOrigin{};
  store_at(data.frame_first_slice, 0, 0);
  store_at(data.gop_first_frame, 0, 0);
}

}  // namespace

StartCodeScanner::StartCodeScanner(AnalysisStore& store, Messages& messages)
    : store_(store), messages_(messages), block_(kBlockSize) {}

void StartCodeScanner::attach(ByteInput* input) {
  input_ = input;
  if (input_ != nullptr) input_->rewind();
  demux_.reset();
  block_pos_ = block_end_ = run_pos_ = run_end_ = 0;
  at_end_ = false;
  priming_pending_ = false;
  // Patterns of a new file never begin in the bytes of the one before.
  window_ = kEmptyWindow;
}

void StartCodeScanner::set_container(Container container) {
  demux_ = make_demux(container);
  // An elementary stream is one video stream; a container tells its own as it is walked.
  const int32_t streams = container == Container::kElementary ? 1 : 0;
  store_.update([=](StoreData& data) { data.origin = VideoOrigin{container, -1, streams}; });
}

void StartCodeScanner::measure_picture() {
  const bool reset = store_.update([](StoreData& data) {
    if (!data.scan_reset_pending) return false;
    scan_reset(data);
    return true;
  });
  // The reset call's three bytes are read with the first measuring call, once the kind of
  // stream is known, so that a system stream's first bytes go through the demultiplexer.
  if (reset) {
    priming_pending_ = true;
  } else {
    measure();
  }
}

void StartCodeScanner::prime() {
  priming_pending_ = false;
  for (int left = kPrimingBytes; left > 0; --left) {
    if (run_pos_ < run_end_) {
      window_ = (window_ << 8) | block_[run_pos_++];
      continue;
    }
    // A failed read here is reported by the measuring loop, which reads again.
    if (block_pos_ == block_end_ && !fill_block()) return;
    const uint8_t* byte = block_.data() + block_pos_++;
    if (!demux_ || demux_->feed({byte, 1}).payload_size == 1) {
      window_ = (window_ << 8) | *byte;
    }
  }
}

void StartCodeScanner::measure() {
  if (priming_pending_) prime();
  picture_bytes_ = 0;
  slice_bytes_ = 0;
  for (;;) {
    if (run_pos_ == run_end_) {
      if (next_run()) continue;
      // Reported once: after it the input stays at its end.
      if (!at_end_ && input_ != nullptr && input_->read_failed()) {
        messages_.message_box(kReadErrorText);
      }
      at_end_ = true;
      close_gop();
      break;
    }
    const size_t at = find_code();
    count(at - run_pos_);
    if (at == run_end_) {
      run_pos_ = at;
      continue;
    }
    run_pos_ = at + 1;
    if (take_code_byte(static_cast<uint8_t>(window_))) break;
  }
  record_frame();
}

bool StartCodeScanner::fill_block() {
  if (at_end_ || input_ == nullptr) return false;
  block_pos_ = 0;
  block_end_ = input_->read_some(block_.data(), block_.size());
  return block_end_ > 0;
}

bool StartCodeScanner::next_run() {
  for (;;) {
    if (block_pos_ == block_end_ && !fill_block()) return false;
    if (!demux_) {
      run_pos_ = block_pos_;
      run_end_ = block_end_;
      block_pos_ = block_end_;
      return true;
    }
    // Headers and other streams are counted, never searched.
    const auto step = demux_->feed({block_.data() + block_pos_, block_end_ - block_pos_});
    if (step.payload_size == 0) {
      count(step.consumed);
      block_pos_ += step.consumed;
      continue;
    }
    count(step.payload_offset);
    run_pos_ = block_pos_ + step.payload_offset;
    run_end_ = run_pos_ + step.payload_size;
    block_pos_ += step.consumed;
    return true;
  }
}

size_t StartCodeScanner::find_code() {
  const uint8_t* data = block_.data();
  size_t at = run_pos_;
  // The first bytes of a run complete the window that the bytes before the run began.
  for (const size_t head_end = std::min(run_pos_ + 3, run_end_); at < head_end; ++at) {
    window_ = (window_ << 8) | data[at];
    if (holds_code(window_)) return at;
  }
  if (at == run_end_) return at;
  const uint8_t* found = find_in_block(data + at, data + run_end_);
  window_ = load_window(found == data + run_end_ ? found - 1 : found);
  return static_cast<size_t>(found - data);
}

void StartCodeScanner::count(uint64_t n) {
  picture_bytes_ += n;
  slice_bytes_ += n;
  unflushed_ += n;
}

bool StartCodeScanner::take_code_byte(uint8_t code) {
  ++picture_bytes_;
  ++unflushed_;
  if (code == kGroupCode) {
    close_gop();
  } else if (code != kPictureCode) {
    record_slice();
  }
  ++slice_bytes_;
  return code == kPictureCode;
}

void StartCodeScanner::flush_counts(StoreData& data) {
  if (demux_) data.origin = demux_->origin();
  data.bytes_scanned += unflushed_;
  data.gop_accum += unflushed_;
  unflushed_ = 0;
}

void StartCodeScanner::close_gop() {
  store_.update([this](StoreData& data) {
    flush_counts(data);
    if (data.open_gop >= 0) {
      const int64_t next_first = int64_t{data.last_frame} + 1;
      store_at(data.gop_first_frame, data.open_gop + 1, static_cast<uint32_t>(next_first));
      store_at(data.gop_bytes, data.open_gop, saturate<uint32_t>(data.gop_accum));
      const int64_t frames = next_first - value_at(data.gop_first_frame, data.open_gop);
      if (frames >= data.max_frames_per_gop) {
        data.max_frames_per_gop = static_cast<int32_t>(frames);
      }
    }
    ++data.open_gop;
    if (data.gop_chart.auto_scale && exceeds(data.gop_accum, data.max_gop_bytes)) {
      data.max_gop_bytes = saturate<int32_t>(data.gop_accum);
      store_.gop_max_changed = true;
    }
    data.gop_accum = 0;
  });
  store_.signal_gop_closed();
}

void StartCodeScanner::record_slice() {
  store_.update([this](StoreData& data) {
    flush_counts(data);
    if (data.slice_codes_seen != 0) {
      store_at(data.slice_bytes, data.slice_count, saturate<uint32_t>(slice_bytes_));
      ++data.slice_count;
    }
    if (data.slice_chart.auto_scale && exceeds(slice_bytes_, data.max_slice_bytes)) {
      data.max_slice_bytes = saturate<int32_t>(slice_bytes_);
    }
    ++data.slice_codes_seen;
  });
  slice_bytes_ = 0;
}

void StartCodeScanner::record_frame() {
  const int32_t type = store_.current_picture_type.load();
  store_.update([this, type](StoreData& data) {
    flush_counts(data);
    const bool filtered = (type == kIPicture && data.filter_i) ||
                          (type == kPPicture && data.filter_p) ||
                          (type == kBPicture && data.filter_b);
    if (filtered) return;
    if (type != kNoPicture) ++data.last_frame;
    const int32_t frame = data.last_frame;
    if (frame >= 0) {
      store_at(data.frame_first_slice, int64_t{frame} + 1, static_cast<uint32_t>(data.slice_count));
      store_at(data.frame_bytes, frame, saturate<uint32_t>(picture_bytes_));
      store_at(data.frame_types, frame, static_cast<uint32_t>(type));
      if (frame >= 1) {
        const int64_t slices =
            value_at(data.frame_first_slice, frame) - value_at(data.frame_first_slice, frame - 1);
        if (slices >= data.max_slices_per_frame) {
          data.max_slices_per_frame = static_cast<int32_t>(slices);
        }
      }
    }
    if (data.frame_chart.auto_scale && exceeds(picture_bytes_, data.max_frame_bytes)) {
      data.max_frame_bytes = saturate<int32_t>(picture_bytes_);
      store_.frame_max_changed = true;
    }
  });
}

}  // namespace tavik
