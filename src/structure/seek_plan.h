#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "structure/stream_index.h"

namespace tavik {

// How a decode opened part-way through the stream reaches one frame: the picture it starts at
// (the first of a group, an I picture) and how many frames it hands over, in display order,
// before that one.
struct SeekPlan {
  uint32_t start_picture = 0;
  uint64_t frames_before = 0;
};

// The frame holding coded picture `picture` (a field picture: the frame of its pair), decoded
// from the group before its own when it is a B picture coded before the group's first P (the
// leading B pictures of an open group predict from the group before). nullopt when no group
// before it starts with an I picture.
[[nodiscard]] std::optional<SeekPlan> plan_seek(const StreamIndex& index, uint32_t picture);

// The coded picture of frame `frame` in display order, as a decode from the first picture hands
// the frames over (a pair of field pictures is one frame: its first field is given).
[[nodiscard]] std::optional<uint32_t> picture_of_frame(const StreamIndex& index, uint64_t frame);

// The frames a decode from the first picture hands over.
[[nodiscard]] uint64_t frame_count(const StreamIndex& index);

// A stretch of the video elementary stream: [begin, end).
struct VideoRange {
  uint64_t begin = 0;
  uint64_t end = 0;
};

// The video a decode opened at `start_picture` reads: the sequence header in force with its
// extensions (when they do not lie just before the picture's group), then the stream from the
// group on.
[[nodiscard]] std::vector<VideoRange> seek_ranges(const StreamIndex& index, uint32_t start_picture);

}  // namespace tavik
