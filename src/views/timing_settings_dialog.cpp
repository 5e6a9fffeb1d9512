#include "views/timing_settings_dialog.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "views/dialog_units.h"
#include "views/integer_entry.h"

namespace tavik::gui {

TimingSettingsDialog::TimingSettingsDialog(WindowKind chart, const TimingChartSettings& settings,
                                           DialogService& dialogs, QWidget* parent)
    : QDialog(parent), dialogs_(dialogs), fields_(settings) {
  const bool bitrate = chart == WindowKind::kBitrate;
  setWindowTitle(bitrate ? QStringLiteral("Bitrate graphic configuration")
                         : QStringLiteral("VBV buffer graphic configuration"));
  const DialogUnits units(font());
  setFixedSize(units(0, 0, 288, 149).size());
  // Group boxes first, so that the controls lie above them.
  placed(new QGroupBox(this), units(7, 7, 182, 48))->setEnabled(bitrate);
  placed(new QGroupBox(bitrate ? QStringLiteral("Limit Y Axis (kbit/s)")
                               : QStringLiteral("Limit Y Axis (kbit)"),
                       this),
         units(7, 78, 165, 64));
  auto* ok = placed(new QPushButton(QStringLiteral("OK"), this), units(231, 7, 50, 14));
  auto* cancel = placed(new QPushButton(QStringLiteral("Cancel"), this), units(231, 24, 50, 14));
  placed(new QLabel(QStringLiteral("Moving average"), this), units(14, 17, 60, 8));
  window_length_ =
      placed(new QLineEdit(QString::number(settings.moving.length), this), units(76, 15, 40, 12));
  window_pictures_ =
      placed(new QCheckBox(QStringLiteral("pictures, not seconds"), this), units(120, 15, 66, 12));
  per_gop_ = placed(new QCheckBox(QStringLiteral("Per GOP"), this), units(14, 34, 75, 12));
  placed(new QLabel(QStringLiteral("Pixels per second"), this), units(14, 62, 84, 8));
  pixels_per_second_ = placed(new QLineEdit(QString::number(settings.pixels_per_second), this),
                              units(100, 60, 80, 12));
  automatic_ = placed(new QCheckBox(QStringLiteral("Automatic"), this), units(27, 90, 75, 15));
  y_limit_ = placed(new QLineEdit(QString::number(settings.y_limit), this), units(27, 107, 79, 12));
  placed(new QLabel(bitrate ? QStringLiteral("kbit/s") : QStringLiteral("kbit"), this),
         units(111, 109, 49, 13));
  window_length_->setEnabled(bitrate);
  window_pictures_->setEnabled(bitrate);
  window_pictures_->setChecked(settings.moving.pictures);
  per_gop_->setEnabled(bitrate);
  per_gop_->setChecked(settings.per_gop);
  automatic_->setChecked(settings.auto_scale);
  ok->setObjectName(QStringLiteral("ok"));
  window_length_->setObjectName(QStringLiteral("window_length"));
  window_pictures_->setObjectName(QStringLiteral("window_pictures"));
  per_gop_->setObjectName(QStringLiteral("per_gop"));
  pixels_per_second_->setObjectName(QStringLiteral("pixels_per_second"));
  automatic_->setObjectName(QStringLiteral("automatic"));
  y_limit_->setObjectName(QStringLiteral("y_limit"));
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &TimingSettingsDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &TimingSettingsDialog::reject);
}

void TimingSettingsDialog::accept() {
  auto length = int32_t(fields_.moving.length);
  if (!read_integer_entry(dialogs_, this, window_length_, length, 1, 100000) ||
      !read_integer_entry(dialogs_, this, pixels_per_second_, fields_.pixels_per_second, 1,
                          10000)) {
    return;
  }
  fields_.moving = {window_pictures_->isChecked(), length};
  fields_.per_gop = per_gop_->isChecked();
  fields_.auto_scale = automatic_->isChecked();
  if (!read_integer_entry(dialogs_, this, y_limit_, fields_.y_limit, 1)) return;
  QDialog::accept();
}

}  // namespace tavik::gui
