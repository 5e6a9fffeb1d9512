#pragma once

#include <QObject>
#include <cstdint>
#include <memory>
#include <optional>

#include "structure/file_structure.h"
#include "structure/structure_tree.h"

namespace tavik::gui {

// What the Structure and Bytes windows share: the file's structure, one tree read from it on
// the window thread, and the node selected in either window, which both follow.
class StructureLink final : public QObject {
  Q_OBJECT

 public:
  // A new structure (null: none); the selection goes back to the root.
  void set_structure(std::shared_ptr<const FileStructure> structure);
  [[nodiscard]] bool has_structure() const { return tree_ != nullptr; }
  [[nodiscard]] StructureTree& tree() const { return *tree_; }
  [[nodiscard]] const FileStructure& structure() const { return *structure_; }

  void select(NodeId node);
  [[nodiscard]] NodeId selected() const { return selected_; }
  // The picture holding the node, if it is in one.
  [[nodiscard]] std::optional<uint32_t> picture_of(NodeId node) const;

  // A window asks for the frame of a picture in the video window.
  void request_picture(uint32_t picture) { emit picture_requested(picture); }

 signals:
  void structure_changed();
  void selection_changed(quint64 node);
  void picture_requested(quint32 picture);

 private:
  std::shared_ptr<const FileStructure> structure_;
  std::unique_ptr<StructureTree> tree_;
  NodeId selected_;
};

}  // namespace tavik::gui
