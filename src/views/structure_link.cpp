#include "views/structure_link.h"

namespace tavik::gui {

StructureLink::~StructureLink() {
  if (searcher_.joinable()) searcher_.join();
}

bool StructureLink::search(const std::string& query, NodeId after) {
  if (searching_ || !tree_) return false;
  if (searcher_.joinable()) searcher_.join();
  searching_ = true;
  searcher_ = std::thread([this, structure = structure_, query, after, serial = structures_] {
    StructureTree tree(structure->index, *structure->file);
    const std::optional<NodeId> found = tree.find(query, after);
    QMetaObject::invokeMethod(
        this,
        [this, found, serial] {
          searching_ = false;
          if (serial != structures_) return;
          if (found) select(*found);
          emit search_done(found.has_value());
        },
        Qt::QueuedConnection);
  });
  return true;
}

void StructureLink::set_structure(std::shared_ptr<const FileStructure> structure) {
  ++structures_;
  tree_.reset();
  structure_ = std::move(structure);
  if (structure_ && structure_->file) {
    tree_ = std::make_unique<StructureTree>(structure_->index, *structure_->file);
  }
  selected_ = NodeId::make(NodeKind::kRoot);
  emit structure_changed();
}

void StructureLink::select(NodeId node) {
  if (node == selected_ || !tree_) return;
  selected_ = node;
  emit selection_changed(node.value);
}

std::optional<uint32_t> StructureLink::picture_of(NodeId node) const {
  if (!tree_ || StructureTree::is_container(node)) return std::nullopt;
  for (; node.kind() != NodeKind::kRoot; node = tree_->parent(node)) {
    if (node.kind() == NodeKind::kPicture) return node.index();
  }
  return std::nullopt;
}

}  // namespace tavik::gui
