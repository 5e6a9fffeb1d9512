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
  controller_.set_true_colour(on);
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
  if (!image_.isNull()) painter.drawImage(0, 0, image_);
}

QImage VideoView::current_image() {
  take_picture();
  return image_;
}

void VideoView::take_picture() {
  controller_.read_picture([this](const ShownPicture& shown) {
    if (shown.serial == 0) return;
    picture_size_ = QSize(shown.horizontal_size, shown.vertical_size);
    if (true_colour_ && !shown.rgb.pixels.empty()) {
      const RgbImage& rgb = shown.rgb;
      if (image_.format() != QImage::Format_RGB32 || image_.width() != rgb.width ||
          image_.height() != rgb.height) {
        image_ = QImage(rgb.width, rgb.height, QImage::Format_RGB32);
      }
      for (int y = 0; y < rgb.height; ++y) {
        std::memcpy(image_.scanLine(y), rgb.pixels.data() + static_cast<size_t>(y) * rgb.width,
                    static_cast<size_t>(rgb.width) * 4);
      }
      return;
    }
    const PaletteImage& picture = shown.image;
    if (image_.format() != QImage::Format_Indexed8 || image_.width() != picture.width ||
        image_.height() != picture.height) {
      image_ = QImage(picture.width, picture.height, QImage::Format_Indexed8);
      palette_matrix_ = -1;
    }
    if (palette_matrix_ != shown.matrix_coefficients) {
      const auto entries = make_palette_entries(shown.matrix_coefficients);
      colour_table_.resize(kPaletteSize);
      for (int i = 0; i < kPaletteSize; ++i) {
        colour_table_[i] = qRgb(entries[i].red, entries[i].green, entries[i].blue);
      }
      palette_matrix_ = shown.matrix_coefficients;
    }
    image_.setColorTable(colour_table_);
    // The dithered rows run bottom-up.
    for (int y = 0; y < picture.height; ++y) {
      std::memcpy(image_.scanLine(picture.height - 1 - y),
                  picture.pixels.data() + static_cast<size_t>(y) * picture.width,
                  static_cast<size_t>(picture.width));
    }
  });
}

}  // namespace tavik::gui
