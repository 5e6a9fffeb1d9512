#include "app/go_to_frame_dialog.h"

#include <QFormLayout>
#include <QLineEdit>
#include <QVBoxLayout>
#include <algorithm>

#include "views/integer_entry.h"
#include "views/ok_cancel_buttons.h"

namespace tavik::gui {

GoToFrameDialog::GoToFrameDialog(int32_t frame, int32_t frames, DialogService& dialogs,
                                 QWidget* parent)
    : QDialog(parent), dialogs_(dialogs), frame_(frame), frames_(frames) {
  setWindowTitle(QStringLiteral("Go to frame"));
  edit_ = new QLineEdit(QString::number(frame), this);
  edit_->setObjectName(QStringLiteral("frame"));
  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("Frame (display order, %1 frames):").arg(frames), edit_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(ok_cancel_buttons(this));
}

void GoToFrameDialog::accept() {
  if (read_integer_entry(dialogs_, this, edit_, frame_, 0, std::max(0, frames_ - 1))) {
    QDialog::accept();
  }
}

}  // namespace tavik::gui
