#include "views/analysis_placeholder_view.h"

#include <QPainter>

namespace tavik::gui {

AnalysisPlaceholderView::AnalysisPlaceholderView(WindowKind kind, const AnalysisStore& store,
                                                 QWidget* parent)
    : QWidget(parent), kind_(kind), store_(store) {
  setAutoFillBackground(true);
  QPalette colours = palette();
  colours.setColor(QPalette::Window, Qt::white);
  setPalette(colours);
}

void AnalysisPlaceholderView::paintEvent(QPaintEvent* /*event*/) {
  const QString title =
      store_.read([this](const StoreData& stored) { return analysis_window_title(kind_, stored); });
  if (parentWidget() != nullptr) parentWidget()->setWindowTitle(title);
}

QString analysis_window_title(WindowKind kind, const StoreData& data) {
  switch (kind) {
    case WindowKind::frame_chart:
      return QStringLiteral("Bytes/frame. Frame: %1").arg(static_cast<uint32_t>(data.last_frame));
    case WindowKind::gop_chart:
      return QStringLiteral("Bytes/gop. Gop: %1").arg(static_cast<uint32_t>(data.open_gop));
    case WindowKind::slice_chart:
      return QStringLiteral("Bytes/Slices");
    case WindowKind::frame_list:
      return QStringLiteral("Frames Information");
    case WindowKind::gop_list:
      return QStringLiteral("Gops Information");
    case WindowKind::slice_list:
      return QStringLiteral("Slices Information");
    case WindowKind::statistics:
      return QStringLiteral("Statistics");
    case WindowKind::video:
      break;
  }
  return {};
}

}  // namespace tavik::gui
