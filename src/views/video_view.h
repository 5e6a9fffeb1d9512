#pragma once

#include <QImage>
#include <QSlider>
#include <QWidget>
#include <array>
#include <cstdint>
#include <vector>

#include "charts/scene.h"
#include "playback/playback_controller.h"
#include "views/printing.h"

namespace tavik::gui {

// The video window: the latest picture handed to the display, at 1:1 or scaled to fit the
// window, with the macroblock overlays asked for drawn over it. Its first paint opens the session
// and decodes the first picture; the window is then sized to the picture. Ctrl+click on a
// macroblock shows its record.
class VideoView final : public QWidget, public PrintableView {
  Q_OBJECT

 public:
  VideoView(PlaybackController& controller, QWidget* parent = nullptr);

  void set_true_colour(bool on);
  // The OverlayLayer bits drawn over the picture (0: none).
  void set_overlays(unsigned layers);
  // Scaled to fit the window (proportions kept), or at 1:1.
  void set_fit(bool on);
  [[nodiscard]] bool fit() const { return fit_; }
  // The position slider under the picture (hidden unless on), over `frames` frames (display
  // order; 0 while the file's frames are not known: moving it then asks for frame 0).
  void set_slider(bool on);
  void set_frames(uint64_t frames);
  [[nodiscard]] int slider_height() const;
  // The picture as the window paints it, without overlays (for tests and printing).
  [[nodiscard]] QImage current_image();
  // The record of the macroblock at (x, y) of the picture as text; empty when it has none.
  [[nodiscard]] QString macroblock_at(QPoint position);
  // The picture's sample under a point of the window, through the fit's scaling.
  [[nodiscard]] QPoint picture_point(QPoint window_point) const;
  [[nodiscard]] QSize sizeHint() const override;
  // The picture at its display size.
  [[nodiscard]] PrintedView printed() override;

 signals:
  // The first picture of a session is shown; the window wants horizontal_size x vertical_size.
  void picture_size_known(QSize size);
  // The slider was let go at (or stepped to) a frame, in display order.
  void frame_chosen(qint64 frame);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  // Turns a newly published picture into image_ and its records into pictures_.
  void take_picture();
  void take_macroblocks(const ShownPicture& shown);
  // The part of the window the picture is painted in: above the slider.
  [[nodiscard]] QSize picture_area() const;
  void place_slider();

  PlaybackController& controller_;
  bool true_colour_ = false;
  unsigned overlays_ = 0;
  bool fit_ = false;
  QImage image_;  // RGB32, top-down
  uint64_t serial_ = 0;
  QSize picture_size_;
  int palette_matrix_ = -1;
  std::array<QRgb, 256> colours_{};
  std::vector<KeptPicture> macroblocks_;
  std::vector<PictureMacroblocks> pictures_;  // their records point into macroblocks_
  QSlider* slider_;
  ChartScene overlay_;
  bool overlay_stale_ = true;
};

}  // namespace tavik::gui
