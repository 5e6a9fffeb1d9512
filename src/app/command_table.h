#pragma once

#include <QAction>
#include <QList>
#include <QObject>
#include <QString>

namespace tavik::gui {

// Every command of the program, with the identifier the menus and the toolbar know it by.
enum class Command {
  kOpen = 32802,
  kCloseDocument = 57602,
  kSaveInformation = 32788,
  kExit = 57665,
  kToolbar = 59392,
  kPlay = 32778,
  kPlayFrame = 32779,
  kPause = 32780,
  kGoToBeginning = 32781,
  kMeasureWholeFile = 32810,
  kFilterI = 32784,
  kFilterP = 32785,
  kFilterB = 32786,
  kGopGraphic = 32801,
  kFrameGraphic = 32794,
  kSliceGraphic = 32806,
  kShowGop = 32799,
  kShowFrame = 32783,
  kShowSlice = 32800,
  kSummary = 32796,
  kStatistics = 32808,
  kCascade = 57650,
  kMosaic = 57651,
  kArrangeIcons = 57649,
  kAbout = 57664,
  kPrint = 57607,
  kTrueColour = 32811,
  kDecodingOptions = 32812,
  kExportPng = 32813,
  kExportSvg = 32814,
  kRealTime = 32815,
  kShowBitrate = 32830,
  kShowVbv = 32831,
  kBitrateGraphic = 32832,
  kVbvGraphic = 32833,
  kOverlayGrid = 32840,
  kOverlayTypes = 32841,
  kOverlayVectors = 32842,
  kOverlayQuantiser = 32843,
  kOverlayBits = 32844,
  kShowPicture = 32845,
  kShowStructure = 32850,
  kShowBytes = 32851,
  kGoToFrame = 32852,
  kShowMessages = 32860,
  kFitVideo = 32861,
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
