#include "views/integer_entry.h"

#include <QLineEdit>

#include "views/dialog_service.h"

namespace tavik::gui {

bool read_integer_entry(DialogService& dialogs, QWidget* dialog, QLineEdit* edit, int32_t& field,
                        int32_t low, int32_t high, const QString& reason) {
  bool integer = false;
  const int value = edit->text().trimmed().toInt(&integer);
  QString prompt = QStringLiteral("Please enter an integer.");
  if (integer) {
    field = value;
    if (value >= low && value <= high) return true;
    prompt = high == std::numeric_limits<int32_t>::max()
                 ? QStringLiteral("Please enter an integer of at least %1").arg(low)
                 : QStringLiteral("Please enter an integer between %1 and %2").arg(low).arg(high);
    prompt += reason.isEmpty() ? QStringLiteral(".") : QStringLiteral(": %1.").arg(reason);
  }
  dialogs.show_message(dialog, MessageIcon::kWarning, prompt);
  edit->setFocus();
  edit->selectAll();
  return false;
}

}  // namespace tavik::gui
