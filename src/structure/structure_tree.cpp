#include "structure/structure_tree.h"

#include <algorithm>

#include "base/messages.h"
#include "decoder/picture/macroblock_fields.h"
#include "structure/element_meaning.h"

namespace tavik {

namespace {

[[nodiscard]] NodeId node(NodeKind kind, uint64_t index = 0, uint32_t element = 0) {
  return NodeId::make(kind, index, element);
}

[[nodiscard]] std::string damage_text(uint8_t damage) {
  if ((damage & kTruncated) != 0) return "damaged: cut by the end of the stream";
  if ((damage & kMarkerBitClear) != 0) return "damaged: a marker bit is 0";
  return {};
}

}  // namespace

StructureTree::StructureTree(const StreamIndex& index, const RandomAccess& file)
    : index_(index), file_(file), reader_(index, file) {}

const HeaderRecord& StructureTree::record_of(NodeId n) {
  const bool slice = n.kind() == NodeKind::kSlice || n.kind() == NodeKind::kSliceElement;
  return slice ? reader_.slice(n.index()) : reader_.header(n.index());
}

int StructureTree::present_elements(const HeaderRecord& record) const {
  int count = 0;
  for (int i = 0; i < record.element_count(); ++i) count += record.has(i) ? 1 : 0;
  return count;
}

int StructureTree::element_at(const HeaderRecord& record, uint64_t row) const {
  for (int i = 0; i < record.element_count(); ++i) {
    if (record.has(i) && row-- == 0) return i;
  }
  return 0;
}

bool StructureTree::mpeg2_at(uint32_t header) const {
  uint32_t sequence_header = header;
  const HeaderEntry& entry = index_.headers[header];
  if (entry.owner_kind == Owner::kPicture) {
    sequence_header = index_.pictures[entry.owner].sequence_header;
  } else {
    while (sequence_header > 0 &&
           index_.headers[sequence_header].kind != HeaderKind::kSequenceHeader)
      --sequence_header;
  }
  return sequence_header != kNoIndex && sequence_header + 1 < index_.headers.size() &&
         index_.headers[sequence_header + 1].kind == HeaderKind::kSequenceExtension;
}

uint64_t StructureTree::child_count(NodeId n) {
  if (is_container(n)) return container_child_count(n);
  const uint32_t i = n.index();
  switch (n.kind()) {
    case NodeKind::kRoot:
      return index_.container == Container::kElementary ? 1 : 2;
    case NodeKind::kVideo:
      return index_.sequences.size();
    case NodeKind::kSequence:
      return index_.sequence_item_end(i) - index_.sequences[i].first_item;
    case NodeKind::kGroup:
      return index_.groups[i].header_count + index_.group_picture_end(i) -
             index_.groups[i].first_picture;
    case NodeKind::kPicture:
      return picture_rows(i) + (macroblock_nodes_ ? 1 : 0);
    case NodeKind::kHeader:
    case NodeKind::kSlice:
      return uint64_t(present_elements(record_of(n)));
    case NodeKind::kMacroblocks: {
      const DecodedPicture* d = decoded(n);
      return d != nullptr ? d->addresses.size() : 0;
    }
    case NodeKind::kMacroblock:
      return macroblock_elements(n).size();
    default:
      return 0;
  }
}

NodeId StructureTree::child(NodeId n, uint64_t r) {
  if (is_container(n)) return container_child(n, r);
  const uint32_t i = n.index();
  switch (n.kind()) {
    case NodeKind::kRoot:
      return node(r == 0 ? NodeKind::kVideo : NodeKind::kContainer);
    case NodeKind::kVideo:
      return node(NodeKind::kSequence, r);
    case NodeKind::kSequence: {
      const uint32_t item = index_.sequence_items[index_.sequences[i].first_item + r];
      if ((item & StreamIndex::kGroupItem) != 0) {
        return node(NodeKind::kGroup, item & ~StreamIndex::kGroupItem);
      }
      return node(NodeKind::kHeader, item);
    }
    case NodeKind::kGroup: {
      const GroupEntry& g = index_.groups[i];
      if (r < g.header_count) return node(NodeKind::kHeader, g.first_header + r);
      return node(NodeKind::kPicture, g.first_picture + r - g.header_count);
    }
    case NodeKind::kPicture: {
      const PictureEntry& p = index_.pictures[i];
      if (r < p.header_count) return node(NodeKind::kHeader, p.first_header + r);
      if (r == picture_rows(i)) return node(NodeKind::kMacroblocks, i);
      return node(NodeKind::kSlice, p.first_slice + r - p.header_count);
    }
    case NodeKind::kHeader:
      return node(NodeKind::kElement, i, uint32_t(element_at(record_of(n), r)));
    case NodeKind::kSlice:
      return node(NodeKind::kSliceElement, i, uint32_t(element_at(record_of(n), r)));
    case NodeKind::kMacroblocks:
      return node(NodeKind::kMacroblock, i | uint64_t(decoded(n)->addresses[r]) << 32);
    case NodeKind::kMacroblock:
      return node(NodeKind::kMacroblockField, n.wide_index(), uint32_t(macroblock_elements(n)[r]));
    default:
      return n;
  }
}

NodeId StructureTree::parent(NodeId n) {
  if (is_container(n)) return container_parent(n);
  const uint32_t i = n.index();
  switch (n.kind()) {
    case NodeKind::kVideo:
      return node(NodeKind::kRoot);
    case NodeKind::kSequence:
      return node(NodeKind::kVideo);
    case NodeKind::kGroup:
      return node(NodeKind::kSequence, index_.groups[i].sequence);
    case NodeKind::kPicture:
      return node(NodeKind::kGroup, index_.pictures[i].group);
    case NodeKind::kHeader: {
      const HeaderEntry& h = index_.headers[i];
      switch (h.owner_kind) {
        case Owner::kSequence:
          return node(NodeKind::kSequence, h.owner);
        case Owner::kGroup:
          return node(NodeKind::kGroup, h.owner);
        case Owner::kPicture:
          return node(NodeKind::kPicture, h.owner);
      }
      return node(NodeKind::kRoot);
    }
    case NodeKind::kSlice:
      return node(NodeKind::kPicture, index_.picture_of_slice(i));
    case NodeKind::kElement:
      return node(NodeKind::kHeader, i);
    case NodeKind::kSliceElement:
      return node(NodeKind::kSlice, i);
    case NodeKind::kMacroblocks:
      return node(NodeKind::kPicture, i);
    case NodeKind::kMacroblock:
      return node(NodeKind::kMacroblocks, i);
    case NodeKind::kMacroblockField:
      return node(NodeKind::kMacroblock, n.wide_index());
    default:
      return node(NodeKind::kRoot);
  }
}

uint64_t StructureTree::row(NodeId n) {
  if (is_container(n)) return container_row(n);
  const uint32_t i = n.index();
  switch (n.kind()) {
    case NodeKind::kSequence:
      return i;
    case NodeKind::kGroup:
      return index_.groups[i].row;
    case NodeKind::kPicture: {
      const GroupEntry& g = index_.groups[index_.pictures[i].group];
      return g.header_count + i - g.first_picture;
    }
    case NodeKind::kHeader:
      return index_.headers[i].row;
    case NodeKind::kSlice: {
      const PictureEntry& p = index_.pictures[index_.picture_of_slice(i)];
      return p.header_count + i - p.first_slice;
    }
    case NodeKind::kElement:
    case NodeKind::kSliceElement: {
      const HeaderRecord& record = record_of(n);
      uint64_t r = 0;
      for (int e = 0; e < n.element(); ++e) r += record.has(e) ? 1 : 0;
      return r;
    }
    case NodeKind::kMacroblocks:
      return picture_rows(i);
    case NodeKind::kMacroblock: {
      const std::vector<uint32_t>& addresses = decoded(n)->addresses;
      const auto address = uint32_t(n.wide_index() >> 32);
      return uint64_t(std::lower_bound(addresses.begin(), addresses.end(), address) -
                      addresses.begin());
    }
    case NodeKind::kMacroblockField: {
      const std::vector<int> elements = macroblock_elements(n);
      return uint64_t(std::lower_bound(elements.begin(), elements.end(), n.element()) -
                      elements.begin());
    }
    default:
      return 0;
  }
}

std::pair<uint64_t, uint64_t> StructureTree::video_bits(NodeId n) {
  const uint32_t i = n.index();
  const auto bytes = [](uint64_t begin, uint64_t end) {
    return std::pair<uint64_t, uint64_t>{begin * 8, std::max(begin, end) * 8};
  };
  switch (n.kind()) {
    case NodeKind::kSequence:
      return bytes(index_.sequence_start(i), index_.sequence_end(i));
    case NodeKind::kGroup:
      return bytes(index_.group_start(i), index_.group_end(i));
    case NodeKind::kPicture:
      return bytes(index_.picture_byte(i), index_.picture_end(i));
    case NodeKind::kHeader: {
      const HeaderEntry& h = index_.headers[i];
      return {h.byte * 8, h.byte * 8 + h.bits};
    }
    case NodeKind::kSlice:
      return bytes(index_.slice_byte(index_.picture_of_slice(i), i), index_.slice_end_byte(i));
    case NodeKind::kMacroblocks:
    case NodeKind::kMacroblock:
    case NodeKind::kMacroblockField: {
      // Macroblocks are not placed to the bit: they lie in the picture's slices.
      const PictureEntry& p = index_.pictures[i];
      const bool sliced = index_.slice_end(i) > p.first_slice;
      return bytes(sliced ? index_.slice_byte(i, p.first_slice) : index_.picture_byte(i),
                   index_.picture_end(i));
    }
    case NodeKind::kElement:
    case NodeKind::kSliceElement: {
      const SyntaxElement& e = record_of(n).elements[size_t(n.element())];
      return {uint64_t(e.bit_offset), uint64_t(e.bit_offset) + e.bits};
    }
    default:
      return bytes(0, index_.video_size());
  }
}

std::vector<PayloadMap::Span> StructureTree::file_spans(NodeId n) {
  if (n.kind() == NodeKind::kRoot || n.kind() == NodeKind::kContainer) {
    return {{0, index_.file_size}};
  }
  if (is_container(n)) {
    const NodeInfo i = container_info(n);
    const uint64_t begin = uint64_t(i.bit_offset) / 8;
    return {{begin, (uint64_t(i.bit_offset) + i.bits + 7) / 8 - begin}};
  }
  const auto [begin, end] = video_bits(n);
  std::vector<PayloadMap::Span> spans = index_.payload.file_spans(begin / 8, (end + 7) / 8);
  for (PayloadMap::Span& span : spans) span.file += index_.skipped_bytes;
  return spans;
}

std::string StructureTree::bit_text(NodeId n, size_t limit) {
  const auto [begin, end] = video_bits(n);
  const std::vector<uint8_t> bytes = reader_.video_bytes(begin / 8, (end + 7) / 8);
  std::string text;
  for (uint64_t bit = begin; bit < end && text.size() < limit; ++bit) {
    const uint64_t at = bit / 8 - begin / 8;
    if (at >= bytes.size()) break;
    text += ((bytes[at] >> (7 - bit % 8)) & 1) != 0 ? '1' : '0';
  }
  return text;
}

NodeInfo StructureTree::unit_info(NodeId n) {
  const uint32_t i = n.index();
  NodeInfo info;
  switch (n.kind()) {
    case NodeKind::kRoot:
      info.name = "file";
      info.value = std::to_string(index_.file_size) + " bytes";
      break;
    case NodeKind::kVideo:
      info.name = "video";
      info.value = std::to_string(index_.pictures.size()) + " pictures";
      if (!index_.error.empty()) {
        info.damaged = true;
        info.meaning = "damaged: " + index_.error.substr(0, index_.error.find('\n'));
      }
      break;
    case NodeKind::kSequence:
      info.name = "sequence " + std::to_string(i);
      break;
    case NodeKind::kGroup:
      info.name = "group " + std::to_string(i);
      break;
    case NodeKind::kPicture:
      info.name = "picture " + std::to_string(i);
      info.value = picture_type_letter(index_.pictures[i].type);
      break;
    case NodeKind::kHeader: {
      const HeaderEntry& h = index_.headers[i];
      info.name = header_spec(h.kind).name;
      info.meaning = damage_text(h.damage);
      info.damaged = h.damage != 0;
      break;
    }
    case NodeKind::kSlice:
      info.name =
          "slice " + std::to_string(i - index_.pictures[index_.picture_of_slice(i)].first_slice);
      info.value = format_text("row %d", record_of(n).value(0) & 0xFF);
      break;
    default:
      break;
  }
  return info;
}

NodeInfo StructureTree::info(NodeId n) {
  if (is_container(n)) return container_info(n);
  NodeInfo info;
  if (n.kind() == NodeKind::kElement || n.kind() == NodeKind::kSliceElement) {
    const HeaderRecord& record = record_of(n);
    const int e = n.element();
    info.name = record.spec().elements[size_t(e)].name;
    info.value = std::to_string(record.value(e));
    const bool mpeg2 = n.kind() == NodeKind::kElement && mpeg2_at(n.index());
    info.meaning = element_meaning(record, e, mpeg2);
    info.damaged = info.meaning.starts_with("damaged");
  } else if (n.kind() >= NodeKind::kMacroblocks) {
    return macroblock_info(n);
  } else {
    info = unit_info(n);
  }
  const auto [begin, end] = video_bits(n);
  if (n.kind() == NodeKind::kRoot) {
    info.bits = index_.file_size * 8;
  } else {
    info.bit_offset = int64_t(index_.file_offset(begin / 8) * 8 + begin % 8);
    info.bits = end - begin;
  }
  return info;
}

std::string StructureTree::text(NodeId n) {
  const NodeInfo i = info(n);
  std::string text = i.name;
  if (!i.value.empty()) text += " = " + i.value;
  if (!i.meaning.empty()) text += " (" + i.meaning + ")";
  return text;
}

NodeId StructureTree::element_holding(NodeKind kind, uint32_t index, const HeaderRecord& record,
                                      uint64_t bit) {
  const NodeKind element_kind =
      kind == NodeKind::kSlice ? NodeKind::kSliceElement : NodeKind::kElement;
  for (int e = 0; e < record.element_count(); ++e) {
    const SyntaxElement& element = record.elements[size_t(e)];
    if (!record.has(e)) continue;
    const uint64_t first = uint64_t(element.bit_offset);
    // The element holds the byte when one of its bits lies in it.
    if (first < bit + 8 && first + element.bits > bit)
      return node(element_kind, index, uint32_t(e));
  }
  return node(kind, index);
}

NodeId StructureTree::innermost_at(uint64_t file_offset) {
  if (file_offset < index_.skipped_bytes || index_.headers.empty()) return root();
  const auto video = index_.payload.video_offset(file_offset - index_.skipped_bytes);
  if (!video) return container_node_at(file_offset);
  const uint64_t byte = *video;
  const auto after = std::upper_bound(index_.headers.begin(), index_.headers.end(), byte,
                                      [](uint64_t b, const HeaderEntry& h) { return b < h.byte; });
  if (after == index_.headers.begin()) return node(NodeKind::kVideo);
  const auto h = uint32_t(after - index_.headers.begin()) - 1;
  const HeaderEntry& entry = index_.headers[h];
  if (byte * 8 < entry.byte * 8 + entry.bits) {
    return element_holding(NodeKind::kHeader, h, reader_.header(h), byte * 8);
  }
  if (entry.owner_kind != Owner::kPicture) return parent(node(NodeKind::kHeader, h));
  const uint32_t p = entry.owner;
  const PictureEntry& picture = index_.pictures[p];
  const auto first = index_.slice_offsets.begin() + picture.first_slice;
  const auto last = index_.slice_offsets.begin() + index_.slice_end(p);
  const uint64_t delta = byte - index_.picture_byte(p);
  const auto slice_after = std::upper_bound(first, last, delta);
  if (slice_after == first) return node(NodeKind::kPicture, p);
  const auto s = uint32_t(slice_after - index_.slice_offsets.begin()) - 1;
  return element_holding(NodeKind::kSlice, s, reader_.slice(s), byte * 8);
}

std::optional<NodeId> StructureTree::find(std::string_view query, NodeId after) {
  uint32_t h = 0;
  int element = 0;
  if (after.kind() == NodeKind::kElement) {
    h = after.index();
    element = after.element() + 1;
  } else if (after.kind() == NodeKind::kHeader) {
    h = after.index();
  } else if (after.kind() != NodeKind::kRoot && after.kind() != NodeKind::kVideo) {
    const uint64_t byte = video_bits(after).first / 8;
    h = uint32_t(std::lower_bound(index_.headers.begin(), index_.headers.end(), byte,
                                  [](const HeaderEntry& e, uint64_t b) { return e.byte < b; }) -
                 index_.headers.begin());
  }
  // A header found last is not found again.
  bool header_searched = after.kind() == NodeKind::kHeader || after.kind() == NodeKind::kElement;
  for (; h < index_.headers.size(); ++h, element = 0, header_searched = false) {
    const HeaderRecord& record = reader_.header(h);
    const bool header_matches = !header_searched && query == record.spec().name;
    for (int e = element; e < record.element_count(); ++e) {
      if (!record.has(e)) continue;
      const NodeId candidate = node(NodeKind::kElement, h, uint32_t(e));
      if (header_matches) return node(NodeKind::kHeader, h);
      if (query == record.spec().elements[size_t(e)].name ||
          query == std::to_string(record.value(e)) ||
          query == element_meaning(record, e, mpeg2_at(h))) {
        return candidate;
      }
    }
  }
  return std::nullopt;
}

std::optional<NodeId> StructureTree::next_picture(uint32_t picture, int type, bool forward) const {
  const auto count = int64_t(index_.pictures.size());
  for (int64_t p = int64_t(picture) + (forward ? 1 : -1); p >= 0 && p < count;
       p += forward ? 1 : -1) {
    if (index_.pictures[size_t(p)].type == type) return node(NodeKind::kPicture, uint64_t(p));
  }
  return std::nullopt;
}

uint64_t StructureTree::picture_rows(uint32_t picture) const {
  const PictureEntry& p = index_.pictures[picture];
  return p.header_count + index_.slice_end(picture) - p.first_slice;
}

void StructureTree::set_macroblocks(uint32_t picture, const PictureMacroblocks& macroblocks,
                                    int field_order) {
  DecodedPicture& d = macroblocks_[picture];
  d.kept.records.assign(macroblocks.records.begin(), macroblocks.records.end());
  d.kept.picture = macroblocks;
  d.kept.picture.records = d.kept.records;
  d.field_order = field_order;
  d.addresses.clear();
  for (size_t a = 0; a < d.kept.records.size(); ++a) {
    if (d.kept.records[a].decoded()) d.addresses.push_back(uint32_t(a));
  }
}

const StructureTree::DecodedPicture* StructureTree::decoded(NodeId n) const {
  const auto found = macroblocks_.find(n.index());
  return found == macroblocks_.end() ? nullptr : &found->second;
}

std::vector<int> StructureTree::macroblock_elements(NodeId macroblock) const {
  const DecodedPicture* d = decoded(macroblock);
  if (d == nullptr) return {};
  const MacroblockFields fields =
      macroblock_fields(d->kept.picture, int(macroblock.wide_index() >> 32), d->field_order);
  std::vector<int> elements;
  for (size_t f = 0; f < fields.size(); ++f) {
    if (!fields[f].empty()) elements.push_back(int(f));
  }
  return elements;
}

NodeInfo StructureTree::macroblock_info(NodeId n) {
  NodeInfo info;
  const auto [begin, end] = video_bits(n);
  info.bit_offset = int64_t(index_.file_offset(begin / 8) * 8);
  const DecodedPicture* d = decoded(n);
  const int address = int(n.wide_index() >> 32);
  switch (n.kind()) {
    case NodeKind::kMacroblocks:
      info.name = "macroblocks";
      info.value = d != nullptr ? std::to_string(d->addresses.size()) : "";
      info.meaning = d != nullptr ? "decoded" : "decoded when expanded";
      info.bits = end - begin;
      break;
    case NodeKind::kMacroblock:
      info.name = "macroblock";
      info.value = std::to_string(address);
      info.bits = d->kept.records[size_t(address)].bits;
      break;
    default:
      info.name = kMacroblockFieldNames[size_t(n.element())];
      info.value = macroblock_fields(d->kept.picture, address, d->field_order)[size_t(n.element())];
      break;
  }
  return info;
}

}  // namespace tavik
