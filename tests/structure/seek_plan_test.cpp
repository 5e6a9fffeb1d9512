#include "structure/seek_plan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/picture_type.h"

namespace tavik {
namespace {

// An index of pictures alone: one group per string of picture types ("IBBP"), a lower-case
// letter a field picture.
StreamIndex pictures_of(const std::vector<std::string>& groups) {
  StreamIndex index;
  for (const std::string& group : groups) {
    index.groups.push_back({kNoIndex, 0, uint32_t(index.pictures.size()), 0, 0});
    for (const char type : group) {
      PictureEntry picture;
      picture.group = uint32_t(index.groups.size() - 1);
      picture.type = uint8_t(std::string("IPB").find(char(std::toupper(type))) + 1);
      picture.structure = std::islower(type) ? 1 : 3;
      index.pictures.push_back(picture);
    }
  }
  return index;
}

// Decoded from the group's I picture; a leading B picture from the group before; field pairs
// one frame.
TEST(SeekPlan, StartsAtTheIPictureThatMakesTheFrameDecodable) {
  struct Case {
    std::vector<std::string> groups;
    uint32_t picture;
    uint32_t start;
    uint64_t frames_before;
  };
  const Case cases[] = {
      {{"IBBPBBP", "IBBP"}, 4, 0, 3},   // B4: after I0's B1 B2 and I0 itself
      {{"IBBPBBP", "IBBP"}, 8, 0, 7},   // a leading B of the second group
      {{"IBBPBBP", "IBBP"}, 7, 7, 2},   // the I picture: after the two leading B pictures
      {{"IBBPBBP", "IBBP"}, 10, 7, 3},  // the last reference, shown at the end
      {{"IBBPBBP", "IBBP"}, 1, 0, 0},   // leading B of the first group: nothing before it
      {{"IPBB", "ipbbPP"}, 7, 0, 4},    // the second field of a leading B pair: its frame
      {{"IPBB", "ipbbPP"}, 5, 4, 1},    // the I/P field pair, by its second field
      {{"IPBB", "ipbbPP"}, 8, 4, 2},
  };
  for (const Case& c : cases) {
    const StreamIndex index = pictures_of(c.groups);
    const std::optional<SeekPlan> plan = plan_seek(index, c.picture);
    ASSERT_TRUE(plan.has_value()) << c.picture;
    EXPECT_EQ(plan->start_picture, c.start) << c.picture;
    EXPECT_EQ(plan->frames_before, c.frames_before) << c.picture;
  }
  EXPECT_FALSE(plan_seek(pictures_of({"PBB", "IBB"}), 1).has_value());
  EXPECT_FALSE(plan_seek(pictures_of({"IBB"}), 3).has_value());
}

TEST(SeekPlan, NumbersFramesInDisplayOrder) {
  const StreamIndex index = pictures_of({"IBBPBBP", "IBBP"});
  const uint32_t display[] = {1, 2, 0, 4, 5, 3, 6, 8, 9, 7, 10};
  ASSERT_EQ(frame_count(index), std::size(display));
  for (uint64_t frame = 0; frame < std::size(display); ++frame) {
    EXPECT_EQ(picture_of_frame(index, frame), display[frame]) << frame;
  }
  EXPECT_FALSE(picture_of_frame(index, std::size(display)).has_value());
  EXPECT_EQ(frame_count(pictures_of({"ipbb"})), 2u);
}

// The sequence header in force goes in front of a group it is not just before.
TEST(SeekPlan, ReadsTheSequenceHeaderInForceThenTheGroup) {
  StreamIndex index;
  index.payload.add(0, 1000);
  const std::pair<uint64_t, HeaderKind> headers[] = {
      {0, HeaderKind::kSequenceHeader},    {12, HeaderKind::kSequenceExtension},
      {22, HeaderKind::kGroupOfPictures},  {30, HeaderKind::kPictureHeader},
      {500, HeaderKind::kGroupOfPictures}, {508, HeaderKind::kPictureHeader}};
  for (const auto& [byte, kind] : headers) {
    HeaderEntry entry;
    entry.byte = byte;
    entry.kind = kind;
    entry.owner_kind = byte < 22 ? Owner::kSequence : Owner::kGroup;
    index.headers.push_back(entry);
  }
  index.groups = {{2, 1, 0, 0, 2}, {4, 1, 1, 0, 3}};
  index.pictures = {{3, 0, 0, 0, 1, kIPicture}, {5, 0, 1, 0, 1, kIPicture}};
  const auto ranges = [&index](uint32_t picture) {
    std::vector<std::pair<uint64_t, uint64_t>> found;
    for (const VideoRange& range : seek_ranges(index, picture)) {
      found.emplace_back(range.begin, range.end);
    }
    return found;
  };
  using Ranges = std::vector<std::pair<uint64_t, uint64_t>>;
  EXPECT_EQ(ranges(0), (Ranges{{0, 1000}}));
  EXPECT_EQ(ranges(1), (Ranges{{0, 22}, {500, 1000}}));
}

}  // namespace
}  // namespace tavik
