#pragma once

#include <QDialog>

#include "charts/statistics.h"

class QCheckBox;
class QLineEdit;
class QRadioButton;

namespace tavik::gui {

class DialogService;

// The Statistics dialog: the source of the sequence, the number of histogram intervals and of
// autocorrelation points, and the frame types left out. It opens with 50 intervals, 100 points
// and no filter; OK refuses filtering every frame type out of a frame or slice sequence.
class StatisticsDialog final : public QDialog {
  Q_OBJECT

 public:
  StatisticsDialog(StatSource source, DialogService& dialogs, QWidget* parent = nullptr);

  [[nodiscard]] const StatSettings& fields() const { return fields_; }
  void accept() override;

 private:
  DialogService& dialogs_;
  StatSettings fields_;
  QLineEdit* intervals_ = nullptr;
  QLineEdit* points_ = nullptr;
  QRadioButton* sources_[3] = {};
  QCheckBox* filter_i_ = nullptr;
  QCheckBox* filter_p_ = nullptr;
  QCheckBox* filter_b_ = nullptr;
};

}  // namespace tavik::gui
