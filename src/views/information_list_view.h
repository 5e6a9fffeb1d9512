#pragma once

#include <QAbstractScrollArea>

#include "analysis/analysis_store.h"
#include "charts/info_list.h"
#include "views/printing.h"
#include "views/view_actions.h"

namespace tavik::gui {

// The Frames, Gops and Slices Information lists: a vertically scrolling view of the lines in
// view, following the newest line while the stream plays.
class InformationListView final : public QAbstractScrollArea, public PrintableView {
  Q_OBJECT

 public:
  InformationListView(ListKind kind, AnalysisStore& store, ViewState& state, ViewActions& actions,
                      QWidget* parent = nullptr);

  [[nodiscard]] ListKind kind() const { return kind_; }
  // The context menu at a point of the viewport: "Show in structure" for the frame or GOP on
  // that line (Frames and Gops lists), then "Copy as CSV".
  [[nodiscard]] MenuEntries menu_entries(QPoint point);
  // The header and every line of the list.
  [[nodiscard]] PrintedView printed() override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  const ListKind kind_;
  AnalysisStore& store_;
  ViewState& state_;
  ViewActions& actions_;
};

}  // namespace tavik::gui
