#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "charts/scene.h"

namespace tavik::cli {

// Draws chart scenes into files with Qt, offscreen. It lives in a module that only the chart
// command loads, so that every other command starts without loading the graphics libraries.
class ChartRenderer {
 public:
  virtual ~ChartRenderer() = default;
  [[nodiscard]] virtual const TextMetrics& metrics() const = 0;
  // PNG, or SVG when the path ends in ".svg"; false when the file cannot be written.
  [[nodiscard]] virtual bool save(const ChartScene& scene, int width, int height,
                                  const std::string& path) const = 0;
  // Draws the scene over a picture of width x height pixels (0xAARRGGBB, rows top-down) into a
  // PNG file; false when it cannot be written.
  [[nodiscard]] virtual bool save_over(const ChartScene& scene, int width, int height,
                                       std::span<const uint32_t> pixels,
                                       const std::string& path) const = 0;
};

// The module's entry point, which returns a new renderer.
inline constexpr const char* kChartRendererEntry = "tavik_create_chart_renderer";
using CreateChartRenderer = ChartRenderer* (*)();

// Loads the module from beside the program, or from where it is installed. Null, with the
// reason in `error`, when it cannot be loaded. The module stays loaded until the process ends.
[[nodiscard]] std::unique_ptr<ChartRenderer> load_chart_renderer(std::string& error);

}  // namespace tavik::cli
