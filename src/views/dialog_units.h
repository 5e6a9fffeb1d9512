#pragma once

#include <QFont>
#include <QFontMetricsF>
#include <QRect>

namespace tavik::gui {

// Turns dialog units into pixels for a dialog's font, as a dialog template is laid out: one
// horizontal unit is a quarter of the font's average character width, one vertical unit an
// eighth of its height (1.5 and 1.625 pixels for an 8-point font 6 pixels wide, 13 high).
class DialogUnits {
 public:
  explicit DialogUnits(const QFont& font) {
    const QFontMetricsF metrics(font);
    const QString alphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    across_ = metrics.horizontalAdvance(alphabet) / alphabet.size() / 4;
    down_ = metrics.height() / 8;
  }

  // The rectangle x, y, width, height given in dialog units.
  [[nodiscard]] QRect operator()(int x, int y, int width, int height) const {
    return {QPoint(qRound(x * across_), qRound(y * down_)),
            QPoint(qRound((x + width) * across_) - 1, qRound((y + height) * down_) - 1)};
  }

 private:
  double across_ = 1.5;
  double down_ = 1.625;
};

// Puts a control of a dialog at its place.
template <typename Control>
Control* placed(Control* control, QRect rect) {
  control->setGeometry(rect);
  return control;
}

}  // namespace tavik::gui
