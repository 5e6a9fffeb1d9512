#include "views/information_list_view.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>

#include "render/scene_painter.h"
#include "views/chart_area.h"

namespace tavik::gui {

InformationListView::InformationListView(ListKind kind, AnalysisStore& store, ViewState& state,
                                         ViewActions& actions, QWidget* parent)
    : QAbstractScrollArea(parent), kind_(kind), store_(store), state_(state), actions_(actions) {
  set_up_chart_area(*this, Qt::Vertical);
}

void InformationListView::paintEvent(QPaintEvent* /*event*/) {
  const QtTextMetrics metrics(font());
  const std::string path = actions_.input_path().toStdString();
  const int64_t lines = store_.read(
      [&](const StoreData& stored) { return list_line_count(kind_, stored, state_.chosen); });
  const ListScroll scroll = list_scroll(lines, height());
  verticalScrollBar()->setRange(0, std::max(0, scroll.y_extent - viewport()->height()));
  verticalScrollBar()->setPageStep(viewport()->height());
  verticalScrollBar()->setSingleStep(kLinePitch);
  if (kind_ != ListKind::kSlices && actions_.playing()) {
    verticalScrollBar()->setValue(std::min(scroll.follow_y, verticalScrollBar()->maximum()));
  }
  const int scroll_y = verticalScrollBar()->value();
  const ChartScene scene = store_.read([&](const StoreData& stored) {
    return build_list_scene(kind_, stored, state_.chosen, path, height(),
                            ViewRegion{0, scroll_y, viewport()->width(), viewport()->height()},
                            metrics);
  });
  QPainter painter(viewport());
  paint_scene(painter, scene, QPoint(0, scroll_y));
  if (parentWidget() != nullptr)
    parentWidget()->setWindowTitle(QString::fromStdString(scene.title));
}

MenuEntries InformationListView::menu_entries(QPoint point) {
  MenuEntries entries;
  if (kind_ != ListKind::kSlices) {
    const int64_t lines = store_.read(
        [&](const StoreData& stored) { return list_line_count(kind_, stored, state_.chosen); });
    const LineRange line =
        visible_lines(lines, point.y() + verticalScrollBar()->value(), 1, kLinePitch);
    if (line.first < line.end) {
      entries.append({QStringLiteral("Show in structure"), [this, at = line.first] {
                        if (kind_ == ListKind::kFrames) {
                          actions_.show_in_structure(at);
                        } else {
                          actions_.show_group_in_structure(at);
                        }
                      }});
    }
  }
  entries.append(
      {QStringLiteral("Copy as CSV"), [this] {
         QApplication::clipboard()->setText(QString::fromStdString(store_.read(
             [this](const StoreData& stored) { return list_csv(kind_, stored, state_.chosen); })));
       }});
  return entries;
}

PrintedView InformationListView::printed() {
  PrintedView view;
  const std::string path = actions_.input_path().toStdString();
  store_.read([&](const StoreData& stored) {
    view.lines << QString::fromStdString(list_header(kind_, path));
    const int64_t count = list_line_count(kind_, stored, state_.chosen);
    for (int64_t line = 0; line < count; ++line) {
      view.lines << QString::fromStdString(list_line(kind_, stored, state_.chosen, line));
    }
  });
  return view;
}

void InformationListView::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  for (const auto& [text, run] : menu_entries(event->pos())) menu.addAction(text, run);
  menu.exec(event->globalPos());
}

}  // namespace tavik::gui
