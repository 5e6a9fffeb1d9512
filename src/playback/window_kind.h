#pragma once

namespace tavik {

// The eight kinds of child window, numbered as the application registers them.
enum class WindowKind : int {
  video = 0,
  frame_chart = 1,
  frame_list = 2,
  gop_chart = 3,
  gop_list = 4,
  slice_chart = 5,
  slice_list = 6,
  statistics = 7,
};

inline constexpr int kWindowKinds = 8;

[[nodiscard]] constexpr int index_of(WindowKind kind) {
  return static_cast<int>(kind);
}

}  // namespace tavik
