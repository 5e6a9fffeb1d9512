#pragma once

#include <QAbstractScrollArea>

#include "analysis/analysis_store.h"
#include "charts/bar_chart.h"
#include "views/view_actions.h"

namespace tavik::gui {

// The Bytes/frame, Bytes/gop and Bytes/slice charts: a horizontally scrolling view that paints
// what the chart layout builds for the part in view, and answers clicks on its bars and boxes.
class BarChartView final : public QAbstractScrollArea {
  Q_OBJECT

 public:
  BarChartView(ChartKind kind, AnalysisStore& store, ViewState& state, ViewActions& actions,
               QWidget* parent = nullptr);

  [[nodiscard]] ChartKind kind() const { return kind_; }
  // The chart as it stands, at scroll position 0, in an image of the view's size.
  [[nodiscard]] QImage render_image();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  [[nodiscard]] BarChart build(int scroll_x);
  [[nodiscard]] ChartHit hit_at(QPoint point) const;

  const ChartKind kind_;
  AnalysisStore& store_;
  ViewState& state_;
  ViewActions& actions_;
  int x_extent_;
  ChartScene last_scene_;  // the hit boxes of the last paint
};

}  // namespace tavik::gui
