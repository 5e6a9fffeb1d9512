#pragma once

#include <QAbstractScrollArea>

#include "analysis/analysis_store.h"
#include "charts/statistics.h"
#include "charts/statistics_chart.h"
#include "views/printing.h"
#include "views/view_actions.h"

namespace tavik::gui {

// The Statistics window: the histogram or the autocorrelation of the chosen sequence, computed
// when the window opens, when the Statistics command is confirmed and when its box is clicked.
class StatisticsView final : public QAbstractScrollArea,
                             public ExportableView,
                             public PrintableView {
  Q_OBJECT

 public:
  void export_picture(bool svg) override;
  [[nodiscard]] PrintedView printed() override;
  StatisticsView(const AnalysisStore& store, ViewState& state, ViewActions& actions,
                 QWidget* parent = nullptr);

  // Computes the picture the settings ask for and repaints.
  void recompute();
  // Wide enough for the heading and the axis titles.
  [[nodiscard]] QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  [[nodiscard]] ChartHit hit_at(QPoint point) const;
  [[nodiscard]] StatisticsChart build(int scroll_x) const;

  const AnalysisStore& store_;
  ViewState& state_;
  ViewActions& actions_;
  StatResult result_;
  int x_extent_;
  bool resized_ = false;  // the next paint lays out twice
  ChartScene last_scene_;
};

}  // namespace tavik::gui
