#pragma once

#include <QTreeWidget>
#include <cstdint>

#include "playback/message_log.h"
#include "views/printing.h"

namespace tavik::gui {

// The Messages window: every warning and error of the session being played, with the frame
// being read when it came, in the order they came.
class MessagesView final : public QTreeWidget, public PrintableView {
  Q_OBJECT

 public:
  explicit MessagesView(MessageLog& log, QWidget* parent = nullptr);

  // Adds what the log has gained since the last refresh (starting over after a new session).
  void refresh();
  // Every text with its frame.
  [[nodiscard]] PrintedView printed() override;

 private:
  MessageLog& log_;
  uint64_t session_ = 0;
};

}  // namespace tavik::gui
