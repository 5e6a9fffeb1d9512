#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

#include "views/dialog_service.h"

namespace tavik::test {

// Answers every modal window at once: file dialogs from a list of answers, message boxes
// recorded instead of shown, dialogs handed to a script that fills them and presses a button.
class ScriptedDialogs final : public gui::DialogService {
 public:
  struct Message {
    gui::MessageIcon icon;
    QString text;
    QString informative;
  };

  void show_message(QWidget*, gui::MessageIcon icon, const QString& text) override {
    messages.push_back({icon, text, {}});
  }
  void show_message_informing(QWidget*, gui::MessageIcon icon, const QString& text,
                              const QString& informative) override {
    messages.push_back({icon, text, informative});
  }
  // Recorded as a warning; answered from the list, OK when it is empty.
  bool confirm(QWidget*, const QString& text) override {
    messages.push_back({gui::MessageIcon::kWarning, text, {}});
    return confirm_answers.isEmpty() || confirm_answers.takeFirst();
  }
  QString open_file_name(QWidget*, const QStringList& filters) override {
    open_filters = filters;
    return open_answers.isEmpty() ? QString() : open_answers.takeFirst();
  }
  QString save_file_name(QWidget*, const QStringList& filters, const QString& default_suffix,
                         const QString& start_dir) override {
    save_filters = filters;
    save_suffix = default_suffix;
    save_dir = start_dir;
    return save_answers.isEmpty() ? QString() : save_answers.takeFirst();
  }
  // Without a script the dialog is cancelled.
  bool run_dialog(QDialog& dialog) override {
    ++dialogs_run;
    if (dialog_script) dialog_script(dialog);
    return dialog.result() == QDialog::Accepted;
  }
  void show_about(QWidget*) override { ++about_shown; }
  // Kept for the test to print.
  void print_preview(QWidget*, const std::function<void(QPrinter&)>& print) override {
    ++previews;
    printed = print;
  }

  QList<bool> confirm_answers;
  QStringList open_answers;  // empty string = cancel
  QStringList open_filters;
  QStringList save_answers;  // empty string = cancel
  QStringList save_filters;
  QString save_suffix;
  QString save_dir;
  std::function<void(QDialog&)> dialog_script;
  std::vector<Message> messages;
  int dialogs_run = 0;
  int about_shown = 0;
  int previews = 0;
  std::function<void(QPrinter&)> printed;
};

}  // namespace tavik::test
