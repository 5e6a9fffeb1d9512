#pragma once

#include <QAbstractScrollArea>
#include <QTimer>
#include <cstdint>
#include <memory>
#include <string>

#include "charts/timing_chart.h"
#include "playback/timing_share.h"
#include "playback/window_kind.h"
#include "views/view_actions.h"

namespace tavik::gui {

// The Bitrate and VBV buffer windows: a horizontally scrolling chart of the pictures' timing.
// While the stream is read, a worker of the thread pool recomputes the figures from each new
// copy of the timing and hands them back through a mailbox the window polls: the window
// thread never waits for the computation.
class TimingChartView final : public QAbstractScrollArea, public ExportableView {
  Q_OBJECT

 public:
  // `kind` is WindowKind::kBitrate or WindowKind::kVbv.
  TimingChartView(WindowKind kind, std::shared_ptr<const TimingShare> timing,
                  const TimingChartSettings& settings, ViewActions& actions,
                  QWidget* parent = nullptr);

  void set_settings(const TimingChartSettings& settings);
  // The pictures of the figures shown.
  [[nodiscard]] int64_t pictures_shown() const { return figures_.pictures; }
  // Horizontal zoom: the time scale `factor` times wider, the time at pointer_x kept in place.
  void zoom_at(double factor, int pointer_x);
  void export_picture(bool svg) override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  struct Figures {
    BitrateReport bitrate;
    int64_t nominal = 0;
    std::string problem;  // why the timeline has no times
    VbvReport vbv;
    int64_t pictures = 0;
  };
  struct Mailbox;

  void poll();
  [[nodiscard]] TimingChartSettings zoomed() const;
  [[nodiscard]] ChartScene build(int scroll_x) const;
  [[nodiscard]] QString click_message(QPoint point) const;

  const WindowKind kind_;
  const std::shared_ptr<const TimingShare> timing_;
  ViewActions& actions_;
  TimingChartSettings settings_;
  double zoom_ = 1.0;
  std::shared_ptr<Mailbox> mailbox_;
  uint64_t asked_serial_ = 0;  // of the timing the last computation was given
  bool settings_changed_ = false;
  Figures figures_;
  ChartScene last_scene_;  // the hit boxes of the last paint
  QTimer poll_timer_;
};

}  // namespace tavik::gui
