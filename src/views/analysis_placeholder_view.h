#pragma once

#include <QWidget>

#include "analysis/analysis_store.h"
#include "playback/window_kind.h"

namespace tavik::gui {

// An analysis window whose drawing is not built yet: it keeps its title up to date.
class AnalysisPlaceholderView final : public QWidget {
  Q_OBJECT

 public:
  AnalysisPlaceholderView(WindowKind kind, const AnalysisStore& store, QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  const WindowKind kind_;
  const AnalysisStore& store_;
};

// The title an analysis window shows for the store's present contents.
[[nodiscard]] QString analysis_window_title(WindowKind kind, const StoreData& data);

}  // namespace tavik::gui
