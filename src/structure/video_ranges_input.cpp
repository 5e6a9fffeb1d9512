#include "structure/video_ranges_input.h"

#include <algorithm>

namespace tavik {

VideoRangesInput::VideoRangesInput(const StreamIndex& index, const RandomAccess& file,
                                   std::vector<VideoRange> ranges)
    : index_(index), file_(file), ranges_(std::move(ranges)) {
  rewind();
}

void VideoRangesInput::rewind() {
  range_ = 0;
  at_ = ranges_.empty() ? 0 : ranges_.front().begin;
}

size_t VideoRangesInput::read_some(uint8_t* dst, size_t n) {
  while (range_ < ranges_.size() && at_ >= ranges_[range_].end) {
    if (++range_ < ranges_.size()) at_ = ranges_[range_].begin;
  }
  if (range_ >= ranges_.size() || n == 0) return 0;
  const uint64_t end = std::min(ranges_[range_].end, at_ + n);
  size_t got = 0;
  for (const PayloadMap::Span& span : index_.payload.file_spans(at_, end)) {
    const size_t read =
        file_.read_at(index_.skipped_bytes + span.file, {dst + got, size_t(span.size)});
    got += read;
    if (read < span.size) {
      // A short read ends this stretch.
      at_ = ranges_[range_].end;
      return got;
    }
  }
  at_ += got;
  return got;
}

}  // namespace tavik
