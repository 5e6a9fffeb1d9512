#pragma once

namespace tavik {

// The kinds of child window, numbered as the application registers them.
enum class WindowKind : int {
  kVideo = 0,
  kFrameChart = 1,
  kFrameList = 2,
  kGopChart = 3,
  kGopList = 4,
  kSliceChart = 5,
  kSliceList = 6,
  kStatistics = 7,
  kBitrate = 8,
  kVbv = 9,
  kPicture = 10,
  kStructure = 11,
  kBytes = 12,
  kMessages = 13,
};

// One past the highest kind.
inline constexpr int kWindowKinds = 14;

[[nodiscard]] constexpr int index_of(WindowKind kind) {
  return static_cast<int>(kind);
}

}  // namespace tavik
