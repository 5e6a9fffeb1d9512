#pragma once

#include <QSettings>
#include <QStringList>
#include <memory>

namespace tavik::gui {

// What the program remembers between runs: the recent files and the true-colour choice.
class AppSettings {
 public:
  // The user's own settings file.
  AppSettings();
  // A settings file of the caller's (tests).
  explicit AppSettings(const QString& path);

  [[nodiscard]] QStringList recent_files() const;
  // Puts the path first in the list of the last four files opened.
  void add_recent_file(const QString& path);
  [[nodiscard]] bool true_colour() const;
  void set_true_colour(bool on);

 private:
  std::unique_ptr<QSettings> settings_;
};

}  // namespace tavik::gui
