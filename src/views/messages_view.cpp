#include "views/messages_view.h"

#include <QHeaderView>

namespace tavik::gui {

MessagesView::MessagesView(MessageLog& log, QWidget* parent) : QTreeWidget(parent), log_(log) {
  setHeaderLabels({QStringLiteral("Frame"), QStringLiteral("Message")});
  setRootIsDecorated(false);
  setUniformRowHeights(true);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  header()->setStretchLastSection(true);
  refresh();
}

void MessagesView::refresh() {
  MessageLog::News news = log_.news(session_, size_t(topLevelItemCount()));
  if (news.restarted) clear();
  session_ = news.session;
  QList<QTreeWidgetItem*> rows;
  rows.reserve(qsizetype(news.added.size()));
  for (const RaisedMessage& message : news.added) {
    rows.append(new QTreeWidgetItem(
        {QString::number(message.frame), QString::fromStdString(message.text)}));
  }
  addTopLevelItems(rows);
  if (!rows.isEmpty() && rows.size() == topLevelItemCount()) resizeColumnToContents(0);
}

PrintedView MessagesView::printed() {
  refresh();
  PrintedView view;
  for (int row = 0; row < topLevelItemCount(); ++row) {
    const QTreeWidgetItem* item = topLevelItem(row);
    view.lines << QStringLiteral("Frame %1: %2").arg(item->text(0), item->text(1));
  }
  return view;
}

}  // namespace tavik::gui
