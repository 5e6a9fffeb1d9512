#pragma once

#include <QAction>
#include <QList>
#include <QObject>
#include <QString>

namespace tavik::gui {

// Every command of the program, with the identifier the menus and the toolbar know it by.
enum class Command {
  open = 32802,
  close_document = 57602,
  save_information = 32788,
  exit = 57665,
  toolbar = 59392,
  play = 32778,
  play_frame = 32779,
  pause = 32780,
  go_to_beginning = 32781,
  measure_whole_file = 32810,
  filter_i = 32784,
  filter_p = 32785,
  filter_b = 32786,
  gop_graphic = 32801,
  frame_graphic = 32794,
  slice_graphic = 32806,
  show_gop = 32799,
  show_frame = 32783,
  show_slice = 32800,
  summary = 32796,
  statistics = 32808,
  cascade = 57650,
  mosaic = 57651,
  arrange_icons = 57649,
  about = 57664,
  print = 57607,
};

// Stands for a separator in the toolbar's layout.
inline constexpr Command kSeparator = static_cast<Command>(0);

// The texts of one command. Commands named differently in the two menu sets carry both names.
struct CommandText {
  Command command;
  const char* menu_text;         // documents' menus (and menu 128 unless given below)
  const char* no_document_text;  // menu 128, or nullptr when the same
  const char* status_prompt;     // status-bar prompt, or nullptr
  const char* tooltip;           // tooltip, or nullptr for the menu text
};

// One QAction per command, created in one place with texts, prompts, icons and shortcuts.
class CommandTable {
 public:
  explicit CommandTable(QObject* owner);

  [[nodiscard]] QAction* operator[](Command command) const;
  // Gives every command the name it has in the menus with or without an open document.
  void use_menu_texts(bool document_open);

  // The toolbar's buttons in order, with kSeparator between the groups.
  [[nodiscard]] static QList<Command> toolbar_layout();

 private:
  QList<QAction*> actions_;
};

}  // namespace tavik::gui
