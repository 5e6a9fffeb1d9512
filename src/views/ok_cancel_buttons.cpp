#include "views/ok_cancel_buttons.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QPushButton>

namespace tavik::gui {

QDialogButtonBox* ok_cancel_buttons(QDialog* dialog) {
  auto* buttons = new QDialogButtonBox(dialog);
  buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole)->setDefault(true);
  buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
  QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
  return buttons;
}

}  // namespace tavik::gui
