#include "app/app_settings.h"

#include <algorithm>

namespace tavik::gui {

namespace {
constexpr int kRecentFiles = 4;
const QString kRecentKey = QStringLiteral("recent_files");
const QString kTrueColourKey = QStringLiteral("view/true_colour");
const QString kOverlaysKey = QStringLiteral("view/overlays");
const QString kLowerLayerKey = QStringLiteral("decoding/lower_layer_pattern");
const QString kThreadsKey = QStringLiteral("decoding/threads");
const QString kMainSizeKey = QStringLiteral("window/main_size");
const QString kSaveFolderKey = QStringLiteral("files/save_folder");
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

unsigned AppSettings::overlays() const {
  return settings_->value(kOverlaysKey, 0U).toUInt();
}

void AppSettings::set_overlays(unsigned layers) {
  settings_->setValue(kOverlaysKey, layers);
}

QString AppSettings::lower_layer_pattern() const {
  return settings_->value(kLowerLayerKey).toString();
}

void AppSettings::set_lower_layer_pattern(const QString& pattern) {
  settings_->setValue(kLowerLayerKey, pattern);
}

int AppSettings::decoding_threads() const {
  return std::max(settings_->value(kThreadsKey, 1).toInt(), 1);
}

void AppSettings::set_decoding_threads(int threads) {
  settings_->setValue(kThreadsKey, threads);
}

QSize AppSettings::main_window_size() const {
  return settings_->value(kMainSizeKey).toSize();
}

void AppSettings::set_main_window_size(QSize size) {
  settings_->setValue(kMainSizeKey, size);
}

QString AppSettings::save_folder() const {
  return settings_->value(kSaveFolderKey).toString();
}

void AppSettings::set_save_folder(const QString& folder) {
  settings_->setValue(kSaveFolderKey, folder);
}

}  // namespace tavik::gui
