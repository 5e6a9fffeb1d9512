#include "app/command_table.h"

#include <QKeySequence>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <array>

namespace tavik::gui {

namespace {

// Texts as the menus, the status bar and the tooltips show them.
constexpr std::array kCommandTexts = {
    CommandText{Command::kOpen, "Open", "Open...", nullptr, nullptr},
    CommandText{Command::kCloseDocument, "Close", nullptr, "Cierra el documento activo", "Cerrar"},
    CommandText{Command::kSaveInformation, "Save Information...", nullptr, "Save information",
                "Save information"},
    CommandText{Command::kExit, "Close", "Exit",
                "Sale de la aplicación; le pide que guarde los documentos", "Salir"},
    CommandText{Command::kToolbar, "ToolBar", "Toolbar", nullptr, nullptr},
    CommandText{Command::kPlay, "Play the video", nullptr, "Play the video", "Play"},
    CommandText{Command::kPlayFrame, "Play a Frame", nullptr, "Play a frame", "Play a frame"},
    CommandText{Command::kPause, "Pause/Stop", nullptr, "Pause", "Pause"},
    CommandText{Command::kGoToBeginning, "Go to the beginning", nullptr, "Go to the begining",
                "Go to the begining"},
    CommandText{Command::kMeasureWholeFile, "Measure whole file", nullptr,
                "Measure the whole file without decoding it", "Measure whole file"},
    CommandText{Command::kFilterI, "Filter I Frames", nullptr, "Filter I Frame", "Filter I Frame"},
    CommandText{Command::kFilterP, "Filter P Frames", nullptr, "Filter P Frame", "Filter P Frame"},
    CommandText{Command::kFilterB, "Filter B Frames", nullptr, "Filter B Frame", "Filter B Frame"},
    CommandText{Command::kGopGraphic, "Bytes/Gop graphic...", nullptr,
                "Bytes/gop graphic configuration", "Bytes/gop graphic configuration"},
    CommandText{Command::kFrameGraphic, "Bytes/Frame graphic...", nullptr,
                "Bytes/frame graphic configuration", "Bytes/frame graphic configuration"},
    CommandText{Command::kSliceGraphic, "Bytes/Slice graphic...", nullptr,
                "Bytes/slice graphic configuration", "Bytes/slice graphic configuration"},
    CommandText{Command::kShowGop, "Bytes/Gop", nullptr, "Show Bytes/gop window",
                "Show Bytes/gop window"},
    CommandText{Command::kShowFrame, "Bytes/Frame", nullptr, "Show Bytes/frame window",
                "Show Bytes/frame window"},
    CommandText{Command::kShowSlice, "Bytes/Slice", nullptr, "Show Bytes/slice window",
                "Show Bytes/slice window"},
    CommandText{Command::kShowBitrate, "Bitrate", nullptr, "Show Bitrate window",
                "Show Bitrate window"},
    CommandText{Command::kShowVbv, "VBV buffer", nullptr, "Show VBV buffer window",
                "Show VBV buffer window"},
    CommandText{Command::kBitrateGraphic, "Bitrate graphic...", nullptr,
                "Bitrate graphic configuration", "Bitrate graphic configuration"},
    CommandText{Command::kVbvGraphic, "VBV buffer graphic...", nullptr,
                "VBV buffer graphic configuration", "VBV buffer graphic configuration"},
    CommandText{Command::kSummary, "Summary", nullptr, "Summary", "Summary"},
    CommandText{Command::kStatistics, "Statistics", nullptr, "Statistics", "Statistics"},
    CommandText{Command::kCascade, "Cascade", nullptr,
                "Organiza las ventanas de modo que se superpongan", "Ventanas en cascada"},
    CommandText{Command::kMosaic, "Mosaic", nullptr,
                "Organiza las ventanas como mosaicos que no se superponen", "Ventanas en mosaico"},
    CommandText{Command::kArrangeIcons, "Arrange icons", nullptr,
                "Organiza los iconos en la parte inferior de la ventana", "Organizar iconos"},
    CommandText{Command::kAbout, "About Vemora...", nullptr,
                "Muestra la información, el número de versión y los créditos del programa",
                "Acerca de"},
    CommandText{Command::kPrint, "Print...", nullptr, "Imprime el documento activo", "Imprimir"},
    CommandText{Command::kTrueColour, "True colour", nullptr,
                "Show the decoded picture in true colour instead of the dithered palette", nullptr},
    CommandText{Command::kDecodingOptions, "Decoding options...", nullptr, nullptr, nullptr},
    CommandText{Command::kExportPng, "Export picture as PNG...", nullptr, nullptr, nullptr},
    CommandText{Command::kExportSvg, "Export picture as SVG...", nullptr, nullptr, nullptr},
    CommandText{Command::kRealTime, "Real-time", nullptr,
                "Play at the stream's frame rate instead of as fast as it decodes", nullptr},
    CommandText{Command::kOverlayGrid, "Macroblock grid", nullptr,
                "Draw the macroblock grid over the picture", nullptr},
    CommandText{Command::kOverlayTypes, "Macroblock types", nullptr,
                "Colour each macroblock by how it is predicted", nullptr},
    CommandText{Command::kOverlayVectors, "Motion vectors", nullptr,
                "Draw each macroblock's motion vectors as arrows", nullptr},
    CommandText{Command::kOverlayQuantiser, "Quantiser heat map", nullptr,
                "Colour each macroblock by its quantiser", nullptr},
    CommandText{Command::kOverlayBits, "Bits heat map", nullptr,
                "Colour each macroblock by the bits it took", nullptr},
    CommandText{Command::kShowPicture, "Picture", nullptr, "Show the chosen frame's coding figures",
                nullptr},
    CommandText{Command::kShowStructure, "Structure", nullptr,
                "Show the stream's structure as a tree", nullptr},
    CommandText{Command::kShowBytes, "Bytes", nullptr, "Show the file's bytes in hex", nullptr},
    CommandText{Command::kGoToFrame, "Go to frame...", nullptr,
                "Show any frame, decoded from the picture before it that makes it decodable",
                nullptr},
    CommandText{Command::kFitVideo, "Fit video to window", nullptr,
                "Scale the picture to the video window instead of showing it at 1:1", nullptr},
    CommandText{Command::kShowMessages, "Messages", nullptr,
                "Show the stream's errors and warnings with their frames", nullptr},
};

QList<QKeySequence> shortcuts_of(Command command) {
  switch (command) {
    case Command::kOpen:
      return {QKeySequence(Qt::CTRL | Qt::Key_A), QKeySequence(Qt::CTRL | Qt::Key_O)};
    case Command::kCloseDocument:
      return {QKeySequence(Qt::CTRL | Qt::Key_W)};
    case Command::kExit:
      return {QKeySequence(Qt::CTRL | Qt::Key_Q)};
    case Command::kPlay:
      return {QKeySequence(Qt::Key_Space)};
    // Space pauses while playing: the two commands are never enabled together.
    case Command::kPause:
      return {QKeySequence(Qt::Key_Space), QKeySequence(Qt::Key_Pause)};
    case Command::kPlayFrame:
      return {QKeySequence(Qt::Key_Right)};
    case Command::kGoToBeginning:
      return {QKeySequence(Qt::Key_Home)};
    case Command::kPrint:
      return {QKeySequence(Qt::CTRL | Qt::Key_P)};
    case Command::kGoToFrame:
      return {QKeySequence(Qt::CTRL | Qt::Key_G)};
    default:
      return {};
  }
}

[[nodiscard]] bool is_checkable(Command command) {
  switch (command) {
    case Command::kFilterI:
    case Command::kFilterP:
    case Command::kFilterB:
    case Command::kShowGop:
    case Command::kShowFrame:
    case Command::kShowSlice:
    case Command::kShowBitrate:
    case Command::kShowVbv:
    case Command::kShowMessages:
    case Command::kFitVideo:
    case Command::kToolbar:
    case Command::kTrueColour:
    case Command::kRealTime:
    case Command::kOverlayGrid:
    case Command::kOverlayTypes:
    case Command::kOverlayVectors:
    case Command::kOverlayQuantiser:
    case Command::kOverlayBits:
    case Command::kShowPicture:
    case Command::kShowStructure:
    case Command::kShowBytes:
      return true;
    default:
      return false;
  }
}

// The toolbar pictures, drawn rather than loaded so that the program needs no resource files.
void draw_bars(QPainter& p, QColor colour) {
  p.setPen(Qt::NoPen);
  p.setBrush(colour);
  p.drawRect(2, 9, 3, 6);
  p.drawRect(6, 4, 3, 11);
  p.drawRect(10, 7, 3, 8);
}

void draw_letter(QPainter& p, const QString& text, QColor colour, QRect area) {
  QFont font = p.font();
  font.setPixelSize(area.height());
  font.setBold(true);
  p.setFont(font);
  p.setPen(colour);
  p.drawText(area, Qt::AlignCenter, text);
}

void draw_icon(QPainter& p, Command command) {
  const QColor dark(40, 40, 40);
  const QRect full(0, 0, 16, 16);
  p.setRenderHint(QPainter::Antialiasing);
  switch (command) {
    case Command::kOpen:
      p.setPen(dark);
      p.setBrush(QColor(240, 200, 80));
      p.drawRect(1, 5, 13, 9);
      p.drawRect(1, 3, 5, 2);
      break;
    case Command::kSaveInformation:
      p.setPen(dark);
      p.setBrush(QColor(60, 90, 170));
      p.drawRect(1, 1, 13, 13);
      p.setBrush(Qt::white);
      p.drawRect(4, 1, 7, 5);
      break;
    case Command::kPlay:
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(30, 150, 50));
      p.drawPolygon(QPolygon({QPoint(3, 2), QPoint(13, 8), QPoint(3, 14)}));
      break;
    case Command::kPlayFrame:
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(30, 150, 50));
      p.drawPolygon(QPolygon({QPoint(2, 2), QPoint(10, 8), QPoint(2, 14)}));
      p.setBrush(dark);
      p.drawRect(11, 2, 3, 12);
      break;
    case Command::kPause:
      p.setPen(Qt::NoPen);
      p.setBrush(dark);
      p.drawRect(3, 2, 3, 12);
      p.drawRect(10, 2, 3, 12);
      break;
    case Command::kGoToBeginning:
      p.setPen(Qt::NoPen);
      p.setBrush(dark);
      p.drawRect(2, 2, 3, 12);
      p.setBrush(QColor(30, 150, 50));
      p.drawPolygon(QPolygon({QPoint(14, 2), QPoint(6, 8), QPoint(14, 14)}));
      break;
    case Command::kMeasureWholeFile:
      p.setPen(dark);
      p.setBrush(QColor(240, 220, 140));
      p.drawRect(1, 5, 14, 6);
      for (int x = 3; x < 15; x += 3) p.drawLine(x, 5, x, x % 2 == 0 ? 9 : 7);
      break;
    case Command::kFilterI:
    case Command::kFilterP:
    case Command::kFilterB: {
      const char* letter = command == Command::kFilterI   ? "I"
                           : command == Command::kFilterP ? "P"
                                                          : "B";
      draw_letter(p, letter, dark, full);
      p.setPen(QPen(QColor(200, 30, 30), 2));
      p.drawLine(2, 14, 14, 2);
      break;
    }
    case Command::kSummary:
      draw_letter(p, QString(QChar(0x03A3)), dark, full);
      break;
    case Command::kStatistics: {
      QPainterPath curve(QPointF(1, 14));
      curve.cubicTo(QPointF(5, 14), QPointF(6, 2), QPointF(8, 2));
      curve.cubicTo(QPointF(10, 2), QPointF(11, 14), QPointF(15, 14));
      p.setPen(QPen(QColor(60, 90, 170), 2));
      p.drawPath(curve);
      break;
    }
    case Command::kShowGop:
    case Command::kShowFrame:
    case Command::kShowSlice:
      draw_bars(p, command == Command::kShowGop     ? QColor(30, 150, 50)
                   : command == Command::kShowFrame ? QColor(200, 30, 30)
                                                    : QColor(60, 90, 170));
      break;
    case Command::kShowBitrate:
      draw_bars(p, QColor(100, 149, 237));
      p.setPen(QPen(QColor(200, 30, 30), 2));
      p.drawLine(1, 6, 15, 3);
      break;
    case Command::kShowVbv:
      p.setPen(QPen(QColor(0, 0, 255), 1.5));
      p.drawPolyline(QPolygon({QPoint(1, 14), QPoint(5, 4), QPoint(5, 10), QPoint(10, 3),
                               QPoint(10, 9), QPoint(15, 2)}));
      p.setPen(dark);
      p.drawLine(0, 2, 16, 2);
      break;
    case Command::kGopGraphic:
    case Command::kFrameGraphic:
    case Command::kSliceGraphic: {
      draw_bars(p, QColor(170, 170, 170));
      const char* letter = command == Command::kGopGraphic     ? "G"
                           : command == Command::kFrameGraphic ? "F"
                                                               : "S";
      draw_letter(p, letter, dark, QRect(6, 0, 10, 10));
      break;
    }
    case Command::kAbout:
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(60, 90, 170));
      p.drawEllipse(1, 1, 14, 14);
      draw_letter(p, "?", Qt::white, QRect(1, 2, 14, 12));
      break;
    default:
      break;
  }
}

