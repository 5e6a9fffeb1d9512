#include "views/bytes_view.h"

#include <QFontDatabase>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>

#include "structure/hex_page.h"

namespace tavik::gui {

namespace {

constexpr int kOffsetChars = 12;
constexpr int kHexColumn = kOffsetChars + 2;                     // in characters
constexpr int kAsciiColumn = kHexColumn + kHexRowBytes * 3 + 1;  // in characters
// Larger nodes are highlighted in the stretch they begin with: their spans are not listed.
constexpr uint64_t kMostListedBits = uint64_t{1} << 28;
constexpr size_t kMostShownBits = 64;

}  // namespace

BytesView::BytesView(StructureLink& link, QWidget* parent)
    : QAbstractScrollArea(parent), link_(link) {
  setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  const QFontMetrics metrics(font());
  char_width_ = std::max(1, metrics.horizontalAdvance(QLatin1Char('0')));
  row_height_ = std::max(1, metrics.height());
  connect(&link_, &StructureLink::selection_changed, this,
          [this](quint64 node) { follow(NodeId{node}); });
  connect(&link_, &StructureLink::structure_changed, this, [this] {
    update_range();
    follow(link_.selected());
  });
  update_range();
}

int BytesView::visible_rows() const {
  // The first line is the selection's.
  return std::max(1, viewport()->height() / row_height_ - 1);
}

void BytesView::update_range() {
  const uint64_t rows = link_.has_structure() ? hex_row_count(link_.structure().file->size()) : 0;
  const auto last = int64_t(rows) - visible_rows();
  verticalScrollBar()->setRange(0, int(std::clamp<int64_t>(last, 0, INT32_MAX)));
  verticalScrollBar()->setPageStep(visible_rows());
  horizontalScrollBar()->setRange(
      0, std::max(0, (kAsciiColumn + kHexRowBytes + 1) * char_width_ - viewport()->width()));
  viewport()->update();
}

uint64_t BytesView::first_row() const {
  return uint64_t(verticalScrollBar()->value());
}

void BytesView::follow(NodeId node) {
  spans_.clear();
  selection_line_.clear();
  if (link_.has_structure() && node.kind() != NodeKind::kRoot) {
    StructureTree& tree = link_.tree();
    const NodeInfo info = tree.info(node);
    const uint64_t byte = uint64_t(info.bit_offset) / 8;
    if (info.bits <= kMostListedBits) {
      spans_ = tree.file_spans(node);
    } else {
      spans_ = {{byte, info.bits / 8}};
    }
    selection_line_ =
        QStringLiteral("%1: byte %2").arg(QString::fromStdString(tree.text(node))).arg(byte);
    if (info.bit_offset % 8 != 0 || info.bits % 8 != 0) {
      selection_line_ += QStringLiteral(" bit %1, %2 bits: %3")
                             .arg(info.bit_offset % 8)
                             .arg(info.bits)
                             .arg(QString::fromStdString(tree.bit_text(node, kMostShownBits)));
    }
    if (!spans_.empty()) {
      const uint64_t row = spans_.front().file / kHexRowBytes;
      if (row < first_row() || row >= first_row() + uint64_t(visible_rows())) {
        verticalScrollBar()->setValue(int(std::min<uint64_t>(row, INT32_MAX)));
      }
    }
  }
  viewport()->update();
}

bool BytesView::highlighted(uint64_t byte) const {
  const auto after =
      std::upper_bound(spans_.begin(), spans_.end(), byte,
                       [](uint64_t b, const PayloadMap::Span& s) { return b < s.file; });
  if (after == spans_.begin()) return false;
  const PayloadMap::Span& span = *std::prev(after);
  return byte < span.file + span.size;
}

QPoint BytesView::point_of(uint64_t byte) const {
  const auto row = int(byte / kHexRowBytes - first_row()) + 1;
  const auto column = int(byte % kHexRowBytes);
  return {(kHexColumn + column * 3) * char_width_ - horizontalScrollBar()->value() + 1,
          row * row_height_ + row_height_ / 2};
}

int64_t BytesView::byte_at(QPoint point) const {
  if (!link_.has_structure() || point.y() < row_height_) return -1;
  const uint64_t row = first_row() + uint64_t(point.y() / row_height_ - 1);
  const int x = (point.x() + horizontalScrollBar()->value()) / char_width_;
  int column = -1;
  if (x >= kHexColumn && x < kHexColumn + kHexRowBytes * 3) column = (x - kHexColumn) / 3;
  if (x >= kAsciiColumn && x < kAsciiColumn + kHexRowBytes) column = x - kAsciiColumn;
  if (column < 0) return -1;
  const uint64_t byte = row * kHexRowBytes + uint64_t(column);
  return byte < link_.structure().file->size() ? int64_t(byte) : -1;
}

void BytesView::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(viewport());
  painter.fillRect(viewport()->rect(), palette().base());
  painter.setFont(font());
  const int ascent = QFontMetrics(font()).ascent();
  const int shift = horizontalScrollBar()->value();
  if (!link_.has_structure()) return;
  painter.drawText(2, ascent, selection_line_);
  const std::vector<HexRow> rows =
      hex_rows(*link_.structure().file, first_row(), size_t(visible_rows()) + 1);
  const QColor marked = palette().highlight().color().lighter(150);
  for (size_t r = 0; r < rows.size(); ++r) {
    const HexRow& row = rows[r];
    const int top = int(r + 1) * row_height_;
    for (size_t i = 0; i < row.ascii.size(); ++i) {
      if (!highlighted(row.offset + i)) continue;
      painter.fillRect((kHexColumn + int(i) * 3) * char_width_ - shift, top, 2 * char_width_,
                       row_height_, marked);
      painter.fillRect((kAsciiColumn + int(i)) * char_width_ - shift, top, char_width_, row_height_,
                       marked);
    }
    painter.drawText(-shift, top + ascent,
                     QStringLiteral("%1").arg(row.offset, kOffsetChars, 16, QLatin1Char('0')));
    painter.drawText(kHexColumn * char_width_ - shift, top + ascent,
                     QString::fromStdString(row.hex));
    painter.drawText(kAsciiColumn * char_width_ - shift, top + ascent,
                     QString::fromStdString(row.ascii));
  }
}

void BytesView::mousePressEvent(QMouseEvent* event) {
  const int64_t byte = byte_at(event->position().toPoint());
  if (byte >= 0) link_.select(link_.tree().innermost_at(uint64_t(byte)));
  QAbstractScrollArea::mousePressEvent(event);
}

void BytesView::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  update_range();
}

}  // namespace tavik::gui
