#pragma once

#include <QSettings>
#include <QSize>
#include <QStringList>
#include <memory>

namespace tavik::gui {

// What the program remembers between runs: the recent files, the true-colour choice, the
// macroblock overlays, the decoding options, the main window's size and the last folder saved to.
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
  // The macroblock overlays shown over the video (OverlayLayer bits; 0 unless chosen).
  [[nodiscard]] unsigned overlays() const;
  void set_overlays(unsigned layers);
  // The lower layer's file name pattern of spatially scalable streams (empty: none).
  [[nodiscard]] QString lower_layer_pattern() const;
  void set_lower_layer_pattern(const QString& pattern);
  // The threads that decode the slices of each picture (1 unless the user chose more).
  [[nodiscard]] int decoding_threads() const;
  void set_decoding_threads(int threads);
  // The main window's size when it was last closed (invalid: never).
  [[nodiscard]] QSize main_window_size() const;
  void set_main_window_size(QSize size);
  // The folder of the last file saved (empty: none yet).
  [[nodiscard]] QString save_folder() const;
  void set_save_folder(const QString& folder);

 private:
  std::unique_ptr<QSettings> settings_;
};

}  // namespace tavik::gui