QIcon command_icon(Command command) {
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  draw_icon(painter, command);
  return QIcon(pixmap);
}

}  // namespace

CommandTable::CommandTable(QObject* owner) {
  for (const CommandText& text : kCommandTexts) {
    auto* action = new QAction(QString::fromUtf8(text.menu_text), owner);
    action->setData(static_cast<int>(text.command));
    if (text.status_prompt != nullptr) action->setStatusTip(QString::fromUtf8(text.status_prompt));
    if (text.tooltip != nullptr) action->setToolTip(QString::fromUtf8(text.tooltip));
    action->setShortcuts(shortcuts_of(text.command));
    action->setCheckable(is_checkable(text.command));
    if (toolbar_layout().contains(text.command)) action->setIcon(command_icon(text.command));
    actions_.append(action);
  }
}

QAction* CommandTable::operator[](Command command) const {
  for (QAction* action : actions_) {
    if (action->data().toInt() == static_cast<int>(command)) return action;
  }
  return nullptr;
}

void CommandTable::use_menu_texts(bool document_open) {
  for (const CommandText& text : kCommandTexts) {
    const char* name =
        !document_open && text.no_document_text != nullptr ? text.no_document_text : text.menu_text;
    QAction* action = (*this)[text.command];
    // setText would also replace a tooltip that was never set apart from the text.
    const QString tooltip = action->toolTip();
    action->setText(QString::fromUtf8(name));
    if (text.tooltip != nullptr) action->setToolTip(tooltip);
  }
}

QList<Command> CommandTable::toolbar_layout() {
  return {Command::kOpen,
          Command::kSaveInformation,
          kSeparator,
          Command::kPlay,
          Command::kPlayFrame,
          Command::kPause,
          Command::kGoToBeginning,
          Command::kMeasureWholeFile,
          kSeparator,
          Command::kFilterI,
          Command::kFilterP,
          Command::kFilterB,
          kSeparator,
          Command::kSummary,
          Command::kStatistics,
          kSeparator,
          Command::kShowGop,
          Command::kShowFrame,
          Command::kShowSlice,
          Command::kShowBitrate,
          Command::kShowVbv,
          kSeparator,
          Command::kGopGraphic,
          Command::kFrameGraphic,
          Command::kSliceGraphic,
          kSeparator,
          Command::kAbout};
}

}  // namespace tavik::gui
