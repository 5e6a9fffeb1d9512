#pragma once

#include <span>
#include <string_view>

#include "charts/scene.h"
#include "decoder/picture/macroblock_record.h"
#include "decoder/picture/macroblock_statistics.h"

namespace tavik {

// The overlays of the video window, each drawn over the frame when its bit is set.
enum OverlayLayer : unsigned {
  kOverlayGrid = 1,
  kOverlayTypes = 2,
  kOverlayVectors = 4,
  kOverlayQuantiser = 8,
  kOverlayBits = 16,
};

// The overlay names ("grid", "types", "vectors", "quantiser", "bits") and their layers.
struct OverlayName {
  std::string_view name;
  OverlayLayer layer;
};
inline constexpr OverlayName kOverlayNames[] = {{"grid", kOverlayGrid},
                                                {"types", kOverlayTypes},
                                                {"vectors", kOverlayVectors},
                                                {"quantiser", kOverlayQuantiser},
                                                {"bits", kOverlayBits}};

// The colour of each macroblock category (MacroblockCategory order) and its legend text.
inline constexpr Rgb kCategoryColours[] = {{255, 0, 0},   {0, 0, 255},     {0, 160, 0},
                                           {255, 160, 0}, {128, 128, 128}, {255, 0, 255}};
inline constexpr std::string_view kCategoryNames[] = {"intra",         "forward", "backward",
                                                      "bidirectional", "skipped", "not decoded"};
inline constexpr uint8_t kTypeAlpha = 96;
inline constexpr uint8_t kHeatAlpha = 128;
inline constexpr Rgb kGridColour = kLightGrey;
inline constexpr Rgb kForwardVectorColour{0, 255, 255};
inline constexpr Rgb kBackwardVectorColour{255, 255, 0};
// The quantiser that takes the hottest colour.
inline constexpr int kHottestQuantiser = 62;

// Blue (0) through green and yellow to red (1).
[[nodiscard]] Rgb heat_colour(double t);

// The layers asked for, drawn over a frame of width x height luminance samples from the
// pictures decoded into it (a frame picture, or its two field pictures in decoding order), in
// frame coordinates. Macroblocks of no picture are left bare; the types layer shows those a
// damaged slice lost as not decoded. The heat maps go from the picture's lowest bit count (or
// quantiser 1) to its highest (or kHottestQuantiser). Vectors are arrows from the centre of the
// block they predict (of each half, with two vectors) to where its prediction is taken from.
[[nodiscard]] ChartScene macroblock_overlay(std::span<const PictureMacroblocks> pictures, int width,
                                            int height, unsigned layers);

// The types' legend in the frame's top-left corner: a swatch and the name of each category, a
// line each.
void add_type_legend(ChartScene& scene, const TextMetrics& metrics);

}  // namespace tavik
