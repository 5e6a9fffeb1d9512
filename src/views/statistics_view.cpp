#include "views/statistics_view.h"

#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <utility>

#include "render/scene_painter.h"
#include "views/chart_area.h"

namespace tavik::gui {

StatisticsView::StatisticsView(const AnalysisStore& store, ViewState& state, ViewActions& actions,
                               QWidget* parent)
    : QAbstractScrollArea(parent),
      store_(store),
      state_(state),
      actions_(actions),
      x_extent_(kStatisticsInitialExtent) {
  set_up_chart_area(*this, Qt::Horizontal);
  recompute();
}

void StatisticsView::recompute() {
  // The sequence is copied under the store's lock; the long computation runs outside it.
  const std::vector<uint32_t> sequence = store_.read(
      [this](const StoreData& stored) { return stat_sequence(stored, state_.statistics); });
  result_ =
      state_.statistics_histogram
          ? compute_histogram(sequence, state_.statistics.source, state_.statistics.intervals)
          : compute_autocorrelation(sequence, state_.statistics.source, state_.statistics.points);
  if (!state_.statistics_histogram && result_.problem.empty()) {
    state_.statistics.points = result_.points;
  }
  viewport()->update();
}

StatisticsChart StatisticsView::build(int scroll_x) const {
  const ChartWindow window{width(), height(), x_extent_,
                           ViewRegion{scroll_x, 0, viewport()->width(), viewport()->height()}};
  return build_statistics_chart(result_, window, QtTextMetrics(font()));
}

QSize StatisticsView::sizeHint() const {
  const ChartWindow window{kChartHintWidth, kChartHintHeight, kStatisticsInitialExtent,
                           kChartHintRegion};
  const QtTextMetrics metrics(font());
  return chart_hint(*this,
                    text_extent(build_statistics_chart(result_, window, metrics).scene, metrics));
}

void StatisticsView::resizeEvent(QResizeEvent* event) {
  resized_ = true;
  QAbstractScrollArea::resizeEvent(event);
}

void StatisticsView::paintEvent(QPaintEvent* /*event*/) {
  const int scroll_x = horizontalScrollBar()->value();
  StatisticsChart chart = build(scroll_x);
  x_extent_ = chart.next_x_extent;
  // The axes run to the extent of the last layout: after a resize, lay out once more for the
  // new size.
  if (std::exchange(resized_, false)) {
    chart = build(scroll_x);
    x_extent_ = chart.next_x_extent;
  }
  QPainter painter(viewport());
  paint_scene(painter, chart.scene, QPoint(scroll_x, 0));
  horizontalScrollBar()->setRange(0, std::max(0, chart.scene.scroll_width - viewport()->width()));
  horizontalScrollBar()->setPageStep(viewport()->width());
  if (parentWidget() != nullptr) parentWidget()->setWindowTitle(QStringLiteral("Statistics"));
  last_scene_ = std::move(chart.scene);
  last_scene_.items.clear();
}

ChartHit StatisticsView::hit_at(QPoint point) const {
  return hit_test(last_scene_, point.x() + horizontalScrollBar()->value(), point.y());
}

void StatisticsView::mousePressEvent(QMouseEvent* event) {
  if (hit_at(event->position().toPoint()).kind == HitKind::kToggle) {
    state_.statistics_histogram = !state_.statistics_histogram;
    recompute();
  }
  QAbstractScrollArea::mousePressEvent(event);
}

void StatisticsView::mouseMoveEvent(QMouseEvent* event) {
  const bool over = hit_at(event->position().toPoint()).kind != HitKind::kNone;
  viewport()->setCursor(over ? Qt::PointingHandCursor : Qt::ArrowCursor);
  QAbstractScrollArea::mouseMoveEvent(event);
}

PrintedView StatisticsView::printed() {
  const int scroll_x = horizontalScrollBar()->value();
  return {build(scroll_x).scene, viewport()->size(), QPoint(scroll_x, 0), {}, {}};
}

void StatisticsView::export_picture(bool svg) {
  const int scroll_x = horizontalScrollBar()->value();
  const ChartScene scene = build(scroll_x).scene;
  actions_.export_picture(scene, viewport()->size(), QPoint(scroll_x, 0), svg);
}

void StatisticsView::contextMenuEvent(QContextMenuEvent* event) {
  show_export_menu(*this, this, event->globalPos());
}

}  // namespace tavik::gui
