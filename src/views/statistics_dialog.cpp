#include "views/statistics_dialog.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

#include "views/dialog_service.h"
#include "views/integer_entry.h"
#include "views/ok_cancel_buttons.h"

namespace tavik::gui {

namespace {

QGroupBox* group(const QString& title, QLayout* layout, QWidget* parent) {
  auto* box = new QGroupBox(title, parent);
  box->setLayout(layout);
  return box;
}

}  // namespace

StatisticsDialog::StatisticsDialog(StatSource source, DialogService& dialogs, QWidget* parent)
    : QDialog(parent), dialogs_(dialogs) {
  setWindowTitle(QStringLiteral("Statistics"));
  fields_.source = source;
  intervals_ = new QLineEdit(QString::number(fields_.intervals), this);
  points_ = new QLineEdit(QString::number(fields_.points), this);
  auto* histogram = new QFormLayout;
  histogram->addRow(QStringLiteral("Number of intervals:"), intervals_);
  auto* autocorrelation = new QFormLayout;
  autocorrelation->addRow(QStringLiteral("Number of points:"), points_);

  auto* source_rows = new QVBoxLayout;
  const char* names[] = {"Gops", "Frames", "Slices"};
  for (int i = 0; i < 3; ++i) {
    sources_[i] = new QRadioButton(QLatin1String(names[i]), this);
    source_rows->addWidget(sources_[i]);
  }
  sources_[static_cast<int>(source)]->setChecked(true);

  auto* filter_rows = new QVBoxLayout;
  filter_i_ = new QCheckBox(QStringLiteral("Filter I Frames"), this);
  filter_p_ = new QCheckBox(QStringLiteral("Filter P Frames"), this);
  filter_b_ = new QCheckBox(QStringLiteral("Filter B Frames"), this);
  for (QCheckBox* box : {filter_i_, filter_p_, filter_b_}) filter_rows->addWidget(box);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(group(QStringLiteral("Histogram"), histogram, this));
  layout->addWidget(group(QStringLiteral("Show stadistic of:"), source_rows, this));
  layout->addWidget(group(QStringLiteral("Autocorrelation"), autocorrelation, this));
  layout->addWidget(group(QStringLiteral("Filter frames"), filter_rows, this));
  layout->addWidget(ok_cancel_buttons(this));
}

void StatisticsDialog::accept() {
  // Numbers below 1 leave nothing to draw.
  if (!read_integer_entry(dialogs_, this, intervals_, fields_.intervals, 1, kMaxIntervals) ||
      !read_integer_entry(dialogs_, this, points_, fields_.points, 1)) {
    return;
  }
  for (int i = 0; i < 3; ++i) {
    if (sources_[i]->isChecked()) fields_.source = static_cast<StatSource>(i);
  }
  fields_.filter_i = filter_i_->isChecked();
  fields_.filter_p = filter_p_->isChecked();
  fields_.filter_b = filter_b_->isChecked();
  if (fields_.filter_i && fields_.filter_p && fields_.filter_b &&
      fields_.source != StatSource::kGops) {
    dialogs_.show_message(this, MessageIcon::kNone,
                          QStringLiteral("You must not filter all the frames types"));
    return;
  }
  QDialog::accept();
}

}  // namespace tavik::gui
