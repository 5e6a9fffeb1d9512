#include "app/timing_windows.h"

#include "app/document_window.h"
#include "views/dialog_service.h"
#include "views/timing_chart_view.h"
#include "views/timing_settings_dialog.h"

namespace tavik::gui {

TimingWindows::TimingWindows(std::shared_ptr<const TimingShare> timing, DialogService& dialogs,
                             ViewActions& actions)
    : timing_(std::move(timing)), dialogs_(dialogs), actions_(actions) {
  // The buffer chart's Y axis ends at the buffer size unless asked otherwise.
  vbv_.y_limit = 2000;
}

TimingChartSettings& TimingWindows::settings_of(WindowKind kind) {
  return kind == WindowKind::kVbv ? vbv_ : bitrate_;
}

QWidget* TimingWindows::make_view(WindowKind kind) {
  return new TimingChartView(kind, timing_, settings_of(kind), actions_);
}

void TimingWindows::configure(WindowKind kind, QWidget* parent,
                              const QList<DocumentWindow*>& windows) {
  TimingSettingsDialog dialog(kind, settings_of(kind), dialogs_, parent);
  if (!dialogs_.run_dialog(dialog)) return;
  settings_of(kind) = dialog.fields();
  for (DocumentWindow* window : windows) {
    if (auto* view = qobject_cast<TimingChartView*>(window->widget())) {
      view->set_settings(settings_of(kind));
    }
  }
}

}  // namespace tavik::gui
