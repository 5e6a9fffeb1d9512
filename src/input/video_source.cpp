#include "input/video_source.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "base/fatal_error.h"

namespace tavik {

namespace {
constexpr size_t kRawBlockSize = 1 << 16;
constexpr uint8_t kEndCode[4] = {0x00, 0x00, 0x01, 0xB7};
}  // namespace

void fill_end_codes(uint8_t* dst, size_t n, uint64_t given) {
  for (size_t i = 0; i < n; ++i) dst[i] = kEndCode[(given + i) & 3];
}

size_t ElementarySource::read(uint8_t* dst, size_t n) {
  if (!at_end_) {
    const size_t got = input_.read_some(dst, n);
    if (got > 0) {
      if (observer_ != nullptr) observer_->video_payload(offset_, offset_, got);
      offset_ += got;
      return got;
    }
    at_end_ = true;
  }
  // Zeros up to the next multiple of four bytes of the file, then end codes.
  const uint64_t zeros = (4 - (offset_ & 3)) & 3;
  size_t written = 0;
  while (written < n && padding_ < zeros) {
    dst[written++] = 0;
    ++padding_;
  }
  fill_end_codes(dst + written, n - written, padding_ - zeros);
  padding_ += n - written;
  return n;
}

ContainerSource::ContainerSource(ByteInput& input, std::unique_ptr<ContainerDemux> demux)
    : input_(input), demux_(std::move(demux)), block_(kRawBlockSize) {}

size_t ContainerSource::read(uint8_t* dst, size_t n) {
  size_t written = 0;
  while (written < n) {
    if (pending_size_ > 0) {
      const size_t take = std::min(pending_size_, n - written);
      std::memcpy(dst + written, block_.data() + pending_pos_, take);
      pending_pos_ += take;
      pending_size_ -= take;
      written += take;
      continue;
    }
    if (demux_->ended() || demux_->failed() || input_ended_) break;
    if (block_pos_ == block_end_) {
      block_offset_ += block_end_;
      block_end_ = input_.read_some(block_.data(), block_.size());
      block_pos_ = 0;
      if (block_end_ == 0) {
        input_ended_ = true;
        break;
      }
    }
    const auto step = demux_->feed({block_.data() + block_pos_, block_end_ - block_pos_});
    pending_pos_ = block_pos_ + step.payload_offset;
    pending_size_ = step.payload_size;
    if (timestamps_ != nullptr && step.packet_start) {
      timestamps_->packet(static_cast<int64_t>(video_given_), step.stamps);
    }
    if (observer_ != nullptr && pending_size_ > 0) {
      observer_->video_payload(video_given_, block_offset_ + pending_pos_, pending_size_);
    }
    video_given_ += pending_size_;
    video_found_ = video_found_ || pending_size_ > 0;
    block_pos_ += step.consumed;
  }
  if (written > 0) return written;
  if (demux_->failed()) throw FatalError(demux_->error());
  fill_end_codes(dst, n, padding_);
  padding_ += n;
  return n;
}

}  // namespace tavik
