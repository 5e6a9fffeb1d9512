#include "app/structure_windows.h"

#include "app/go_to_frame_dialog.h"
#include "structure/seek_plan.h"
#include "views/bytes_view.h"
#include "views/structure_view.h"

namespace tavik::gui {

StructureWindows::StructureWindows(PlaybackController& controller, ViewState& state,
                                   DialogService& dialogs, QWidget& parent, Hooks hooks)
    : controller_(controller),
      state_(state),
      dialogs_(dialogs),
      parent_(parent),
      hooks_(std::move(hooks)) {
  connect(&link_, &StructureLink::selection_changed, this, [this] { mark_selected_picture(); });
  connect(&link_, &StructureLink::picture_requested, this,
          [this](quint32 picture) { show_picture(picture); });
}

QWidget* StructureWindows::make_view(WindowKind kind) {
  // Opened from the menu without a structure: the measure builds it.
  QMetaObject::invokeMethod(
      this, [this] { ensure_structure(false, {}); }, Qt::QueuedConnection);
  if (kind == WindowKind::kStructure) return new StructureView(link_);
  return new BytesView(link_);
}

bool StructureWindows::ensure_structure(bool whole, std::function<void()> then) {
  const std::shared_ptr<const FileStructure> built = controller_.structure();
  if (built && (!whole || controller_.structure_complete())) {
    if (!link_.has_structure() || &link_.structure() != built.get()) link_.set_structure(built);
    return true;
  }
  pending_ = std::move(then);
  if (!controller_.state().measuring) hooks_.measure_whole_file();
  return false;
}

void StructureWindows::measure_done(bool completed) {
  link_.set_structure(controller_.structure());
  std::function<void()> then = std::exchange(pending_, {});
  if (completed && then && controller_.structure_complete()) then();
}

void StructureWindows::clear() {
  pending_ = {};
  state_.marked_frame = -1;
  link_.set_structure(nullptr);
}

void StructureWindows::mark_selected_picture() {
  const std::optional<uint32_t> picture = link_.picture_of(link_.selected());
  const int64_t marked = picture ? int64_t(*picture) : -1;
  if (marked == state_.marked_frame) return;
  state_.marked_frame = marked;
  hooks_.repaint(WindowKind::kFrameChart);
}

void StructureWindows::show_in_structure(int64_t picture) {
  if (!ensure_structure(false, [this, picture] { show_in_structure(picture); })) return;
  if (picture < 0 || uint64_t(picture) >= link_.structure().index.pictures.size()) return;
  hooks_.open_if_closed(WindowKind::kStructure);
  hooks_.open_if_closed(WindowKind::kBytes);
  link_.select(link_.tree().picture(uint32_t(picture)));
}

void StructureWindows::show_picture(int64_t picture) {
  if (!ensure_structure(true, [this, picture] { show_picture(picture); })) return;
  if (picture < 0 || !controller_.show_picture(uint32_t(picture))) {
    dialogs_.show_message(&parent_, MessageIcon::kWarning,
                          QStringLiteral("This picture cannot be shown: no group of pictures "
                                         "before it starts with an I picture."));
  }
}

void StructureWindows::go_to_frame() {
  if (!ensure_structure(true, [this] { go_to_frame(); })) return;
  const StreamIndex& index = link_.structure().index;
  const auto frames = int32_t(std::min<uint64_t>(frame_count(index), INT32_MAX));
  GoToFrameDialog dialog(0, frames, dialogs_, &parent_);
  if (!dialogs_.run_dialog(dialog)) return;
  const std::optional<uint32_t> picture = picture_of_frame(index, uint64_t(dialog.frame()));
  if (picture) show_picture(*picture);
}

}  // namespace tavik::gui
