#pragma once

#include <QList>
#include <memory>

#include "charts/timing_chart.h"
#include "playback/timing_share.h"
#include "playback/window_kind.h"

class QWidget;

namespace tavik::gui {

class DialogService;
class DocumentWindow;
class ViewActions;

// The Bitrate and VBV buffer windows: their settings, their views and their configuration.
class TimingWindows {
 public:
  TimingWindows(std::shared_ptr<const TimingShare> timing, DialogService& dialogs,
                ViewActions& actions);

  // A new view of kind WindowKind::kBitrate or WindowKind::kVbv.
  [[nodiscard]] QWidget* make_view(WindowKind kind);
  // Runs the chart's configuration dialog; OK gives the settings to its open windows.
  void configure(WindowKind kind, QWidget* parent, const QList<DocumentWindow*>& windows);

 private:
  [[nodiscard]] TimingChartSettings& settings_of(WindowKind kind);

  const std::shared_ptr<const TimingShare> timing_;
  DialogService& dialogs_;
  ViewActions& actions_;
  TimingChartSettings bitrate_;
  TimingChartSettings vbv_;
};

}  // namespace tavik::gui
