#pragma once

#include <QString>
#include <QStringList>
#include <vector>

#include "app/dialog_service.h"

namespace tavik::test {

// Answers every modal window at once: file dialogs from a list of answers, message boxes
// recorded instead of shown.
class ScriptedDialogs final : public gui::DialogService {
 public:
  struct Message {
    gui::MessageIcon icon;
    QString text;
  };

  void show_message(QWidget*, gui::MessageIcon icon, const QString& text) override {
    messages.push_back({icon, text});
  }
  QString open_file_name(QWidget*, const QStringList& filters) override {
    open_filters = filters;
    return open_answers.isEmpty() ? QString() : open_answers.takeFirst();
  }
  void show_about(QWidget*) override { ++about_shown; }
  void print_preview(QWidget*, QWidget*) override { ++previews; }

  QStringList open_answers;  // empty string = cancel
  QStringList open_filters;
  std::vector<Message> messages;
  int about_shown = 0;
  int previews = 0;
};

}  // namespace tavik::test
