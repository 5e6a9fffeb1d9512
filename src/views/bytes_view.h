#pragma once

#include <QAbstractScrollArea>
#include <vector>

#include "views/structure_link.h"

namespace tavik::gui {

// The Bytes window: the file in hex and ASCII, sixteen bytes a row, only the rows in view read
// from the file. Its first line names the selected node and, for one that does not start or
// end on a byte boundary, gives its bits; the node's bytes are highlighted. A click on a byte
// selects the innermost node holding it.
class BytesView final : public QAbstractScrollArea {
  Q_OBJECT

 public:
  explicit BytesView(StructureLink& link, QWidget* parent = nullptr);

  // The file offset of the byte under a point of the viewport, or -1.
  [[nodiscard]] int64_t byte_at(QPoint point) const;
  // The point of the viewport where a byte's hex digits are drawn (it must be in view).
  [[nodiscard]] QPoint point_of(uint64_t byte) const;
  [[nodiscard]] uint64_t first_row() const;
  // The first line: the selected node and its bits.
  [[nodiscard]] QString selection_line() const { return selection_line_; }
  [[nodiscard]] bool highlighted(uint64_t byte) const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void follow(NodeId node);
  void update_range();
  [[nodiscard]] int visible_rows() const;

  StructureLink& link_;
  std::vector<PayloadMap::Span> spans_;  // of the selected node, in file order
  QString selection_line_;
  int char_width_ = 8;
  int row_height_ = 16;
};

}  // namespace tavik::gui
