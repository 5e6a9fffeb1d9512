#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace tavik {

struct Rgb {
  uint8_t red = 0, green = 0, blue = 0;
  bool operator==(const Rgb&) const = default;
};

inline constexpr Rgb kBlack{0, 0, 0};
inline constexpr Rgb kWhite{255, 255, 255};
inline constexpr Rgb kLightGrey{192, 192, 192};
inline constexpr Rgb kBlue{0, 0, 255};
inline constexpr Rgb kRed{255, 0, 0};
inline constexpr Rgb kGreen{0, 255, 0};
inline constexpr Rgb kMagenta{255, 0, 255};

// A solid pen; bars use rounded end caps, everything else flat ones.
struct Pen {
  Rgb color = kBlack;
  int width = 1;
  bool round_cap = false;
  bool operator==(const Pen&) const = default;
};

struct Line {
  int x0, y0, x1, y1;
  Pen pen{};
  bool operator==(const Line&) const = default;
};

// Border drawn with the pen, inside filled with `fill`; corners inclusive.
struct Rectangle {
  int left, top, right, bottom;
  Pen pen{};
  Rgb fill;
  bool operator==(const Rectangle&) const = default;
};

// Text whose top-left corner is at (x, y), on an opaque `background` box, in the colour
// text_colour_on gives for it.
struct Text {
  int x, y;
  std::string text;
  Rgb background = kWhite;
  bool operator==(const Text&) const = default;
};

struct Point {
  int x, y;
  bool operator==(const Point&) const = default;
};

struct Polyline {
  std::vector<Point> points;
  Pen pen{};
  bool operator==(const Polyline&) const = default;
};

// An area without border, covered with `color` at opacity alpha / 255; corners inclusive.
struct Fill {
  int left, top, right, bottom;
  Rgb color;
  uint8_t alpha = 255;
  bool operator==(const Fill&) const = default;
};

using Primitive = std::variant<Line, Rectangle, Text, Polyline, Fill>;

// Black on light colours, white on dark ones (by the colour's luma), so that a legend reads
// on its own colour. Inline: the drawing module links no layout code.
[[nodiscard]] constexpr Rgb text_colour_on(Rgb background) {
  const int luma = 299 * background.red + 587 * background.green + 114 * background.blue;
  return luma < 128 * 1000 ? kWhite : kBlack;
}

// What a click or hover over a region means.
enum class HitKind { kNone, kInformation, kStatistics, kToggle, kBar };

// A clickable region, bounds inclusive; `index` is the frame, GOP or slice entry of a bar.
struct HitBox {
  int left, top, right, bottom;
  HitKind kind;
  int64_t index = -1;
  bool operator==(const HitBox&) const = default;
};

struct ChartHit {
  HitKind kind = HitKind::kNone;
  int64_t index = -1;
};

// Font measurements the layout depends on; the Qt side passes its font's, tests a fixed pitch.
class TextMetrics {
 public:
  virtual ~TextMetrics() = default;
  [[nodiscard]] virtual int width(std::string_view text) const = 0;
  [[nodiscard]] virtual int line_height() const = 0;
};

// Primitives in drawing order and click regions, all in chart coordinates (the view shifts
// them by its scroll position); the scroll size is the scrollable area the view sets.
struct ChartScene {
  std::vector<Primitive> items;
  std::vector<HitBox> hits;
  std::string title;
  int scroll_width = 1;
  int scroll_height = 1;
};

// The columns [left, left + width) and rows [top, top + height) of chart coordinates in view.
struct ViewRegion {
  int left = 0;
  int top = 0;
  int width = 1 << 29;
  int height = 1 << 29;
};

// True when anything the primitive paints (pen width included) may fall in the region.
[[nodiscard]] bool overlaps(const Primitive& item, const ViewRegion& region,
                            const TextMetrics& metrics);
[[nodiscard]] bool overlaps(const HitBox& box, const ViewRegion& region);

// Appends the item only when it overlaps the region.
void add_visible(ChartScene& scene, Primitive item, const ViewRegion& region,
                 const TextMetrics& metrics);

// The right edge of the scene's rightmost text: the width that shows every text whole.
[[nodiscard]] int text_extent(const ChartScene& scene, const TextMetrics& metrics);

// The first region containing (x, y) in chart coordinates, or kNone.
[[nodiscard]] ChartHit hit_test(const ChartScene& scene, int x, int y);

}  // namespace tavik
