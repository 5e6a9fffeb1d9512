#pragma once

#include <QAbstractItemModel>
#include <optional>
#include <unordered_map>

#include "views/structure_link.h"

namespace tavik::gui {

// The structure tree as an item model: each item's internal id is its node, and a node's
// children are fetched as it is expanded (a batch at a time), so that a file of millions of
// nodes opens at once. Columns: element, value, meaning, offset (byte, and bit when it does not
// start on a byte), bits.
class StructureModel final : public QAbstractItemModel {
  Q_OBJECT

 public:
  static constexpr int kColumns = 5;
  static constexpr uint64_t kBatch = 1000;

  explicit StructureModel(StructureLink& link, QObject* parent = nullptr);

  [[nodiscard]] NodeId node_of(const QModelIndex& index) const;
  // The node's item, its ancestors' children fetched up to it.
  [[nodiscard]] QModelIndex index_of(NodeId node);
  // Children fetched so far.
  [[nodiscard]] uint64_t fetched(NodeId node) const;

  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  bool hasChildren(const QModelIndex& parent = {}) const override;
  bool canFetchMore(const QModelIndex& parent) const override;
  void fetchMore(const QModelIndex& parent) override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  void reset();
  // Fetches the node's children up to `rows` (rounded up to a batch).
  void fetch_to(const QModelIndex& parent, NodeId node, uint64_t rows);
  // The node's info, read once for all the columns and roles of its row.
  [[nodiscard]] const NodeInfo& info_of(NodeId node) const;

  StructureLink& link_;
  std::unordered_map<uint64_t, uint64_t> fetched_;
  mutable std::optional<NodeId> cached_node_;
  mutable NodeInfo cached_info_;
};

}  // namespace tavik::gui
