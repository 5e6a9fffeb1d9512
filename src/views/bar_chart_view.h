#pragma once

#include <QAbstractScrollArea>

#include "analysis/analysis_store.h"
#include "charts/bar_chart.h"
#include "views/printing.h"
#include "views/view_actions.h"

namespace tavik::gui {

// The Bytes/frame, Bytes/gop and Bytes/slice charts: a horizontally scrolling view that paints
// what the chart layout builds for the part in view, and answers clicks on its bars and boxes.
class BarChartView final : public QAbstractScrollArea, public ExportableView, public PrintableView {
  Q_OBJECT

 public:
  void export_picture(bool svg) override;
  [[nodiscard]] PrintedView printed() override;
  BarChartView(ChartKind kind, AnalysisStore& store, ViewState& state, ViewActions& actions,
               QWidget* parent = nullptr);

  [[nodiscard]] ChartKind kind() const { return kind_; }
  // Horizontal zoom: the bars drawn `factor` times wider, the bar at pointer_x kept in place.
  void zoom_at(double factor, int pointer_x);
  [[nodiscard]] double zoom() const { return zoom_; }
  // Wide enough for the legend and every caption, as tall as the chart needs them.
  [[nodiscard]] QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  [[nodiscard]] BarChart build(int scroll_x);
  [[nodiscard]] int32_t& bar_width_in(StoreData& stored) const;
  [[nodiscard]] int32_t zoomed(int32_t bar_width) const;
  [[nodiscard]] ChartHit hit_at(QPoint point) const;

  const ChartKind kind_;
  AnalysisStore& store_;
  ViewState& state_;
  ViewActions& actions_;
  int x_extent_;
  double zoom_ = 1.0;
  int pending_scroll_ = -1;
  bool resized_ = false;   // the next paint lays out twice
  ChartScene last_scene_;  // the hit boxes of the last paint
};

}  // namespace tavik::gui
