#include "views/structure_link.h"

#include "session/picture_macroblocks.h"

namespace tavik::gui {

StructureLink::~StructureLink() {
  if (searcher_.joinable()) searcher_.join();
  if (decoder_.joinable()) decoder_.join();
}

void StructureLink::request_macroblocks(uint32_t picture) {
  if (!tree_ || tree_->has_macroblocks(picture) || decoding_ == picture) return;
  if (decoding_) {
    next_decode_ = picture;
    return;
  }
  if (decoder_.joinable()) decoder_.join();
  decoding_ = picture;
  decoder_ = std::thread([this, structure = structure_, picture, serial = structures_] {
    auto kept = std::make_shared<KeptPicture>();
    int field_order = 0;
    // A picture that cannot be decoded gets no macroblocks, so that it is not asked for again.
    (void)decode_macroblocks(structure->index, *structure->file, picture, picture,
                             [&](uint32_t, const PictureMacroblocks& macroblocks, int order) {
                               kept->records.assign(macroblocks.records.begin(),
                                                    macroblocks.records.end());
                               kept->picture = macroblocks;
                               field_order = order;
                             });
    kept->picture.records = kept->records;
    QMetaObject::invokeMethod(
        this,
        [this, kept, field_order, picture, serial] {
          decoding_.reset();
          if (serial == structures_) {
            tree_->set_macroblocks(picture, kept->picture, field_order);
            emit macroblocks_ready(picture);
          }
          if (const std::optional<uint32_t> next = std::exchange(next_decode_, std::nullopt)) {
            request_macroblocks(*next);
          }
        },
        Qt::QueuedConnection);
  });
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
  next_decode_.reset();
  tree_.reset();
  structure_ = std::move(structure);
  if (structure_ && structure_->file) {
    tree_ = std::make_unique<StructureTree>(structure_->index, *structure_->file);
    tree_->show_macroblocks(true);
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
