#pragma once

#include <QDialog>
#include <algorithm>
#include <cstdint>

#include "analysis/analysis_store.h"
#include "charts/bar_chart.h"
#include "playback/window_kind.h"

class QLineEdit;
class QCheckBox;

namespace tavik::gui {

class DialogService;

// The rows of a chart's Y scale in a view window of the given outer height, at least 1, so
// that it can serve as the smallest Y limit a chart can draw.
[[nodiscard]] inline int chart_row_count(int window_height) {
  return static_cast<int>(std::max<int64_t>(1, chart_rows(window_height)));
}

// The settings of one chart (frame_chart, gop_chart or slice_chart) in the store.
template <typename Data>
[[nodiscard]] auto& chart_settings_of(Data& data, WindowKind chart) {
  return chart == WindowKind::kGopChart     ? data.gop_chart
         : chart == WindowKind::kSliceChart ? data.slice_chart
                                            : data.frame_chart;
}

// The configuration dialog of one bar chart: bar width, Automatic and Y limit. OK reads and
// checks the controls in that order; a refused value gets a prompt and keeps the dialog open.
class ChartSettingsDialog final : public QDialog {
  Q_OBJECT

 public:
  // `chart` is frame_chart, gop_chart or slice_chart; Y limits below `min_y_limit` (the chart's
  // row count) are refused.
  ChartSettingsDialog(WindowKind chart, const ChartSettings& settings, int32_t min_y_limit,
                      DialogService& dialogs, QWidget* parent = nullptr);

  // The dialog's fields: the settings loaded, as OK has read them.
  [[nodiscard]] const ChartSettings& fields() const { return fields_; }

  void accept() override;

 private:
  void automatic_clicked();
  void show_fields();
  bool read_field(QLineEdit* edit, int32_t& field, int32_t low, int32_t high,
                  const QString& reason = {});

  const WindowKind chart_;
  const int32_t min_y_limit_;
  DialogService& dialogs_;
  ChartSettings fields_;
  QLineEdit* bar_width_ = nullptr;
  QCheckBox* automatic_ = nullptr;
  QLineEdit* y_limit_ = nullptr;
};

}  // namespace tavik::gui
