// The chart command's renderer: Qt's offscreen platform draws the scenes into PNG or SVG files.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstdlib>

#include "cli/chart_renderer.h"
#include "render/scene_painter.h"

namespace tavik::cli {

namespace {

class QtChartRenderer final : public ChartRenderer {
 public:
  QtChartRenderer()
      : application_((setenv("QT_QPA_PLATFORM", "offscreen", 0), argc_), argv_),
        metrics_(QGuiApplication::font()) {}

  [[nodiscard]] const TextMetrics& metrics() const override { return metrics_; }

  [[nodiscard]] bool save(const ChartScene& scene, int width, int height,
                          const std::string& path) const override {
    return save_scene(scene, QSize(width, height), QString::fromStdString(path),
                      QGuiApplication::font());
  }

  [[nodiscard]] bool save_over(const ChartScene& scene, int width, int height,
                               std::span<const uint32_t> pixels,
                               const std::string& path) const override {
    QImage image =
        QImage(reinterpret_cast<const uchar*>(pixels.data()), width, height, QImage::Format_RGB32)
            .copy();
    QPainter painter(&image);
    paint_scene(painter, scene);
    painter.end();
    return image.save(QString::fromStdString(path), "PNG");
  }

 private:
  // The application keeps references to these.
  int argc_ = 1;
  char name_[10] = "tavik-cli";
  char* argv_[2] = {name_, nullptr};
  QGuiApplication application_;
  QtTextMetrics metrics_;
};

}  // namespace

}  // namespace tavik::cli

extern "C" [[gnu::visibility("default")]] tavik::cli::ChartRenderer* tavik_create_chart_renderer() {
  return new tavik::cli::QtChartRenderer();
}
