#pragma once

#include <QString>
#include <cstdint>
#include <limits>

class QLineEdit;
class QWidget;

namespace tavik::gui {

class DialogService;

// Reads an integer from low to high out of a dialog's edit into `field`. Anything else gets the
// prompt ("Please enter an integer." or the range), the edit is selected and the result is
// false; a value out of range is kept in the field, as a refused entry is. A `reason` ends the
// range prompt ("Please enter an integer of at least 52: the chart has 52 rows.").
bool read_integer_entry(DialogService& dialogs, QWidget* dialog, QLineEdit* edit, int32_t& field,
                        int32_t low, int32_t high = std::numeric_limits<int32_t>::max(),
                        const QString& reason = {});

}  // namespace tavik::gui
