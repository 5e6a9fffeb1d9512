#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class QDialog;
class QPrinter;
class QWidget;

namespace tavik::gui {

enum class MessageIcon { kNone, kInformation, kWarning, kStop };

// Every modal window of the program goes through here, so that tests can answer them.
class DialogService {
 public:
  virtual ~DialogService() = default;
  // A message box with one OK button.
  virtual void show_message(QWidget* parent, MessageIcon icon, const QString& text) = 0;
  // The same with an informative text under the text (by default left out).
  virtual void show_message_informing(QWidget* parent, MessageIcon icon, const QString& text,
                                      const QString& informative) {
    show_message(parent, icon, text);
  }
  // A question with OK and Cancel: true for OK.
  virtual bool confirm(QWidget* parent, const QString& text) = 0;
  // The file dialog of the Open command: the chosen path, or an empty string when cancelled.
  virtual QString open_file_name(QWidget* parent, const QStringList& filters) = 0;
  // The save-file dialog: asks before replacing a file; the chosen path, or an empty string
  // when cancelled.
  virtual QString save_file_name(QWidget* parent, const QStringList& filters,
                                 const QString& default_suffix, const QString& start_dir) = 0;
  // Runs a dialog modally; true when it ended with OK.
  virtual bool run_dialog(QDialog& dialog) = 0;
  virtual void show_about(QWidget* parent) = 0;
  // Print preview of what `print` prints, from which the user may print.
  virtual void print_preview(QWidget* parent, const std::function<void(QPrinter&)>& print) = 0;
};

// The About box's text: the program's name and the application's version, what it is, and
// the credits.
[[nodiscard]] QString about_text();

// The message box ModalDialogs shows: a QMessageBox, or for a text too long for the screen (a
// long frame sequence) one that scrolls the text in a box of a usable size.
[[nodiscard]] std::unique_ptr<QDialog> make_message_box(QWidget* parent, MessageIcon icon,
                                                        const QString& text,
                                                        const QString& informative);

// The real modal windows.
class ModalDialogs final : public DialogService {
 public:
  void show_message(QWidget* parent, MessageIcon icon, const QString& text) override;
  void show_message_informing(QWidget* parent, MessageIcon icon, const QString& text,
                              const QString& informative) override;
  bool confirm(QWidget* parent, const QString& text) override;
  QString open_file_name(QWidget* parent, const QStringList& filters) override;
  QString save_file_name(QWidget* parent, const QStringList& filters, const QString& default_suffix,
                         const QString& start_dir) override;
  bool run_dialog(QDialog& dialog) override;
  void show_about(QWidget* parent) override;
  void print_preview(QWidget* parent, const std::function<void(QPrinter&)>& print) override;
};

}  // namespace tavik::gui
