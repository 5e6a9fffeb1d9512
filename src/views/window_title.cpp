#include "views/window_title.h"

#include "charts/bar_chart.h"
#include "charts/info_list.h"

namespace tavik::gui {

namespace {

[[nodiscard]] QString text_of(std::string_view text) {
  return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

}  // namespace

QString analysis_window_title(WindowKind kind, const StoreData& data) {
  switch (kind) {
    case WindowKind::kFrameChart:
      return text_of(chart_title(ChartKind::kFrame, data));
    case WindowKind::kGopChart:
      return text_of(chart_title(ChartKind::kGop, data));
    case WindowKind::kSliceChart:
      return text_of(chart_title(ChartKind::kSlice, data));
    case WindowKind::kFrameList:
      return text_of(list_title(ListKind::kFrames));
    case WindowKind::kGopList:
      return text_of(list_title(ListKind::kGops));
    case WindowKind::kSliceList:
      return text_of(list_title(ListKind::kSlices));
    case WindowKind::kStatistics:
      return QStringLiteral("Statistics");
    case WindowKind::kBitrate:
      return QStringLiteral("Bitrate");
    case WindowKind::kVbv:
      return QStringLiteral("VBV buffer");
    case WindowKind::kPicture:
      return QStringLiteral("Picture");
    case WindowKind::kStructure:
      return QStringLiteral("Structure");
    case WindowKind::kBytes:
      return QStringLiteral("Bytes");
    case WindowKind::kMessages:
      return QStringLiteral("Messages");
    case WindowKind::kVideo:
      break;
  }
  return {};
}

}  // namespace tavik::gui
