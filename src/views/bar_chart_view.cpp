#include "views/bar_chart_view.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <utility>

#include "charts/bar_mark.h"
#include "render/scene_painter.h"
#include "views/chart_area.h"

namespace tavik::gui {

namespace {

[[nodiscard]] WindowKind list_of(ChartKind kind) {
  switch (kind) {
    case ChartKind::kFrame:
      return WindowKind::kFrameList;
    case ChartKind::kGop:
      return WindowKind::kGopList;
    case ChartKind::kSlice:
      break;
  }
  return WindowKind::kSliceList;
}

[[nodiscard]] StatSource source_of(ChartKind kind) {
  switch (kind) {
    case ChartKind::kFrame:
      return StatSource::kFrames;
    case ChartKind::kGop:
      return StatSource::kGops;
    case ChartKind::kSlice:
      break;
  }
  return StatSource::kSlices;
}

}  // namespace

BarChartView::BarChartView(ChartKind kind, AnalysisStore& store, ViewState& state,
                           ViewActions& actions, QWidget* parent)
    : QAbstractScrollArea(parent),
      kind_(kind),
      store_(store),
      state_(state),
      actions_(actions),
      x_extent_(initial_x_extent(kind)) {
  set_up_chart_area(*this, Qt::Horizontal);
}

int32_t& BarChartView::bar_width_in(StoreData& stored) const {
  switch (kind_) {
    case ChartKind::kFrame:
      return stored.frame_chart.bar_width;
    case ChartKind::kGop:
      return stored.gop_chart.bar_width;
    case ChartKind::kSlice:
      break;
  }
  return stored.slice_chart.bar_width;
}

int32_t BarChartView::zoomed(int32_t bar_width) const {
  const double width = std::round(bar_width * zoom_);
  return static_cast<int32_t>(std::clamp(width, 1.0, double(kMaxBarWidth)));
}

BarChart BarChartView::build(int scroll_x) {
  const QtTextMetrics metrics(font());
  const ChartWindow window{width(), height(), x_extent_,
                           ViewRegion{scroll_x, 0, viewport()->width(), viewport()->height()}};
  BarChart chart = store_.update([&](StoreData& stored) {
    // The zoom widens the bars of this drawing only: the setting stays as configured.
    int32_t& bar_width = bar_width_in(stored);
    const int32_t setting = bar_width;
    bar_width = zoomed(setting);
    BarChart built = build_bar_chart(kind_, stored, state_.chosen, window, metrics);
    bar_width = setting;
    apply_chart_limits(kind_, built, stored);
    return built;
  });
  if (kind_ == ChartKind::kFrame) mark_bar(chart.scene, state_.marked_frame);
  x_extent_ = chart.next_x_extent;
  return chart;
}

QSize BarChartView::sizeHint() const {
  const ChartWindow window{kChartHintWidth, kChartHintHeight, initial_x_extent(kind_),
                           kChartHintRegion};
  // One frame measured: the chart draws its axes, captions and legend.
  StoreData one;
  one.last_frame = 0;
  const QtTextMetrics metrics(font());
  const int width =
      text_extent(build_bar_chart(kind_, one, state_.chosen, window, metrics).scene, metrics);
  return chart_hint(*this, width);
}

void BarChartView::zoom_at(double factor, int pointer_x) {
  const int32_t setting = store_.update([this](StoreData& stored) { return bar_width_in(stored); });
  const int32_t before = zoomed(setting);
  zoom_ = std::clamp(zoom_ * factor, 1.0 / 16, 16.0);
  const int32_t after = zoomed(setting);
  // The bar under the pointer stays under it.
  const double bar = double(horizontalScrollBar()->value() + pointer_x - 30) / before;
  pending_scroll_ = std::max(0, int(std::lround(30 + bar * after)) - pointer_x);
  store_.frame_max_changed = true;
  viewport()->update();
}

void BarChartView::wheelEvent(QWheelEvent* event) {
  if (const std::optional<double> factor = zoom_step(*event)) {
    zoom_at(*factor, int(event->position().x()));
  } else {
    QAbstractScrollArea::wheelEvent(event);
  }
}

void BarChartView::keyPressEvent(QKeyEvent* event) {
  if (const std::optional<double> factor = zoom_step(*event, zoom_)) {
    zoom_at(*factor, viewport()->width() / 2);
  } else {
    QAbstractScrollArea::keyPressEvent(event);
  }
}

void BarChartView::paintEvent(QPaintEvent* /*event*/) {
  const int scroll_x = horizontalScrollBar()->value();
  BarChart chart = build(scroll_x);
  // The axes run to the extent of the last layout: after a resize, lay out once more for the
  // new size.
  if (std::exchange(resized_, false)) chart = build(scroll_x);
  QPainter painter(viewport());
  paint_scene(painter, chart.scene, QPoint(scroll_x, 0));
  horizontalScrollBar()->setRange(0, std::max(0, chart.scene.scroll_width - viewport()->width()));
  horizontalScrollBar()->setPageStep(viewport()->width());
  horizontalScrollBar()->setSingleStep(std::max(1, chart.scene.scroll_width / 100));
  if (pending_scroll_ >= 0) {
    const int wanted = std::min(pending_scroll_, horizontalScrollBar()->maximum());
    pending_scroll_ = -1;
    if (wanted != scroll_x) {
      horizontalScrollBar()->setValue(wanted);
      viewport()->update();
    }
  }
  if (parentWidget() != nullptr && parentWidget()->windowTitle() != chart.scene.title.c_str()) {
    parentWidget()->setWindowTitle(QString::fromStdString(chart.scene.title));
  }
  last_scene_ = std::move(chart.scene);
  last_scene_.items.clear();
}

ChartHit BarChartView::hit_at(QPoint point) const {
  return hit_test(last_scene_, point.x() + horizontalScrollBar()->value(), point.y());
}

void BarChartView::mousePressEvent(QMouseEvent* event) {
  const ChartHit hit = hit_at(event->position().toPoint());
  switch (hit.kind) {
    case HitKind::kInformation:
      actions_.open_if_closed(list_of(kind_));
      break;
    case HitKind::kStatistics:
      // The chart's source stays chosen even when the dialog is cancelled.
      state_.statistics.source = source_of(kind_);
      actions_.run_statistics();
      break;
    case HitKind::kBar: {
      const std::string text = store_.read(
          [&](const StoreData& stored) { return bar_message(kind_, stored, hit.index); });
      if (text.empty()) break;
      actions_.show_information(QString::fromStdString(text));
      if (kind_ == ChartKind::kFrame) {
        state_.chosen =
            store_.read([&](const StoreData& stored) { return choose_frame(stored, hit.index); });
        actions_.chosen_frame_changed();
      }
      break;
    }
    default:
      break;
  }
  QAbstractScrollArea::mousePressEvent(event);
}

void BarChartView::mouseMoveEvent(QMouseEvent* event) {
  const bool over = hit_at(event->position().toPoint()).kind != HitKind::kNone;
  viewport()->setCursor(over ? Qt::PointingHandCursor : Qt::ArrowCursor);
  QAbstractScrollArea::mouseMoveEvent(event);
}

void BarChartView::resizeEvent(QResizeEvent* event) {
  // A new height changes the scale: the next live repaint starts afresh.
  if (kind_ == ChartKind::kFrame) store_.frame_max_changed = true;
  resized_ = true;
  QAbstractScrollArea::resizeEvent(event);
}

void BarChartView::export_picture(bool svg) {
  const int scroll_x = horizontalScrollBar()->value();
  const ChartScene scene = build(scroll_x).scene;
  actions_.export_picture(scene, viewport()->size(), QPoint(scroll_x, 0), svg);
}

PrintedView BarChartView::printed() {
  const int scroll_x = horizontalScrollBar()->value();
  return {build(scroll_x).scene, viewport()->size(), QPoint(scroll_x, 0), {}, {}};
}

void BarChartView::contextMenuEvent(QContextMenuEvent* event) {
  MenuEntries entries;
  const ChartHit hit = hit_at(event->pos());
  if (kind_ == ChartKind::kFrame && hit.kind == HitKind::kBar) {
    entries.append({QStringLiteral("Show in structure"),
                    [this, frame = hit.index] { actions_.show_in_structure(frame); }});
    entries.append({QStringLiteral("Show this picture"),
                    [this, frame = hit.index] { actions_.show_picture(frame); }});
  }
  show_export_menu(*this, this, event->globalPos(), entries);
}

}  // namespace tavik::gui
