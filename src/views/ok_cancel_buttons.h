#pragma once

#include <QDialogButtonBox>

class QDialog;

namespace tavik::gui {

// The dialog's "OK" (default) and "Cancel" buttons, wired to its accept and reject.
QDialogButtonBox* ok_cancel_buttons(QDialog* dialog);

}  // namespace tavik::gui
