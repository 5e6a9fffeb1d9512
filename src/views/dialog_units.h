#pragma once

#include <QRect>

namespace tavik::gui {

// A rectangle given in dialog units (x, y, width, height) in pixels of the 8-point dialog font:
// one horizontal unit is 1.5 pixels, one vertical unit 1.625.
[[nodiscard]] constexpr QRect dialog_units(int x, int y, int width, int height) {
  return {x * 3 / 2, y * 13 / 8, width * 3 / 2, height * 13 / 8};
}

// Puts a control of a dialog at its place.
template <typename Control>
Control* placed(Control* control, QRect rect) {
  control->setGeometry(rect);
  return control;
}

}  // namespace tavik::gui
