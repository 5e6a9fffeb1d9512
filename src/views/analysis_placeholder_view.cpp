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
    case WindowKind::kFrameChart:
      return QStringLiteral("Bytes/frame. Frame: %1").arg(static_cast<uint32_t>(data.last_frame));
    case WindowKind::kGopChart:
      return QStringLiteral("Bytes/gop. Gop: %1").arg(static_cast<uint32_t>(data.open_gop));
    case WindowKind::kSliceChart:
      return QStringLiteral("Bytes/Slices");
    case WindowKind::kFrameList:
      return QStringLiteral("Frames Information");
    case WindowKind::kGopList:
      return QStringLiteral("Gops Information");
    case WindowKind::kSliceList:
      return QStringLiteral("Slices Information");
    case WindowKind::kStatistics:
      return QStringLiteral("Statistics");
    case WindowKind::kVideo:
      break;
  }
  return {};
}

}  // namespace tavik::gui
