#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "decoder/picture/macroblock_record.h"
#include "input/random_access.h"
#include "structure/container_fields.h"
#include "structure/header_reader.h"
#include "structure/stream_index.h"

namespace tavik {

enum class NodeKind : uint8_t {
  kRoot,
  kVideo,
  kSequence,
  kGroup,
  kPicture,
  kHeader,           // index: the header entry
  kSlice,            // index: the slice
  kElement,          // index: the header entry; element: its element
  kSliceElement,     // index: the slice; element: its element
  kMacroblocks,      // index: the picture
  kMacroblock,       // index: the picture, and the macroblock's address above bit 32
  kMacroblockField,  // index: as its macroblock's; element: the field
  kContainer,        // the container's units
  kPid,              // index: the PID's place in the container index
  kTransportPacket,  // index: the packet's number in file order
  kSystemUnit,       // index: a pack header, system header or packet, in file order
  kContainerField,   // index: the packet or unit; element: its field
};

// A node of the structure tree, small enough to be an item model's internal id: its kind, an
// index and, for an element, the element's place in its header's syntax.
struct NodeId {
  uint64_t value = 0;

  [[nodiscard]] static NodeId make(NodeKind kind, uint64_t index = 0, uint32_t element = 0) {
    return {(uint64_t(kind) << 56) | ((index & kIndexMask) << 8) | (element & 0xFF)};
  }
  [[nodiscard]] NodeKind kind() const { return NodeKind(value >> 56); }
  [[nodiscard]] uint32_t index() const { return uint32_t(wide_index()); }
  [[nodiscard]] uint64_t wide_index() const { return (value >> 8) & kIndexMask; }
  [[nodiscard]] int element() const { return int(value & 0xFF); }
  bool operator==(const NodeId&) const = default;

  static constexpr uint64_t kIndexMask = (uint64_t{1} << 48) - 1;
};

// What a node shows.
struct NodeInfo {
  std::string name;        // the standard's name of the element or header, or of the unit
  std::string value;       // the element's value, the picture's type, or empty
  std::string meaning;     // what the value means, or why the node is damaged
  int64_t bit_offset = 0;  // of its first bit, in the file
  uint64_t bits = 0;       // its length
  bool damaged = false;
};

// The stream's structure as a tree that is read as it is looked at: root > video > sequences >
// their headers and groups > the groups' headers and pictures > the pictures' headers and
// slices > the elements of each header. Only the index is held; elements are read again from
// the file. A tree that shows macroblocks gives each picture a last child, "macroblocks", whose
// children are the macroblocks a decode set for it, each with its fields as elements.
class StructureTree {
 public:
  StructureTree(const StreamIndex& index, const RandomAccess& file);

  [[nodiscard]] NodeId root() const { return NodeId::make(NodeKind::kRoot); }
  [[nodiscard]] uint64_t child_count(NodeId node);
  [[nodiscard]] NodeId child(NodeId node, uint64_t row);
  [[nodiscard]] NodeId parent(NodeId node);
  // The node's place among its parent's children.
  [[nodiscard]] uint64_t row(NodeId node);

  [[nodiscard]] NodeInfo info(NodeId node);
  // "name = value (meaning)", or the name alone.
  [[nodiscard]] std::string text(NodeId node);
  // The video bits of the node: [begin, end).
  [[nodiscard]] std::pair<uint64_t, uint64_t> video_bits(NodeId node);
  // The file stretches holding the node's bytes, in order.
  [[nodiscard]] std::vector<PayloadMap::Span> file_spans(NodeId node);
  // The node's bits as 0 and 1 (an element that does not start on a byte boundary), at most
  // `limit` of them.
  [[nodiscard]] std::string bit_text(NodeId node, size_t limit = 64);

  // The innermost node holding the file's byte: an element, a header, a slice, a picture...
  [[nodiscard]] NodeId innermost_at(uint64_t file_offset);
  // The first element after `after`, in stream order, whose name, value or meaning is `query`,
  // or whose header's name is (slice headers are not searched).
  [[nodiscard]] std::optional<NodeId> find(std::string_view query, NodeId after);
  [[nodiscard]] NodeId picture(uint32_t picture) const {
    return NodeId::make(NodeKind::kPicture, picture);
  }
  // The next (or previous) picture of the type after `picture`.
  [[nodiscard]] std::optional<NodeId> next_picture(uint32_t picture, int type, bool forward) const;

  // A node of the container's units (packs, packets, their fields) rather than of the video.
  [[nodiscard]] static bool is_container(NodeId node) {
    return node.kind() >= NodeKind::kContainer;
  }
  [[nodiscard]] const StreamIndex& index() const { return index_; }

  void show_macroblocks(bool on) { macroblock_nodes_ = on; }
  [[nodiscard]] bool shows_macroblocks() const { return macroblock_nodes_; }
  // The macroblocks of the picture as a decode found them (those decoded are shown), and its
  // field order (1: the second field of its frame).
  void set_macroblocks(uint32_t picture, const PictureMacroblocks& macroblocks, int field_order);
  [[nodiscard]] bool has_macroblocks(uint32_t picture) const {
    return macroblocks_.contains(picture);
  }

 private:
  struct DecodedPicture {
    KeptPicture kept;
    int field_order = 0;
    std::vector<uint32_t> addresses;  // of the macroblocks decoded, a row each
  };
  // The picture's slices, before its macroblocks node.
  [[nodiscard]] uint64_t picture_rows(uint32_t picture) const;
  [[nodiscard]] const DecodedPicture* decoded(NodeId node) const;
  // The macroblock's fields shown (those with a value), by element.
  [[nodiscard]] std::vector<int> macroblock_elements(NodeId macroblock) const;
  [[nodiscard]] NodeInfo macroblock_info(NodeId node);

  [[nodiscard]] const HeaderRecord& record_of(NodeId node);
  // The element of a record shown at `row` (absent elements are not shown).
  [[nodiscard]] int element_at(const HeaderRecord& record, uint64_t row) const;
  [[nodiscard]] int present_elements(const HeaderRecord& record) const;
  [[nodiscard]] bool mpeg2_at(uint32_t header) const;
  [[nodiscard]] NodeInfo unit_info(NodeId node);
  // The container's nodes.
  [[nodiscard]] uint64_t container_child_count(NodeId node);
  [[nodiscard]] NodeId container_child(NodeId node, uint64_t row);
  [[nodiscard]] NodeId container_parent(NodeId node);
  [[nodiscard]] uint64_t container_row(NodeId node);
  [[nodiscard]] NodeInfo container_info(NodeId node);
  [[nodiscard]] NodeId container_node_at(uint64_t file_offset);
  // The fields of a transport packet or system unit, without the damage note; `damage` gets it.
  [[nodiscard]] std::vector<ContainerField> fields_of(NodeId unit, std::string* damage = nullptr,
                                                      uint64_t* bytes = nullptr);
  [[nodiscard]] uint64_t unit_offset(NodeId unit) const;
  [[nodiscard]] NodeId element_holding(NodeKind kind, uint32_t index, const HeaderRecord& record,
                                       uint64_t bit);

  const StreamIndex& index_;
  const RandomAccess& file_;
  HeaderReader reader_;
  bool macroblock_nodes_ = false;
  std::unordered_map<uint32_t, DecodedPicture> macroblocks_;
};

}  // namespace tavik
