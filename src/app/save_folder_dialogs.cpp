#include "app/save_folder_dialogs.h"

#include <QDir>
#include <QFileInfo>

namespace tavik::gui {

SaveFolderDialogs::SaveFolderDialogs(DialogService& dialogs, AppSettings& settings)
    : dialogs_(dialogs), settings_(settings) {}

void SaveFolderDialogs::show_message(QWidget* parent, MessageIcon icon, const QString& text) {
  dialogs_.show_message(parent, icon, text);
}

void SaveFolderDialogs::show_message_informing(QWidget* parent, MessageIcon icon,
                                               const QString& text, const QString& informative) {
  dialogs_.show_message_informing(parent, icon, text, informative);
}

bool SaveFolderDialogs::confirm(QWidget* parent, const QString& text) {
  return dialogs_.confirm(parent, text);
}

QString SaveFolderDialogs::open_file_name(QWidget* parent, const QStringList& filters) {
  return dialogs_.open_file_name(parent, filters);
}

QString SaveFolderDialogs::save_file_name(QWidget* parent, const QStringList& filters,
                                          const QString& default_suffix, const QString& start_dir) {
  // A folder since removed is forgotten: the caller's start is better than a missing one.
  const QString last = settings_.save_folder();
  const bool use_last = !last.isEmpty() && QDir(last).exists();
  const QString name =
      dialogs_.save_file_name(parent, filters, default_suffix, use_last ? last : start_dir);
  if (!name.isEmpty()) settings_.set_save_folder(QFileInfo(name).absolutePath());
  return name;
}

bool SaveFolderDialogs::run_dialog(QDialog& dialog) {
  return dialogs_.run_dialog(dialog);
}

void SaveFolderDialogs::show_about(QWidget* parent) {
  dialogs_.show_about(parent);
}

void SaveFolderDialogs::print_preview(QWidget* parent,
                                      const std::function<void(QPrinter&)>& print) {
  dialogs_.print_preview(parent, print);
}

}  // namespace tavik::gui
