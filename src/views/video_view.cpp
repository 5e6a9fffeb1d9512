#include "views/video_view.h"

#include <QPainter>
#include <cstring>

#include "display/palette.h"

namespace tavik::gui {

VideoView::VideoView(PlaybackController& controller, QWidget* parent)
    : QWidget(parent), controller_(controller) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  controller_.video_view_created();
}

void VideoView::set_true_colour(bool on) {
  true_colour_ = on;
  serial_ = 0;
  controller_.set_true_colour(on);
  update();
}

void VideoView::set_fit(bool on) {
  fit_ = on;
  update();
}

QSize VideoView::sizeHint() const {
  return picture_size_.isValid() ? picture_size_ : QSize(352, 288);
}

void VideoView::paintEvent(QPaintEvent* /*event*/) {
  if (controller_.video_closed()) return;
  if (!controller_.video_shown()) {
    const bool opened = controller_.first_paint();
    take_picture();
    if (opened && picture_size_.isValid()) emit picture_size_known(picture_size_);
  } else {
    take_picture();
  }
  QPainter painter(this);
  painter.fillRect(rect(), Qt::black);
  if (image_.isNull()) return;
  if (!fit_ || !picture_size_.isValid()) {
    painter.drawImage(0, 0, image_);
    return;
  }
  // Nearest-sample scaling: cheap enough for every picture of a fast playback.
  const QSize scaled = picture_size_.scaled(size(), Qt::KeepAspectRatio);
  painter.drawImage(QRect(QPoint(0, 0), scaled), image_, QRect(QPoint(0, 0), picture_size_));
}

PrintedView VideoView::printed() {
  PrintedView view;
  view.image = current_image();
  if (picture_size_.isValid()) view.image = view.image.copy(QRect(QPoint(0, 0), picture_size_));
  return view;
}

QImage VideoView::current_image() {
  take_picture();
  return image_;
}

void VideoView::take_picture() {
  controller_.read_picture([this](const ShownPicture& shown) {
    if (shown.serial == 0 || shown.serial == serial_) return;
    serial_ = shown.serial;
    picture_size_ = QSize(shown.horizontal_size, shown.vertical_size);
    const bool rgb = true_colour_ && !shown.rgb.pixels.empty();
    const int width = rgb ? shown.rgb.width : shown.image.width;
    const int height = rgb ? shown.rgb.height : shown.image.height;
    if (image_.width() != width || image_.height() != height) {
      image_ = QImage(width, height, QImage::Format_RGB32);
    }
    if (rgb) {
      for (int y = 0; y < height; ++y) {
        std::memcpy(image_.scanLine(y), shown.rgb.pixels.data() + static_cast<size_t>(y) * width,
                    static_cast<size_t>(width) * 4);
      }
      return;
    }
    if (palette_matrix_ != shown.matrix_coefficients) {
      const auto entries = make_palette_entries(shown.matrix_coefficients);
      for (int i = 0; i < kPaletteSize; ++i) {
        colours_[i] = qRgb(entries[i].red, entries[i].green, entries[i].blue);
      }
      palette_matrix_ = shown.matrix_coefficients;
    }
    // The palette indices become colours once per picture, so that a paint is a plain blit;
    // the dithered rows run bottom-up.
    for (int y = 0; y < height; ++y) {
      const uint8_t* indices = shown.image.pixels.data() + static_cast<size_t>(y) * width;
      auto* row = reinterpret_cast<QRgb*>(image_.scanLine(height - 1 - y));
      for (int x = 0; x < width; ++x) row[x] = colours_[indices[x]];
    }
  });
}

}  // namespace tavik::gui
