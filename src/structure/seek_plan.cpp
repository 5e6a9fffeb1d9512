#include "structure/seek_plan.h"

#include "base/picture_type.h"

namespace tavik {

namespace {

// The pictures of the frame starting at `picture`: two field pictures, or one.
[[nodiscard]] uint32_t frame_end(const StreamIndex& index, uint32_t picture) {
  const auto count = uint32_t(index.pictures.size());
  if (index.pictures[picture].structure != 3 && picture + 1 < count &&
      index.pictures[picture + 1].structure != 3) {
    return picture + 2;
  }
  return picture + 1;
}

// Hands `seen` the first picture of each frame a decode from `start` shows, in display order,
// with its position: a B frame at once, a reference frame when the next one is decoded (the
// last one at the end). Stops when `seen` returns true.
template <typename Seen>
void display_order(const StreamIndex& index, uint32_t start, Seen&& seen) {
  const auto count = uint32_t(index.pictures.size());
  uint64_t position = 0;
  std::optional<uint32_t> held;
  for (uint32_t p = start; p < count;) {
    const uint32_t end = frame_end(index, p);
    const bool b_frame = index.pictures[end - 1].type == kBPicture;
    if (b_frame && p != start) {
      if (seen(p, position++)) return;
    } else if (!b_frame) {
      if (held && seen(*held, position++)) return;
      held = p;
    }
    p = end;
  }
  if (held) seen(*held, position);
}

// The group holding `picture`, or one before it, that starts with an I picture.
[[nodiscard]] std::optional<uint32_t> intra_group(const StreamIndex& index, uint32_t group) {
  for (;; --group) {
    if (index.pictures[index.groups[group].first_picture].type == kIPicture) return group;
    if (group == 0) return std::nullopt;
  }
}

// A B picture with no reference frame coded between it and its group's first picture.
[[nodiscard]] bool leading_b(const StreamIndex& index, uint32_t picture) {
  const uint32_t first = index.groups[index.pictures[picture].group].first_picture;
  if (index.pictures[picture].type != kBPicture) return false;
  for (uint32_t p = frame_end(index, first); p < picture; ++p) {
    if (index.pictures[p].type != kBPicture) return false;
  }
  return true;
}

}  // namespace

std::optional<SeekPlan> plan_seek(const StreamIndex& index, uint32_t picture) {
  if (picture >= index.pictures.size()) return std::nullopt;
  std::optional<uint32_t> group = intra_group(index, index.pictures[picture].group);
  if (group && leading_b(index, picture) && *group > 0) group = intra_group(index, *group - 1);
  if (!group) return std::nullopt;
  SeekPlan plan{index.groups[*group].first_picture, 0};
  bool found = false;
  display_order(index, plan.start_picture, [&](uint32_t first, uint64_t position) {
    found = first <= picture && picture < frame_end(index, first);
    plan.frames_before = position;
    return found;
  });
  return found ? std::optional(plan) : std::nullopt;
}

std::optional<uint32_t> picture_of_frame(const StreamIndex& index, uint64_t frame) {
  std::optional<uint32_t> found;
  if (index.pictures.empty()) return found;
  display_order(index, 0, [&](uint32_t first, uint64_t position) {
    if (position == frame) found = first;
    return position == frame;
  });
  return found;
}

uint64_t frame_count(const StreamIndex& index) {
  uint64_t frames = 0;
  if (index.pictures.empty()) return frames;
  display_order(index, 0, [&frames](uint32_t, uint64_t) { return ++frames, false; });
  return frames;
}

std::vector<VideoRange> seek_ranges(const StreamIndex& index, uint32_t start_picture) {
  const PictureEntry& picture = index.pictures[start_picture];
  const GroupEntry& group = index.groups[picture.group];
  const uint64_t begin = group.first_header != kNoIndex && group.first_picture == start_picture
                             ? index.headers[group.first_header].byte
                             : index.picture_byte(start_picture);
  const uint64_t end = index.video_size();
  if (picture.sequence_header == kNoIndex) return {{begin, end}};
  const uint32_t head = picture.sequence_header;
  uint32_t after = head + 1;
  while (after < index.headers.size() && index.headers[after].owner_kind == Owner::kSequence &&
         index.headers[after].kind != HeaderKind::kSequenceHeader &&
         index.headers[after].kind != HeaderKind::kSequenceEnd) {
    ++after;
  }
  const uint64_t run_end = after < index.headers.size() ? index.headers[after].byte : end;
  if (run_end >= begin) return {{index.headers[head].byte, end}};
  return {{index.headers[head].byte, run_end}, {begin, end}};
}

}  // namespace tavik
