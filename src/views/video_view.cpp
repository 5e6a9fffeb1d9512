#include "views/video_view.h"

#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <algorithm>
#include <cstring>

#include "charts/macroblock_lookup.h"
#include "charts/macroblock_overlay.h"
#include "display/palette.h"
#include "render/scene_painter.h"

namespace tavik::gui {

VideoView::VideoView(PlaybackController& controller, QWidget* parent)
    : QWidget(parent), controller_(controller), slider_(new QSlider(Qt::Horizontal, this)) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  // Each frame shown is decoded from the start of its group: only where the slider stops.
  slider_->setTracking(false);
  slider_->setMaximum(0);
  slider_->hide();
  connect(slider_, &QSlider::valueChanged, this, [this](int frame) { emit frame_chosen(frame); });
  // Without the frame count there is nowhere to move to: a press asks for the first frame, and
  // the measure that gives the count.
  connect(slider_, &QSlider::sliderPressed, this, [this] {
    if (slider_->maximum() == 0) emit frame_chosen(0);
  });
  controller_.video_view_created();
}

void VideoView::set_slider(bool on) {
  slider_->setVisible(on);
  place_slider();
  updateGeometry();
  update();
}

void VideoView::set_frames(uint64_t frames) {
  const QSignalBlocker quiet(slider_);
  slider_->setMaximum(int(std::min<uint64_t>(frames > 0 ? frames - 1 : 0, INT32_MAX)));
}

int VideoView::slider_height() const {
  return slider_->sizeHint().height();
}

QSize VideoView::picture_area() const {
  return size() - QSize(0, slider_->isHidden() ? 0 : slider_height());
}

void VideoView::resizeEvent(QResizeEvent* /*event*/) {
  place_slider();
}

void VideoView::place_slider() {
  slider_->setGeometry(0, height() - slider_height(), width(), slider_height());
}

void VideoView::set_true_colour(bool on) {
  true_colour_ = on;
  serial_ = 0;
  controller_.set_true_colour(on);
  update();
}

void VideoView::set_overlays(unsigned layers) {
  overlays_ = layers;
  overlay_stale_ = true;
  update();
}

void VideoView::set_fit(bool on) {
  fit_ = on;
  update();
}

QSize VideoView::sizeHint() const {
  const QSize picture = picture_size_.isValid() ? picture_size_ : QSize(352, 288);
  return picture + QSize(0, slider_->isHidden() ? 0 : slider_height());
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
  if (fit_ && picture_size_.isValid()) {
    // Nearest-sample scaling: cheap enough for every picture of a fast playback. The overlays
    // are laid out in picture samples and scaled with it.
    const QSize scaled = picture_size_.scaled(picture_area(), Qt::KeepAspectRatio);
    painter.scale(double(scaled.width()) / picture_size_.width(),
                  double(scaled.height()) / picture_size_.height());
    painter.drawImage(QPoint(0, 0), image_, QRect(QPoint(0, 0), picture_size_));
  } else {
    painter.drawImage(0, 0, image_);
  }
  if (overlays_ == 0) return;
  if (overlay_stale_) {
    overlay_ = macroblock_overlay(pictures_, image_.width(), image_.height(), overlays_);
    if (overlays_ & kOverlayTypes) add_type_legend(overlay_, QtTextMetrics(font()));
    overlay_stale_ = false;
  }
  paint_scene(painter, overlay_);
}

QPoint VideoView::picture_point(QPoint window_point) const {
  if (!fit_ || !picture_size_.isValid()) return window_point;
  const QSize scaled = picture_size_.scaled(picture_area(), Qt::KeepAspectRatio);
  if (scaled.isEmpty()) return window_point;
  return {window_point.x() * picture_size_.width() / scaled.width(),
          window_point.y() * picture_size_.height() / scaled.height()};
}

void VideoView::mousePressEvent(QMouseEvent* event) {
  if (!(event->modifiers() & Qt::ControlModifier)) {
    QWidget::mousePressEvent(event);
    return;
  }
  const QString text = macroblock_at(picture_point(event->position().toPoint()));
  QToolTip::showText(event->globalPosition().toPoint(),
                     text.isEmpty() ? QStringLiteral("No macroblock record: turn an overlay on "
                                                     "and decode a picture")
                                    : text,
                     this);
}

QString VideoView::macroblock_at(QPoint position) {
  take_picture();
  return QString::fromStdString(
      macroblock_text(pictures_, tavik::macroblock_at(pictures_, position.x(), position.y())));
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
    take_macroblocks(shown);
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

// Copies the records only while an overlay or the Picture window asks for them.
void VideoView::take_macroblocks(const ShownPicture& shown) {
  overlay_stale_ = true;
  macroblocks_ = shown.macroblocks;
  pictures_.clear();
  for (KeptPicture& kept : macroblocks_) {
    kept.picture.records = kept.records;
    pictures_.push_back(kept.picture);
  }
}

}  // namespace tavik::gui
