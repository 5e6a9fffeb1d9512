#include "views/structure_view.h"

#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

namespace tavik::gui {

StructureView::StructureView(StructureLink& link, QWidget* parent)
    : QWidget(parent), link_(link), model_(link) {
  search_ = new QLineEdit(this);
  search_->setPlaceholderText(QStringLiteral("Element name or value"));
  auto* find = new QPushButton(QStringLiteral("Find next"), this);
  auto* previous = new QPushButton(QStringLiteral("Previous of this type"), this);
  auto* next = new QPushButton(QStringLiteral("Next of this type"), this);
  auto* bar = new QHBoxLayout;
  bar->addWidget(search_, 1);
  bar->addWidget(find);
  bar->addWidget(previous);
  bar->addWidget(next);

  tree_ = new QTreeView(this);
  tree_->setModel(&model_);
  tree_->setUniformRowHeights(true);
  tree_->header()->setStretchLastSection(false);
  tree_->header()->resizeSection(0, 220);
  note_ = new QLabel(this);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(2, 2, 2, 2);
  layout->addLayout(bar);
  layout->addWidget(tree_, 1);
  layout->addWidget(note_);

  connect(find, &QPushButton::clicked, this, [this] { find_next(); });
  connect(search_, &QLineEdit::returnPressed, this, [this] { find_next(); });
  connect(previous, &QPushButton::clicked, this, [this] { step_picture(false); });
  connect(next, &QPushButton::clicked, this, [this] { step_picture(true); });
  connect(tree_->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& current) { link_.select(model_.node_of(current)); });
  connect(&link_, &StructureLink::selection_changed, this,
          [this](quint64 node) { follow(NodeId{node}); });
  connect(&link_, &StructureLink::structure_changed, this, [this] { structure_changed(); });
  connect(&link_, &StructureLink::search_done, this, [this](bool found) {
    note_->setText(found ? QString()
                         : QStringLiteral("\"%1\" not found further on.").arg(search_->text()));
  });
  structure_changed();
}

void StructureView::structure_changed() {
  note_->setText(link_.has_structure() ? QString()
                                       : QStringLiteral("The structure comes with the measure "
                                                        "of the whole file."));
  if (link_.has_structure()) model_.fetchMore({});
  follow(link_.selected());
}

void StructureView::follow(NodeId node) {
  if (!link_.has_structure() || node.kind() == NodeKind::kRoot) return;
  if (model_.node_of(tree_->currentIndex()) == node) return;
  const QModelIndex item = model_.index_of(node);
  tree_->setCurrentIndex(item);
  tree_->scrollTo(item);
}

bool StructureView::find_next() {
  if (!link_.has_structure() || search_->text().isEmpty()) return false;
  if (!link_.search(search_->text().toStdString(), link_.selected())) return false;
  note_->setText(QStringLiteral("Searching..."));
  return true;
}

bool StructureView::step_picture(bool forward) {
  const std::optional<uint32_t> picture = link_.picture_of(link_.selected());
  if (!picture) return false;
  const int type = link_.structure().index.pictures[*picture].type;
  const std::optional<NodeId> found = link_.tree().next_picture(*picture, type, forward);
  if (found) link_.select(*found);
  return found.has_value();
}

void StructureView::contextMenuEvent(QContextMenuEvent* event) {
  const QModelIndex under = tree_->indexAt(tree_->viewport()->mapFrom(this, event->pos()));
  const std::optional<uint32_t> picture =
      link_.picture_of(under.isValid() ? model_.node_of(under) : link_.selected());
  if (!picture) return;
  QMenu menu(this);
  menu.addAction(QStringLiteral("Show this picture"),
                 [this, p = *picture] { link_.request_picture(p); });
  menu.exec(event->globalPos());
}

}  // namespace tavik::gui
