#include <algorithm>

#include "base/messages.h"
#include "input/video_origin.h"
#include "structure/structure_tree.h"

namespace tavik {

namespace {

[[nodiscard]] NodeId node(NodeKind kind, uint64_t index = 0, uint32_t element = 0) {
  return NodeId::make(kind, index, element);
}

[[nodiscard]] bool transport(const StreamIndex& index) {
  return index.container == Container::kTransport || index.container == Container::kTransport192;
}

}  // namespace

uint64_t StructureTree::unit_offset(NodeId unit) const {
  const ContainerIndex& units = index_.units;
  const uint64_t offset = unit.kind() == NodeKind::kSystemUnit ||
                                  (unit.kind() == NodeKind::kContainerField && !transport(index_))
                              ? units.system_units[unit.index()] >> 8
                              : units.packet_offset(unit.index()) - (units.packet_size - 188);
  return index_.skipped_bytes + offset;
}

std::vector<ContainerField> StructureTree::fields_of(NodeId unit, std::string* damage,
                                                     uint64_t* bytes) {
  uint64_t size = index_.units.packet_size;
  std::vector<ContainerField> fields =
      transport(index_)
          ? transport_packet_fields(file_, unit_offset(unit), index_.units.packet_size)
          : system_unit_fields(file_, unit_offset(unit), size);
  if (!fields.empty() && std::string_view(fields.back().name).starts_with("damaged")) {
    if (damage != nullptr) *damage = fields.back().name;
    fields.pop_back();
  }
  if (bytes != nullptr) *bytes = size;
  return fields;
}

uint64_t StructureTree::container_child_count(NodeId n) {
  const ContainerIndex& units = index_.units;
  switch (n.kind()) {
    case NodeKind::kContainer:
      return transport(index_) ? units.pids.size() : units.system_units.size();
    case NodeKind::kPid:
      return units.pids[n.index()].packets.size();
    case NodeKind::kTransportPacket:
    case NodeKind::kSystemUnit:
      return fields_of(n).size();
    default:
      return 0;
  }
}

NodeId StructureTree::container_child(NodeId n, uint64_t r) {
  switch (n.kind()) {
    case NodeKind::kContainer:
      return transport(index_) ? node(NodeKind::kPid, r) : node(NodeKind::kSystemUnit, r);
    case NodeKind::kPid:
      return node(NodeKind::kTransportPacket, index_.units.pids[n.index()].packets[r]);
    case NodeKind::kTransportPacket:
    case NodeKind::kSystemUnit:
      return node(NodeKind::kContainerField, n.index(), uint32_t(r));
    default:
      return n;
  }
}

NodeId StructureTree::container_parent(NodeId n) {
  switch (n.kind()) {
    case NodeKind::kPid:
    case NodeKind::kSystemUnit:
      return node(NodeKind::kContainer);
    case NodeKind::kTransportPacket: {
      const int64_t pid = field_value(fields_of(n), "PID");
      return node(NodeKind::kPid,
                  uint64_t(std::max<int16_t>(index_.units.pid_slot[size_t(pid) & 0x1FFF], 0)));
    }
    case NodeKind::kContainerField:
      return node(transport(index_) ? NodeKind::kTransportPacket : NodeKind::kSystemUnit,
                  n.index());
    default:
      return node(NodeKind::kRoot);
  }
}

uint64_t StructureTree::container_row(NodeId n) {
  switch (n.kind()) {
    case NodeKind::kContainer:
      return 1;
    case NodeKind::kPid:
    case NodeKind::kSystemUnit:
      return n.index();
    case NodeKind::kTransportPacket: {
      return index_.units.pids[container_parent(n).index()].packets.lower_bound(n.index());
    }
    case NodeKind::kContainerField:
      return uint64_t(n.element());
    default:
      return 0;
  }
}

NodeInfo StructureTree::container_info(NodeId n) {
  const ContainerIndex& units = index_.units;
  NodeInfo info;
  switch (n.kind()) {
    case NodeKind::kContainer:
      info.name = std::string(container_name(index_.container));
      info.bits = index_.file_size * 8;
      break;
    case NodeKind::kPid: {
      const ContainerIndex::PidPackets& pid = units.pids[n.index()];
      info.name = format_text("PID 0x%04X", pid.pid);
      info.value = std::to_string(pid.packets.size()) + " packets";
      if (pid.pid == 0) info.meaning = "program association table";
      if (pid.program_map) info.meaning = "program map table";
      if (!pid.packets.empty()) {
        info.bit_offset =
            int64_t(unit_offset(node(NodeKind::kTransportPacket, pid.packets[0])) * 8);
      }
      break;
    }
    case NodeKind::kTransportPacket:
    case NodeKind::kSystemUnit: {
      std::string damage;
      uint64_t bytes = 0;
      const std::vector<ContainerField> fields = fields_of(n, &damage, &bytes);
      const uint64_t offset = unit_offset(n);
      if (n.kind() == NodeKind::kTransportPacket) {
        info.name = "transport_packet " + std::to_string(n.index());
        info.value = format_text("PID 0x%04X", int(field_value(fields, "PID")));
        // The continuity counter goes up by one from the PID's packet before, with a payload.
        const uint64_t row = container_row(n);
        const int64_t control = field_value(fields, "adaptation_field_control");
        if (row > 0 && (control & 1) != 0 && field_value(fields, "discontinuity_indicator") != 1) {
          const std::vector<ContainerField> before =
              fields_of(node(NodeKind::kTransportPacket,
                             units.pids[container_parent(n).index()].packets[row - 1]));
          const int64_t counter = field_value(fields, "continuity_counter");
          const int64_t previous = field_value(before, "continuity_counter");
          if (counter != previous && counter != ((previous + 1) & 15)) {
            damage = format_text("damaged: continuity counter gap (%d after %d)", int(counter),
                                 int(previous));
          }
        }
      } else {
        info.name = system_unit_name(uint8_t(units.system_units[n.index()]));
      }
      if (const int64_t pts = field_value(fields, "PTS"); pts >= 0) {
        info.meaning = "PTS " + std::to_string(pts);
        if (const int64_t dts = field_value(fields, "DTS"); dts >= 0) {
          info.meaning += ", DTS " + std::to_string(dts);
        }
      }
      if (!damage.empty()) info.meaning = damage;
      info.damaged = !damage.empty();
      info.bit_offset = int64_t(offset * 8);
      info.bits = bytes * 8;
      break;
    }
    case NodeKind::kContainerField: {
      const NodeId unit = container_parent(n);
      const std::vector<ContainerField> fields = fields_of(unit);
      if (size_t(n.element()) < fields.size()) {
        const ContainerField& field = fields[size_t(n.element())];
        info.name = field.name;
        info.value = std::to_string(field.value);
        info.bit_offset = int64_t(field.bit_offset);
        info.bits = field.bits;
      }
      break;
    }
    default:
      break;
  }
  return info;
}

NodeId StructureTree::container_node_at(uint64_t file_offset) {
  const ContainerIndex& units = index_.units;
  if (index_.container == Container::kElementary || file_offset < index_.skipped_bytes) {
    return root();
  }
  const uint64_t offset = file_offset - index_.skipped_bytes;
  NodeId unit = root();
  if (transport(index_)) {
    const auto after =
        std::upper_bound(units.resyncs.begin(), units.resyncs.end(), offset,
                         [](uint64_t o, const ContainerIndex::Resync& r) { return o < r.offset; });
    const uint64_t base_packet = after == units.resyncs.begin() ? 0 : (after - 1)->packet;
    const uint64_t base = after == units.resyncs.begin() ? 0 : (after - 1)->offset;
    // A packet begins at its time code, in front of the sync byte.
    const uint64_t start = offset + (units.packet_size - 188);
    if (start < base) return node(NodeKind::kContainer);
    const uint64_t packet = base_packet + (start - base) / units.packet_size;
    if (packet >= units.transport_packets) return node(NodeKind::kContainer);
    unit = node(NodeKind::kTransportPacket, packet);
  } else {
    const auto after =
        std::upper_bound(units.system_units.begin(), units.system_units.end(), offset,
                         [](uint64_t o, uint64_t u) { return o < (u >> 8); });
    if (after == units.system_units.begin()) return node(NodeKind::kContainer);
    unit = node(NodeKind::kSystemUnit, uint64_t(after - units.system_units.begin()) - 1);
  }
  const std::vector<ContainerField> fields = fields_of(unit);
  for (size_t f = 0; f < fields.size(); ++f) {
    const uint64_t first = fields[f].bit_offset;
    if (first < file_offset * 8 + 8 && first + fields[f].bits > file_offset * 8) {
      return node(NodeKind::kContainerField, unit.index(), uint32_t(f));
    }
  }
  return unit;
}

}  // namespace tavik
