#include "app/measure_progress.h"

#include <QProgressDialog>

#include "playback/playback_controller.h"

namespace tavik::gui {

MeasureProgress::MeasureProgress(PlaybackController& controller, QWidget& parent)
    : controller_(controller), parent_(parent) {}

void MeasureProgress::start() {
  if (dialog_ != nullptr) return;
  dialog_ = new QProgressDialog(QStringLiteral("Measuring the whole file..."),
                                QStringLiteral("Cancel"), 0, 100, &parent_);
  // The other windows stay usable: the summary and the charts follow the walk.
  dialog_->setWindowModality(Qt::NonModal);
  dialog_->setMinimumDuration(0);
  dialog_->setAutoClose(false);
  dialog_->setAutoReset(false);
  QObject::connect(dialog_, &QProgressDialog::canceled, &parent_,
                   [this] { controller_.cancel_measuring(); });
  controller_.measure_whole_file();
}

void MeasureProgress::show_progress(int percent) {
  if (dialog_ != nullptr) dialog_->setValue(percent);
}

void MeasureProgress::finish() {
  if (dialog_ == nullptr) return;
  dialog_->deleteLater();
  dialog_ = nullptr;
}

}  // namespace tavik::gui
