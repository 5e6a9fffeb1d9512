#include "app/app_settings.h"

namespace tavik::gui {

namespace {
constexpr int kRecentFiles = 4;
const QString kRecentKey = QStringLiteral("recent_files");
const QString kTrueColourKey = QStringLiteral("view/true_colour");
}  // namespace

AppSettings::AppSettings()
    : settings_(std::make_unique<QSettings>(QStringLiteral("Tavik"), QStringLiteral("Tavik"))) {}

AppSettings::AppSettings(const QString& path)
    : settings_(std::make_unique<QSettings>(path, QSettings::IniFormat)) {}

QStringList AppSettings::recent_files() const {
  return settings_->value(kRecentKey).toStringList().mid(0, kRecentFiles);
}

void AppSettings::add_recent_file(const QString& path) {
  QStringList files = recent_files();
  files.removeAll(path);
  files.prepend(path);
  settings_->setValue(kRecentKey, files.mid(0, kRecentFiles));
}

bool AppSettings::true_colour() const {
  return settings_->value(kTrueColourKey, false).toBool();
}

void AppSettings::set_true_colour(bool on) {
  settings_->setValue(kTrueColourKey, on);
}

}  // namespace tavik::gui
