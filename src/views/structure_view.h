#pragma once

#include <QWidget>

#include "views/structure_link.h"
#include "views/structure_model.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTreeView;

namespace tavik::gui {

// The Structure window: the stream's tree, a search for an element's name or value and the
// next or previous picture of the selected one's type. It selects what the Bytes window
// selects, and the other way round.
class StructureView final : public QWidget {
  Q_OBJECT

 public:
  explicit StructureView(StructureLink& link, QWidget* parent = nullptr);

  [[nodiscard]] QTreeView* tree_view() const { return tree_; }
  [[nodiscard]] StructureModel& model() { return model_; }
  [[nodiscard]] QLineEdit* search_edit() const { return search_; }
  // Starts the search from the selected node on (false while one runs); what it finds is
  // selected, and a note under the tree says when nothing further matches.
  bool find_next();
  // The next (or previous) picture of the selected picture's type.
  bool step_picture(bool forward);

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void follow(NodeId node);
  void structure_changed();

  StructureLink& link_;
  StructureModel model_;
  QTreeView* tree_ = nullptr;
  QLineEdit* search_ = nullptr;
  QLabel* note_ = nullptr;
};

}  // namespace tavik::gui
