#pragma once

#include <QObject>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "structure/file_structure.h"
#include "structure/structure_tree.h"

namespace tavik::gui {

// What the Structure and Bytes windows share: the file's structure, one tree read from it on
// the window thread, and the node selected in either window, which both follow. A search reads
// the file header by header on a thread of its own, with a tree of its own.
class StructureLink final : public QObject {
  Q_OBJECT

 public:
  StructureLink() = default;
  // Waits for a search in progress.
  ~StructureLink() override;

  // A new structure (null: none); the selection goes back to the root.
  void set_structure(std::shared_ptr<const FileStructure> structure);
  [[nodiscard]] bool has_structure() const { return tree_ != nullptr; }
  [[nodiscard]] StructureTree& tree() const { return *tree_; }
  [[nodiscard]] const FileStructure& structure() const { return *structure_; }

  void select(NodeId node);
  [[nodiscard]] NodeId selected() const { return selected_; }
  // The picture holding the node, if it is in one.
  [[nodiscard]] std::optional<uint32_t> picture_of(NodeId node) const;

  // Starts the search for an element's name, value or meaning after `after`; search_done then
  // tells whether one was found (and selected). False, and nothing starts, while one runs.
  bool search(const std::string& query, NodeId after);
  [[nodiscard]] bool searching() const { return searching_; }

  // A window asks for the frame of a picture in the video window.
  void request_picture(uint32_t picture) { emit picture_requested(picture); }

 signals:
  void structure_changed();
  void selection_changed(quint64 node);
  void picture_requested(quint32 picture);
  void search_done(bool found);

 private:
  std::shared_ptr<const FileStructure> structure_;
  std::unique_ptr<StructureTree> tree_;
  NodeId selected_;
  std::thread searcher_;
  bool searching_ = false;
  uint64_t structures_ = 0;  // set so far: a search's result for an earlier one is dropped
};

}  // namespace tavik::gui
