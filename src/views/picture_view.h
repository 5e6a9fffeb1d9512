#pragma once

#include <QAbstractScrollArea>
#include <string>
#include <vector>

#include "analysis/analysis_store.h"
#include "playback/playback_controller.h"
#include "views/view_actions.h"

namespace tavik::gui {

// The Picture window: the figures of the frame chosen in the Bytes/frame chart and the counts
// of its macroblocks, which the session records while this window is open.
class PictureView final : public QAbstractScrollArea {
  Q_OBJECT

 public:
  PictureView(AnalysisStore& store, const PlaybackController& controller, ViewState& state,
              ViewActions& actions, QWidget* parent = nullptr);

  // The lines the window shows now.
  [[nodiscard]] QStringList lines() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  [[nodiscard]] std::vector<std::string> texts() const;

  AnalysisStore& store_;
  const PlaybackController& controller_;
  ViewState& state_;
  ViewActions& actions_;
};

}  // namespace tavik::gui
