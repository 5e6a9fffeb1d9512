#include "cli/structure_output.h"

#include <algorithm>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <vector>

#include "base/messages.h"
#include "input/video_origin.h"
#include "structure/hex_page.h"

namespace tavik::cli {

namespace {

// The pictures a node holds: [first, end).
std::pair<uint64_t, uint64_t> pictures_of(StructureTree& tree, NodeId node) {
  const StreamIndex& index = tree.index();
  switch (node.kind()) {
    case NodeKind::kPicture:
      return {node.index(), node.index() + 1};
    case NodeKind::kGroup:
      return {index.groups[node.index()].first_picture, index.group_picture_end(node.index())};
    case NodeKind::kSequence: {
      uint64_t first = UINT64_MAX;
      uint64_t end = 0;
      for (uint32_t i = index.sequences[node.index()].first_item;
           i < index.sequence_item_end(node.index()); ++i) {
        const uint32_t item = index.sequence_items[i];
        if ((item & StreamIndex::kGroupItem) == 0) continue;
        const uint32_t group = item & ~StreamIndex::kGroupItem;
        first = std::min<uint64_t>(first, index.groups[group].first_picture);
        end = std::max<uint64_t>(end, index.group_picture_end(group));
      }
      return {first, end};
    }
    default:
      return {0, UINT64_MAX};
  }
}

// A unit holding pictures is shown when one of them is in the range; headers and elements go
// with their unit.
bool shown(StructureTree& tree, NodeId node, const PictureRange& range) {
  const NodeKind kind = node.kind();
  if (kind != NodeKind::kPicture && kind != NodeKind::kGroup && kind != NodeKind::kSequence) {
    return true;
  }
  const auto [first, end] = pictures_of(tree, node);
  return first < end && first <= range.last && end > range.first;
}

bool has_range(const PictureRange& range) {
  return range.first != 0 || range.last != UINT64_MAX;
}

// Which children of `node` the range shows. A sequence's headers in front of its first group
// and after its last go with the sequence; those between groups (a repeated sequence header and
// its extensions) go with the group that follows them.
std::vector<bool> shown_rows(StructureTree& tree, NodeId node, const PictureRange& range) {
  const uint64_t count = tree.child_count(node);
  std::vector<bool> rows(count, true);
  if (!has_range(range)) return rows;
  bool next_group_shown = true;
  uint64_t first_group = count;
  for (uint64_t row = count; row-- > 0;) {
    const NodeId child = tree.child(node, row);
    const NodeKind kind = child.kind();
    if (kind == NodeKind::kPicture || kind == NodeKind::kGroup || kind == NodeKind::kSequence) {
      rows[row] = shown(tree, child, range);
      if (kind == NodeKind::kGroup) {
        next_group_shown = rows[row];
        first_group = row;
      }
    } else {
      rows[row] = next_group_shown;
    }
  }
  for (uint64_t row = 0; row < first_group; ++row) {
    if (tree.child(node, row).kind() != NodeKind::kPicture) rows[row] = true;
  }
  return rows;
}

void text_lines(StructureTree& tree, NodeId node, int depth, const PictureRange& range,
                std::string& out) {
  const NodeInfo info = tree.info(node);
  out.append(size_t(depth) * 2, ' ');
  out += tree.text(node);
  out +=
      format_text("  [byte %lld bit %d, %llu bits]\n", static_cast<long long>(info.bit_offset / 8),
                  int(info.bit_offset % 8), static_cast<unsigned long long>(info.bits));
  const std::vector<bool> rows = shown_rows(tree, node, range);
  for (uint64_t row = 0; row < rows.size(); ++row) {
    if (rows[row]) text_lines(tree, tree.child(node, row), depth + 1, range, out);
  }
}

const char* section_of(NodeKind kind) {
  switch (kind) {
    case NodeKind::kRoot:
      return "file";
    case NodeKind::kVideo:
      return "video";
    case NodeKind::kSequence:
      return "sequence";
    case NodeKind::kGroup:
      return "group";
    case NodeKind::kPicture:
      return "picture";
    case NodeKind::kSlice:
      return "slice";
    case NodeKind::kMacroblocks:
      return "macroblocks";
    case NodeKind::kMacroblock:
      return "macroblock";
    case NodeKind::kContainer:
      return "container";
    case NodeKind::kPid:
      return "pid";
    case NodeKind::kTransportPacket:
      return "transport_packet";
    case NodeKind::kSystemUnit:
      return "unit";
    default:
      return "header";
  }
}

void place(nlohmann::ordered_json& object, const NodeInfo& info) {
  object["offset"] = info.bit_offset / 8;
  object["bit_offset"] = info.bit_offset;
  object["bits"] = info.bits;
}

nlohmann::ordered_json text_or_null(const std::string& text) {
  return text.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(text);
}

// A number when the whole value is one (a macroblock's motion_type is a word).
nlohmann::ordered_json element_value(const std::string& value) {
  char* end = nullptr;
  const long long number = std::strtoll(value.c_str(), &end, 10);
  if (!value.empty() && *end == 0) return number;
  return value;
}

nlohmann::ordered_json node_json(StructureTree& tree, NodeId node, const PictureRange& range) {
  const NodeInfo info = tree.info(node);
  const NodeKind kind = node.kind();
  nlohmann::ordered_json object;
  object["section"] = section_of(kind);
  object["name"] = info.name;
  if (kind == NodeKind::kPicture) {
    object["index"] = node.index();
    object["type"] = info.value;
  }
  object["value"] = text_or_null(info.value);
  object["meaning"] = text_or_null(info.meaning);
  place(object, info);
  object["video_offset"] = StructureTree::is_container(node)
                               ? nlohmann::ordered_json()
                               : nlohmann::ordered_json(tree.video_bits(node).first / 8);
  object["damaged"] =
      info.damaged ? nlohmann::ordered_json(info.meaning) : nlohmann::ordered_json();
  const bool holds_elements = kind == NodeKind::kHeader || kind == NodeKind::kSlice ||
                              kind == NodeKind::kTransportPacket || kind == NodeKind::kSystemUnit ||
                              kind == NodeKind::kMacroblock;
  nlohmann::ordered_json children = nlohmann::ordered_json::array();
  if (holds_elements) {
    const uint64_t count = tree.child_count(node);
    for (uint64_t row = 0; row < count; ++row) {
      const NodeInfo element = tree.info(tree.child(node, row));
      nlohmann::ordered_json e;
      e["name"] = element.name;
      e["value"] = element_value(element.value);
      e["meaning"] = text_or_null(element.meaning);
      place(e, element);
      children.push_back(std::move(e));
    }
  } else {
    const std::vector<bool> rows = shown_rows(tree, node, range);
    for (uint64_t row = 0; row < rows.size(); ++row) {
      if (rows[row]) children.push_back(node_json(tree, tree.child(node, row), range));
    }
  }
  object[holds_elements ? "elements" : "children"] = std::move(children);
  return object;
}

}  // namespace

std::string structure_text(StructureTree& tree, const PictureRange& range) {
  std::string out;
  text_lines(tree, tree.child(tree.root(), 0), 0, range, out);
  if (!has_range(range) && tree.child_count(tree.root()) > 1) {
    text_lines(tree, tree.child(tree.root(), 1), 0, range, out);
  }
  return out;
}

std::string structure_json(StructureTree& tree, const std::string& input,
                           const PictureRange& range) {
  const StreamIndex& index = tree.index();
  nlohmann::ordered_json json;
  json["schema"] = 1;
  json["input"] = input;
  json["container"] = container_key(index.container);
  json["file_size"] = index.file_size;
  json["pictures"] = index.pictures.size();
  json["video"] = node_json(tree, tree.child(tree.root(), 0), range);
  if (!has_range(range) && tree.child_count(tree.root()) > 1) {
    json["container_units"] = node_json(tree, tree.child(tree.root(), 1), range);
  }
  return json.dump(1) + "\n";
}

std::string picture_hexdump(StructureTree& tree, const RandomAccess& file, uint32_t picture) {
  const NodeId node = tree.picture(picture);
  const std::vector<PayloadMap::Span> spans = tree.file_spans(node);
  std::string out = tree.text(node);
  if (spans.empty()) return out + ": no bytes\n";
  const uint64_t begin = spans.front().file;
  const uint64_t end = spans.back().file + spans.back().size;
  out += format_text(": file bytes %llu to %llu\n", static_cast<unsigned long long>(begin),
                     static_cast<unsigned long long>(end - 1));
  // The picture's headers and slices, by the file byte where each begins.
  std::vector<std::pair<uint64_t, std::string>> marks;
  const uint64_t count = tree.child_count(node);
  for (uint64_t row = 0; row < count; ++row) {
    const NodeId child = tree.child(node, row);
    const NodeInfo info = tree.info(child);
    marks.emplace_back(uint64_t(info.bit_offset / 8), info.name);
  }
  size_t mark = 0;
  for (const HexRow& row : hex_rows_of(file, begin, end)) {
    std::string hex = row.hex;
    hex.resize(kHexRowBytes * 3 - 1, ' ');
    out += format_text("%08llx  %s  |%s|", static_cast<unsigned long long>(row.offset), hex.c_str(),
                       row.ascii.c_str());
    std::string names;
    while (mark < marks.size() && marks[mark].first < row.offset + kHexRowBytes) {
      names += names.empty() ? "  " : ", ";
      names +=
          marks[mark].second +
          format_text(" at +%llu", static_cast<unsigned long long>(marks[mark].first - row.offset));
      ++mark;
    }
    out += names + "\n";
  }
  return out;
}

}  // namespace tavik::cli
