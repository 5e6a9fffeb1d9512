#include "views/chart_settings_dialog.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <limits>

#include "views/dialog_service.h"
#include "views/dialog_units.h"
#include "views/integer_entry.h"

namespace tavik::gui {

namespace {

constexpr int32_t kMaxInt = std::numeric_limits<int32_t>::max();
// The Bytes/frame chart's bar widths.
constexpr int32_t kFrameMinWidth = 1;
constexpr int32_t kFrameMaxWidth = 100;

QString dialog_title(WindowKind chart) {
  switch (chart) {
    case WindowKind::kGopChart:
      return QStringLiteral("Bytes/gop graphic configuration");
    case WindowKind::kSliceChart:
      return QStringLiteral("Bytes/Slice graphic configuration");
    default:
      return QStringLiteral("Bytes/frame graphic configuration");
  }
}

}  // namespace

ChartSettingsDialog::ChartSettingsDialog(WindowKind chart, const ChartSettings& settings,
                                         int32_t min_y_limit, DialogService& dialogs,
                                         QWidget* parent)
    : QDialog(parent),
      chart_(chart),
      min_y_limit_(std::max(1, min_y_limit)),
      dialogs_(dialogs),
      fields_(settings) {
  setWindowTitle(dialog_title(chart));
  const DialogUnits units(font());
  setFixedSize(units(0, 0, 288, 149).size());
  // Group boxes first, so that the controls lie above them.
  placed(new QGroupBox(this), units(7, 7, 182, 30));
  placed(new QGroupBox(QStringLiteral("Limit Y Axis (bytes)"), this), units(7, 40, 165, 68));
  auto* ok = placed(new QPushButton(QStringLiteral("OK"), this), units(231, 7, 50, 14));
  auto* cancel = placed(new QPushButton(QStringLiteral("Cancel"), this), units(231, 24, 50, 14));
  placed(new QLabel(QStringLiteral("Bars width (pixels)"), this), units(14, 17, 60, 8));
  bar_width_ = placed(new QLineEdit(this), units(82, 15, 91, 12));
  automatic_ = placed(new QCheckBox(QStringLiteral("Automatic"), this), units(27, 53, 75, 15));
  y_limit_ = placed(new QLineEdit(this), units(27, 70, 79, 12));
  placed(new QLabel(QStringLiteral("Bytes"), this), units(111, 75, 49, 13));
  ok->setObjectName(QStringLiteral("ok"));
  bar_width_->setObjectName(QStringLiteral("bar_width"));
  automatic_->setObjectName(QStringLiteral("automatic"));
  y_limit_->setObjectName(QStringLiteral("y_limit"));
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &ChartSettingsDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &ChartSettingsDialog::reject);
  connect(automatic_, &QCheckBox::clicked, this, &ChartSettingsDialog::automatic_clicked);
  show_fields();
}

void ChartSettingsDialog::show_fields() {
  bar_width_->setText(QString::number(fields_.bar_width));
  automatic_->setChecked(fields_.auto_scale);
  y_limit_->setText(QString::number(fields_.y_limit));
}

// The check box has changed itself. The Bytes/frame dialog also toggles its field and shows
// every field again, replacing what was typed since the last OK; the others change nothing.
void ChartSettingsDialog::automatic_clicked() {
  if (chart_ != WindowKind::kFrameChart) return;
  fields_.auto_scale = !fields_.auto_scale;
  show_fields();
}

bool ChartSettingsDialog::read_field(QLineEdit* edit, int32_t& field, int32_t low, int32_t high,
                                     const QString& reason) {
  return read_integer_entry(dialogs_, this, edit, field, low, high, reason);
}

void ChartSettingsDialog::accept() {
  const bool frame = chart_ == WindowKind::kFrameChart;
  if (!read_field(bar_width_, fields_.bar_width, kFrameMinWidth,
                  frame ? kFrameMaxWidth : kMaxInt)) {
    return;
  }
  fields_.auto_scale = automatic_->isChecked();
  // A limit below the chart's rows would give a scale step of 0.
  const QString rows = min_y_limit_ == 1
                           ? QStringLiteral("the chart has 1 row")
                           : QStringLiteral("the chart has %1 rows").arg(min_y_limit_);
  if (!read_field(y_limit_, fields_.y_limit, min_y_limit_, kMaxInt, rows)) return;
  QDialog::accept();
}

}  // namespace tavik::gui
