#pragma once

#include <QDialog>
#include <cstdint>

class QLineEdit;

namespace tavik::gui {

class DialogService;

// "Go to frame": the frame to show, in display order from 0, below the frame count.
class GoToFrameDialog final : public QDialog {
  Q_OBJECT

 public:
  GoToFrameDialog(int32_t frame, int32_t frames, DialogService& dialogs, QWidget* parent = nullptr);

  [[nodiscard]] int32_t frame() const { return frame_; }
  [[nodiscard]] QLineEdit* frame_edit() const { return edit_; }
  void accept() override;

 private:
  DialogService& dialogs_;
  QLineEdit* edit_ = nullptr;
  int32_t frame_;
  int32_t frames_;
};

}  // namespace tavik::gui
