#pragma once

#include "app/app_settings.h"
#include "views/dialog_service.h"

namespace tavik::gui {

// The program's dialogs, with save dialogs opening in the folder last saved to (kept in the
// settings) rather than where the caller would start them.
class SaveFolderDialogs final : public DialogService {
 public:
  SaveFolderDialogs(DialogService& dialogs, AppSettings& settings);

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

 private:
  DialogService& dialogs_;
  AppSettings& settings_;
};

}  // namespace tavik::gui
