#include "views/bar_chart_view.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include "views/chart_area.h"
#include "views/scene_painter.h"

namespace tavik::gui {

namespace {

[[nodiscard]] WindowKind list_of(ChartKind kind) {
  switch (kind) {
    case ChartKind::kFrame:
      return WindowKind::frame_list;
    case ChartKind::kGop:
      return WindowKind::gop_list;
    case ChartKind::kSlice:
      break;
  }
  return WindowKind::slice_list;
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

BarChart BarChartView::build(int scroll_x) {
  const QtTextMetrics metrics(font());
  const ChartWindow window{width(), height(), x_extent_,
                           ViewRegion{scroll_x, 0, viewport()->width(), viewport()->height()}};
  BarChart chart = store_.read([&](const StoreData& stored) {
    return build_bar_chart(kind_, stored, state_.chosen, window, metrics);
  });
  store_.update([&](StoreData& stored) { apply_chart_limits(kind_, chart, stored); });
  x_extent_ = chart.next_x_extent;
  return chart;
}

void BarChartView::paintEvent(QPaintEvent* /*event*/) {
  const int scroll_x = horizontalScrollBar()->value();
  BarChart chart = build(scroll_x);
  QPainter painter(viewport());
  paint_scene(painter, chart.scene, QPoint(scroll_x, 0));
  horizontalScrollBar()->setRange(0, std::max(0, chart.scene.scroll_width - viewport()->width()));
  horizontalScrollBar()->setPageStep(viewport()->width());
  horizontalScrollBar()->setSingleStep(std::max(1, chart.scene.scroll_width / 100));
  if (parentWidget() != nullptr && parentWidget()->windowTitle() != chart.scene.title.c_str()) {
    parentWidget()->setWindowTitle(QString::fromStdString(chart.scene.title));
  }
  last_scene_ = std::move(chart.scene);
  last_scene_.items.clear();
}

QImage BarChartView::render_image() {
  QImage image(viewport()->size(), QImage::Format_RGB32);
  image.fill(Qt::white);
  BarChart chart = build(0);
  QPainter painter(&image);
  painter.setFont(font());
  paint_scene(painter, chart.scene);
  return image;
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
      actions_.run_statistics(source_of(kind_));
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
  if (kind_ == ChartKind::kFrame) store_.frame_max_changed = 1;
  QAbstractScrollArea::resizeEvent(event);
}

void BarChartView::contextMenuEvent(QContextMenuEvent* event) {
  const int scroll_x = horizontalScrollBar()->value();
  const auto save = [this, scroll_x](bool svg) {
    const ChartScene scene = build(scroll_x).scene;
    actions_.export_picture(scene, viewport()->size(), QPoint(scroll_x, 0), svg);
  };
  QMenu menu(this);
  menu.addAction(QStringLiteral("Export as PNG..."), [save] { save(false); });
  menu.addAction(QStringLiteral("Export as SVG..."), [save] { save(true); });
  menu.exec(event->globalPos());
}

}  // namespace tavik::gui
