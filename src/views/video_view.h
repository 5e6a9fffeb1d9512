#pragma once

#include <QImage>
#include <QWidget>
#include <array>
#include <cstdint>

#include "playback/playback_controller.h"
#include "views/printing.h"

namespace tavik::gui {

// The video window: the latest picture handed to the display, at 1:1 or scaled to fit the
// window. Its first paint opens the session and decodes the first picture; the window is then
// sized to the picture.
class VideoView final : public QWidget, public PrintableView {
  Q_OBJECT

 public:
  VideoView(PlaybackController& controller, QWidget* parent = nullptr);

  void set_true_colour(bool on);
  // Scaled to fit the window (proportions kept), or at 1:1.
  void set_fit(bool on);
  [[nodiscard]] bool fit() const { return fit_; }
  // The picture as the window paints it (for tests and printing).
  [[nodiscard]] QImage current_image();
  [[nodiscard]] QSize sizeHint() const override;
  // The picture at its display size.
  [[nodiscard]] PrintedView printed() override;

 signals:
  // The first picture of a session is shown; the window wants horizontal_size x vertical_size.
  void picture_size_known(QSize size);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  // Turns a newly published picture into image_.
  void take_picture();

  PlaybackController& controller_;
  bool true_colour_ = false;
  bool fit_ = false;
  QImage image_;  // RGB32, top-down
  uint64_t serial_ = 0;
  QSize picture_size_;
  int palette_matrix_ = -1;
  std::array<QRgb, 256> colours_{};
};

}  // namespace tavik::gui
