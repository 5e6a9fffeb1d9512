#include "app/decoding_options_dialog.h"

#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>
#include <thread>

#include "decoder/scalable/lower_layer_name.h"
#include "views/dialog_service.h"
#include "views/ok_cancel_buttons.h"

namespace tavik::gui {

DecodingOptionsDialog::DecodingOptionsDialog(const QString& lower_layer_pattern, int threads,
                                             DialogService& dialogs, QWidget* parent)
    : QDialog(parent), dialogs_(dialogs) {
  setWindowTitle(QStringLiteral("Decoding options"));
  pattern_ = new QLineEdit(lower_layer_pattern, this);
  pattern_->setPlaceholderText(QStringLiteral("base_%d%c"));
  pattern_->setToolTip(QStringLiteral(
      "%d: the lower layer's temporal reference (%03d pads it with zeros), %c: the field letter; "
      ".Y, .U and .V are added. A relative pattern names files beside the opened stream."));
  threads_ = new QSpinBox(this);
  threads_->setRange(1, std::max(1, static_cast<int>(std::thread::hardware_concurrency())));
  threads_->setValue(std::clamp(threads, threads_->minimum(), threads_->maximum()));

  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("Lower layer files:"), pattern_);
  form->addRow(QStringLiteral("Decoding threads:"), threads_);
  auto* note = new QLabel(
      QStringLiteral("The options apply from the next time a stream is opened or played from "
                     "the beginning."),
      this);
  note->setWordWrap(true);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(note);
  layout->addWidget(ok_cancel_buttons(this));
}

QString DecodingOptionsDialog::lower_layer_pattern() const {
  return pattern_->text();
}

int DecodingOptionsDialog::threads() const {
  return threads_->value();
}

void DecodingOptionsDialog::accept() {
  const std::string problem = lower_layer_pattern_problem(pattern_->text().toStdString());
  if (!problem.empty()) {
    dialogs_.show_message(this, MessageIcon::kWarning, QString::fromStdString(problem));
    pattern_->setFocus();
    pattern_->selectAll();
    return;
  }
  QDialog::accept();
}

}  // namespace tavik::gui
