#pragma once

#include <QDialog>
#include <cstdint>

#include "charts/timing_chart.h"
#include "playback/window_kind.h"

class QCheckBox;
class QLineEdit;

namespace tavik::gui {

class DialogService;

// The configuration dialog of the Bitrate or VBV buffer chart: the moving average's window and
// the per-GOP view (Bitrate only), the time scale, Automatic and the Y limit. OK reads and
// checks the controls in that order; a refused value gets a prompt and keeps the dialog open.
class TimingSettingsDialog final : public QDialog {
  Q_OBJECT

 public:
  // `chart` is WindowKind::kBitrate or WindowKind::kVbv.
  TimingSettingsDialog(WindowKind chart, const TimingChartSettings& settings,
                       DialogService& dialogs, QWidget* parent = nullptr);

  [[nodiscard]] const TimingChartSettings& fields() const { return fields_; }

  void accept() override;

 private:
  DialogService& dialogs_;
  TimingChartSettings fields_;
  QLineEdit* window_length_ = nullptr;
  QCheckBox* window_pictures_ = nullptr;
  QCheckBox* per_gop_ = nullptr;
  QLineEdit* pixels_per_second_ = nullptr;
  QCheckBox* automatic_ = nullptr;
  QLineEdit* y_limit_ = nullptr;
};

}  // namespace tavik::gui
