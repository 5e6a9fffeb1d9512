#include "views/timing_chart_view.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QThreadPool>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <mutex>
#include <optional>

#include "render/scene_painter.h"
#include "views/chart_area.h"

namespace tavik::gui {

// What a computation leaves for the window; busy while one runs.
struct TimingChartView::Mailbox {
  std::mutex mutex;
  std::optional<Figures> figures;
  bool busy = false;
};

TimingChartView::TimingChartView(WindowKind kind, std::shared_ptr<const TimingShare> timing,
                                 const TimingChartSettings& settings, ViewActions& actions,
                                 QWidget* parent)
    : QAbstractScrollArea(parent),
      kind_(kind),
      timing_(std::move(timing)),
      actions_(actions),
      settings_(settings),
      mailbox_(std::make_shared<Mailbox>()) {
  set_up_chart_area(*this, Qt::Horizontal);
  connect(&poll_timer_, &QTimer::timeout, this, &TimingChartView::poll);
  poll_timer_.start(100);
  poll();
}

void TimingChartView::set_settings(const TimingChartSettings& settings) {
  settings_ = settings;
  settings_changed_ = true;
  poll();
  viewport()->update();
}

// Takes finished figures, and starts a computation when the timing or the moving average's
// window has changed since the last one.
void TimingChartView::poll() {
  {
    std::lock_guard lock(mailbox_->mutex);
    if (mailbox_->figures) {
      figures_ = std::move(*mailbox_->figures);
      mailbox_->figures.reset();
      viewport()->update();
    }
    const uint64_t serial = timing_->serial();
    if (mailbox_->busy || (serial == asked_serial_ && !settings_changed_)) return;
    mailbox_->busy = true;
    asked_serial_ = serial;
    settings_changed_ = false;
  }
  QThreadPool::globalInstance()->start([mailbox = mailbox_, timing = timing_,
                                        vbv = kind_ == WindowKind::kVbv,
                                        window = settings_.moving] {
    const PictureTimeline timeline = timing->copy();
    Figures figures;
    figures.pictures = int64_t(timeline.pictures().size());
    if (vbv) {
      figures.vbv = model_vbv(timeline);
    } else {
      figures.bitrate = bitrate_report(timeline, window);
      figures.nominal = nominal_bit_rate(timeline.sequence());
      figures.problem = timeline.problem();
    }
    std::lock_guard lock(mailbox->mutex);
    mailbox->figures = std::move(figures);
    mailbox->busy = false;
  });
}

TimingChartSettings TimingChartView::zoomed() const {
  TimingChartSettings settings = settings_;
  settings.pixels_per_second =
      int32_t(std::clamp(std::round(settings_.pixels_per_second * zoom_), 1.0, 100000.0));
  return settings;
}

ChartScene TimingChartView::build(int scroll_x) const {
  const QtTextMetrics metrics(font());
  const ChartWindow window{width(), height(), 0,
                           ViewRegion{scroll_x, 0, viewport()->width(), viewport()->height()}};
  if (kind_ == WindowKind::kVbv) return build_vbv_chart(figures_.vbv, zoomed(), window, metrics);
  return build_bitrate_chart(figures_.bitrate, figures_.nominal, figures_.problem, zoomed(), window,
                             metrics);
}

void TimingChartView::zoom_at(double factor, int pointer_x) {
  const double before = zoomed().pixels_per_second;
  zoom_ = std::clamp(zoom_ * factor, 1.0 / 64, 64.0);
  const double after = zoomed().pixels_per_second;
  // The time under the pointer stays under it.
  const double time = (horizontalScrollBar()->value() + pointer_x - kTimingChartLeft) / before;
  const int wanted = std::max(0, int(std::lround(kTimingChartLeft + time * after)) - pointer_x);
  const ChartScene scene = build(0);
  horizontalScrollBar()->setRange(0, std::max(0, scene.scroll_width - viewport()->width()));
  horizontalScrollBar()->setValue(wanted);
  viewport()->update();
}

void TimingChartView::paintEvent(QPaintEvent* /*event*/) {
  const int scroll_x = horizontalScrollBar()->value();
  ChartScene scene = build(scroll_x);
  QPainter painter(viewport());
  paint_scene(painter, scene, QPoint(scroll_x, 0));
  horizontalScrollBar()->setRange(0, std::max(0, scene.scroll_width - viewport()->width()));
  horizontalScrollBar()->setPageStep(viewport()->width());
  horizontalScrollBar()->setSingleStep(std::max(1, viewport()->width() / 10));
  if (parentWidget() != nullptr && parentWidget()->windowTitle() != scene.title.c_str()) {
    parentWidget()->setWindowTitle(QString::fromStdString(scene.title));
  }
  last_scene_ = std::move(scene);
  last_scene_.items.clear();
}

QString TimingChartView::click_message(QPoint point) const {
  const int x = point.x() + horizontalScrollBar()->value();
  if (kind_ == WindowKind::kVbv) {
    const std::optional<VbvPicture> picture = vbv_picture_at(figures_.vbv, zoomed(), x);
    return picture ? QString::fromStdString(vbv_message(*picture)) : QString();
  }
  const ChartHit hit = hit_test(last_scene_, x, point.y());
  if (hit.kind != HitKind::kBar) return {};
  return QString::fromStdString(bitrate_message(figures_.bitrate, settings_, hit.index));
}

void TimingChartView::mousePressEvent(QMouseEvent* event) {
  const QString text = click_message(event->position().toPoint());
  if (!text.isEmpty()) actions_.show_information(text);
  QAbstractScrollArea::mousePressEvent(event);
}

void TimingChartView::mouseMoveEvent(QMouseEvent* event) {
  const bool over = !click_message(event->position().toPoint()).isEmpty();
  viewport()->setCursor(over ? Qt::PointingHandCursor : Qt::ArrowCursor);
  QAbstractScrollArea::mouseMoveEvent(event);
}

void TimingChartView::wheelEvent(QWheelEvent* event) {
  if (const std::optional<double> factor = zoom_step(*event)) {
    zoom_at(*factor, int(event->position().x()));
  } else {
    QAbstractScrollArea::wheelEvent(event);
  }
}

void TimingChartView::keyPressEvent(QKeyEvent* event) {
  if (const std::optional<double> factor = zoom_step(*event, zoom_)) {
    zoom_at(*factor, viewport()->width() / 2);
  } else {
    QAbstractScrollArea::keyPressEvent(event);
  }
}

void TimingChartView::export_picture(bool svg) {
  const int scroll_x = horizontalScrollBar()->value();
  actions_.export_picture(build(scroll_x), viewport()->size(), QPoint(scroll_x, 0), svg);
}

void TimingChartView::contextMenuEvent(QContextMenuEvent* event) {
  show_export_menu(*this, this, event->globalPos());
}

}  // namespace tavik::gui
