#include "views/picture_view.h"

#include <QPainter>
#include <QScrollBar>

#include "charts/info_list.h"
#include "charts/picture_info.h"
#include "render/scene_painter.h"
#include "views/chart_area.h"

namespace tavik::gui {

PictureView::PictureView(AnalysisStore& store, const PlaybackController& controller,
                         ViewState& state, ViewActions& actions, QWidget* parent)
    : QAbstractScrollArea(parent),
      store_(store),
      controller_(controller),
      state_(state),
      actions_(actions) {
  set_up_chart_area(*this, Qt::Vertical);
}

std::vector<std::string> PictureView::texts() const {
  const std::optional<PictureStatistics> stats =
      controller_.picture_statistics(state_.chosen.frame);
  const std::string path = actions_.input_path().toStdString();
  return store_.read(
      [&](const StoreData& stored) { return picture_lines(stored, state_.chosen, stats, path); });
}

QStringList PictureView::lines() const {
  QStringList lines;
  for (const std::string& text : texts()) lines << QString::fromStdString(text);
  return lines;
}

void PictureView::paintEvent(QPaintEvent* /*event*/) {
  const ChartScene scene = build_picture_scene(texts(), QtTextMetrics(font()));
  verticalScrollBar()->setRange(0, std::max(0, scene.scroll_height - viewport()->height()));
  verticalScrollBar()->setPageStep(viewport()->height());
  verticalScrollBar()->setSingleStep(kLinePitch);
  const int scroll_y = verticalScrollBar()->value();
  QPainter painter(viewport());
  paint_scene(painter, scene, QPoint(0, scroll_y));
  if (parentWidget() != nullptr)
    parentWidget()->setWindowTitle(QString::fromStdString(scene.title));
}

}  // namespace tavik::gui
