#include "structure/payload_map.h"

#include <algorithm>
#include <limits>

namespace tavik {

namespace {
constexpr uint64_t kLargestChunk = std::numeric_limits<uint32_t>::max();
}  // namespace

void PayloadMap::add(uint64_t file, uint64_t size) {
  while (size > 0) {
    if (!runs_.empty()) {
      Run& last = runs_.back();
      const uint64_t last_file = last.file + uint64_t(last.count - 1) * last.stride;
      // Contiguous with a single chunk: the chunk grows.
      if (last.count == 1 && file == last_file + last.chunk && last.chunk < kLargestChunk) {
        const uint64_t take = std::min(size, kLargestChunk - last.chunk);
        last.chunk += uint32_t(take);
        video_size_ += take;
        file += take;
        size -= take;
        continue;
      }
      const uint64_t distance = file - last_file;
      if (size == last.chunk && file > last_file && last.count < kLargestChunk &&
          distance <= kLargestChunk && (last.count == 1 || distance == last.stride)) {
        last.stride = uint32_t(distance);
        ++last.count;
        video_size_ += size;
        return;
      }
    }
    const uint64_t take = std::min(size, kLargestChunk);
    runs_.push_back({video_size_, file, uint32_t(take), 0, 1});
    video_size_ += take;
    file += take;
    size -= take;
  }
}

const PayloadMap::Run* PayloadMap::run_of_video(uint64_t video) const {
  if (video >= video_size_) return nullptr;
  const auto after = std::upper_bound(runs_.begin(), runs_.end(), video,
                                      [](uint64_t v, const Run& run) { return v < run.video; });
  return &*(after - 1);
}

const PayloadMap::Run* PayloadMap::run_of_file(uint64_t file) const {
  const auto after = std::upper_bound(runs_.begin(), runs_.end(), file,
                                      [](uint64_t f, const Run& run) { return f < run.file; });
  return after == runs_.begin() ? nullptr : &*(after - 1);
}

std::optional<uint64_t> PayloadMap::file_offset(uint64_t video) const {
  const Run* run = run_of_video(video);
  if (run == nullptr) return std::nullopt;
  const uint64_t in_run = video - run->video;
  return run->file + (in_run / run->chunk) * run->stride + in_run % run->chunk;
}

std::optional<uint64_t> PayloadMap::video_offset(uint64_t file) const {
  const Run* run = run_of_file(file);
  if (run == nullptr) return std::nullopt;
  const uint64_t in_run = file - run->file;
  const uint64_t index = run->count == 1 ? 0 : in_run / run->stride;
  const uint64_t in_chunk = run->count == 1 ? in_run : in_run % run->stride;
  if (index >= run->count || in_chunk >= run->chunk) return std::nullopt;
  return run->video + index * run->chunk + in_chunk;
}

std::vector<PayloadMap::Span> PayloadMap::file_spans(uint64_t begin, uint64_t end) const {
  std::vector<Span> spans;
  end = std::min(end, video_size_);
  while (begin < end) {
    const Run* run = run_of_video(begin);
    const uint64_t in_run = begin - run->video;
    const uint64_t in_chunk = in_run % run->chunk;
    const uint64_t take = std::min<uint64_t>(run->chunk - in_chunk, end - begin);
    const uint64_t file = run->file + (in_run / run->chunk) * run->stride + in_chunk;
    if (!spans.empty() && spans.back().file + spans.back().size == file) {
      spans.back().size += take;
    } else {
      spans.push_back({file, take});
    }
    begin += take;
  }
  return spans;
}

}  // namespace tavik
