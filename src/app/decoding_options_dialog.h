#pragma once

#include <QDialog>
#include <QString>

class QLineEdit;
class QSpinBox;

namespace tavik::gui {

class DialogService;

// The decoding options: the file name pattern of the lower layer that spatially scalable
// pictures are predicted from, and the threads that decode the slices of each picture. OK
// refuses a pattern with conversions other than %d, %c and %%.
class DecodingOptionsDialog final : public QDialog {
  Q_OBJECT

 public:
  DecodingOptionsDialog(const QString& lower_layer_pattern, int threads, DialogService& dialogs,
                        QWidget* parent = nullptr);

  [[nodiscard]] QString lower_layer_pattern() const;
  [[nodiscard]] int threads() const;
  void accept() override;

  QLineEdit* pattern_edit() const { return pattern_; }
  QSpinBox* threads_box() const { return threads_; }

 private:
  DialogService& dialogs_;
  QLineEdit* pattern_ = nullptr;
  QSpinBox* threads_ = nullptr;
};

}  // namespace tavik::gui
