#include "views/structure_model.h"

#include <QBrush>
#include <algorithm>
#include <vector>

namespace tavik::gui {

namespace {

[[nodiscard]] QString offset_text(int64_t bit_offset) {
  const QString byte = QString::number(bit_offset / 8);
  return bit_offset % 8 == 0 ? byte : QStringLiteral("%1 bit %2").arg(byte).arg(bit_offset % 8);
}

}  // namespace

StructureModel::StructureModel(StructureLink& link, QObject* parent)
    : QAbstractItemModel(parent), link_(link) {
  connect(&link_, &StructureLink::structure_changed, this, [this] { reset(); });
}

void StructureModel::reset() {
  beginResetModel();
  fetched_.clear();
  cached_node_.reset();
  endResetModel();
}

NodeId StructureModel::node_of(const QModelIndex& index) const {
  return index.isValid() ? NodeId{index.internalId()} : NodeId::make(NodeKind::kRoot);
}

uint64_t StructureModel::fetched(NodeId node) const {
  const auto found = fetched_.find(node.value);
  return found == fetched_.end() ? 0 : found->second;
}

QModelIndex StructureModel::index(int row, int column, const QModelIndex& parent) const {
  const NodeId node = node_of(parent);
  if (row < 0 || column < 0 || column >= kColumns || uint64_t(row) >= fetched(node)) return {};
  return createIndex(row, column, quintptr(link_.tree().child(node, uint64_t(row)).value));
}

QModelIndex StructureModel::parent(const QModelIndex& child) const {
  if (!child.isValid()) return {};
  const NodeId up = link_.tree().parent(node_of(child));
  if (up.kind() == NodeKind::kRoot) return {};
  return createIndex(int(link_.tree().row(up)), 0, quintptr(up.value));
}

int StructureModel::rowCount(const QModelIndex& parent) const {
  if (!link_.has_structure() || parent.column() > 0) return 0;
  return int(fetched(node_of(parent)));
}

int StructureModel::columnCount(const QModelIndex& /*parent*/) const {
  return kColumns;
}

bool StructureModel::hasChildren(const QModelIndex& parent) const {
  if (!link_.has_structure() || parent.column() > 0) return false;
  return link_.tree().child_count(node_of(parent)) > 0;
}

bool StructureModel::canFetchMore(const QModelIndex& parent) const {
  if (!link_.has_structure() || parent.column() > 0) return false;
  const NodeId node = node_of(parent);
  return fetched(node) < link_.tree().child_count(node);
}

void StructureModel::fetchMore(const QModelIndex& parent) {
  if (parent.column() > 0) return;
  const NodeId node = node_of(parent);
  fetch_to(parent, node, fetched(node) + 1);
}

void StructureModel::fetch_to(const QModelIndex& parent, NodeId node, uint64_t rows) {
  const uint64_t have = fetched(node);
  if (rows <= have) return;
  const uint64_t total = link_.tree().child_count(node);
  const uint64_t wanted = std::min(total, (rows + kBatch - 1) / kBatch * kBatch);
  if (wanted <= have) return;
  beginInsertRows(parent, int(have), int(wanted - 1));
  fetched_[node.value] = wanted;
  endInsertRows();
}

QModelIndex StructureModel::index_of(NodeId node) {
  if (!link_.has_structure()) return {};
  std::vector<NodeId> path;
  for (NodeId at = node; at.kind() != NodeKind::kRoot; at = link_.tree().parent(at)) {
    path.push_back(at);
  }
  QModelIndex item;
  NodeId above = NodeId::make(NodeKind::kRoot);
  for (auto step = path.rbegin(); step != path.rend(); ++step) {
    const uint64_t row = link_.tree().row(*step);
    fetch_to(item, above, row + 1);
    item = index(int(row), 0, item);
    above = *step;
  }
  return item;
}

QVariant StructureModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || !link_.has_structure()) return {};
  if (role != Qt::DisplayRole && role != Qt::ToolTipRole && role != Qt::ForegroundRole) return {};
  const NodeInfo& info = info_of(node_of(index));
  if (role == Qt::ForegroundRole) return info.damaged ? QVariant(QBrush(Qt::red)) : QVariant();
  switch (index.column()) {
    case 0:
      return QString::fromStdString(info.name);
    case 1:
      return QString::fromStdString(info.value);
    case 2:
      return QString::fromStdString(info.meaning);
    case 3:
      return offset_text(info.bit_offset);
    case 4:
      return QString::number(info.bits);
    default:
      return {};
  }
}

const NodeInfo& StructureModel::info_of(NodeId node) const {
  if (cached_node_ != node) {
    cached_info_ = link_.tree().info(node);
    cached_node_ = node;
  }
  return cached_info_;
}

QVariant StructureModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  static constexpr const char* kTitles[kColumns] = {"Element", "Value", "Meaning", "Offset",
                                                    "Bits"};
  return section >= 0 && section < kColumns ? QString::fromLatin1(kTitles[section]) : QVariant();
}

}  // namespace tavik::gui
