#pragma once

#include <QString>

#include "analysis/analysis_store.h"
#include "playback/window_kind.h"

namespace tavik::gui {

// The title an analysis window shows for the store's present contents, the same its view sets
// at every paint.
[[nodiscard]] QString analysis_window_title(WindowKind kind, const StoreData& data);

}  // namespace tavik::gui
