#include "structure/index_builder.h"

#include <cstring>
#include <limits>

namespace tavik {

namespace {

constexpr uint16_t kMostPictureHeaders = std::numeric_limits<uint16_t>::max();

[[nodiscard]] bool marker_bit_clear(const HeaderRecord& record) {
  const HeaderSpec& spec = record.spec();
  for (int i = 0; i < record.element_count(); ++i) {
    if (record.has(i) && record.value(i) == 0 &&
        std::strcmp(spec.elements[i].name, "marker_bit") == 0)
      return true;
  }
  return false;
}

}  // namespace

uint32_t IndexBuilder::ensure_sequence() {
  if (!in_sequence_) {
    index_.sequences.push_back({uint32_t(index_.sequence_items.size())});
    in_sequence_ = true;
    group_open_ = false;
  }
  return uint32_t(index_.sequences.size() - 1);
}

uint32_t IndexBuilder::ensure_group() {
  const uint32_t sequence = ensure_sequence();
  if (!group_open_) {
    const uint32_t row =
        uint32_t(index_.sequence_items.size()) - index_.sequences[sequence].first_item;
    const auto group = uint32_t(index_.groups.size());
    index_.groups.push_back({kNoIndex, 0, uint32_t(index_.pictures.size()), sequence, row});
    index_.sequence_items.push_back(group | StreamIndex::kGroupItem);
    group_open_ = true;
  }
  return uint32_t(index_.groups.size() - 1);
}

bool IndexBuilder::add_header(const HeaderRecord& record, Owner owner, uint32_t owner_index) {
  HeaderEntry entry;
  entry.byte = uint64_t(record.bit_offset) >> 3;
  entry.bits = uint32_t(record.bit_end - record.bit_offset);
  entry.kind = record.kind;
  entry.owner_kind = owner;
  entry.owner = owner_index;
  entry.damage = marker_bit_clear(record) ? kMarkerBitClear : 0;
  const auto header = uint32_t(index_.headers.size());
  switch (owner) {
    case Owner::kSequence: {
      entry.row = uint32_t(index_.sequence_items.size()) - index_.sequences[owner_index].first_item;
      index_.sequence_items.push_back(header);
      break;
    }
    case Owner::kGroup: {
      GroupEntry& group = index_.groups[owner_index];
      if (group.first_header == kNoIndex) group.first_header = header;
      entry.row = group.header_count++;
      break;
    }
    case Owner::kPicture: {
      PictureEntry& picture = index_.pictures[owner_index];
      if (picture.header_count == kMostPictureHeaders) return false;
      entry.row = picture.header_count++;
      break;
    }
  }
  index_.headers.push_back(entry);
  return true;
}

void IndexBuilder::add_to_level(const HeaderRecord& record) {
  switch (level_) {
    case Level::kGroup:
      add_header(record, Owner::kGroup, uint32_t(index_.groups.size() - 1));
      break;
    case Level::kPicture:
      add_header(record, Owner::kPicture, uint32_t(index_.pictures.size() - 1));
      break;
    default:
      add_header(record, Owner::kSequence, ensure_sequence());
      level_ = Level::kSequence;
      break;
  }
}

void IndexBuilder::add_slice(const HeaderRecord& record) {
  if (index_.pictures.empty() || level_ != Level::kPicture) return;
  const uint64_t byte = uint64_t(record.bit_offset) >> 3;
  const uint64_t picture = index_.picture_byte(uint32_t(index_.pictures.size() - 1));
  const uint64_t delta = byte - picture;
  if (delta > std::numeric_limits<uint32_t>::max()) return;
  index_.slice_offsets.push_back(uint32_t(delta));
}

void IndexBuilder::header_read(const HeaderRecord& record) {
  // The sequence end codes the video source gives past the end of the input are not the file's.
  if (uint64_t(record.bit_offset) >> 3 >= index_.payload.video_size()) return;
  switch (record.kind) {
    case HeaderKind::kSequenceHeader: {
      const uint32_t sequence = ensure_sequence();
      group_open_ = false;
      sequence_header_ = uint32_t(index_.headers.size());
      add_header(record, Owner::kSequence, sequence);
      level_ = Level::kSequence;
      break;
    }
    case HeaderKind::kGroupOfPictures: {
      group_open_ = false;
      const uint32_t group = ensure_group();
      add_header(record, Owner::kGroup, group);
      level_ = Level::kGroup;
      break;
    }
    case HeaderKind::kPictureHeader: {
      const uint32_t group = ensure_group();
      PictureEntry picture;
      picture.first_header = uint32_t(index_.headers.size());
      picture.first_slice = uint32_t(index_.slice_offsets.size());
      picture.group = group;
      picture.sequence_header = sequence_header_;
      picture.type = uint8_t(record.value(elements::picture_header::kPictureCodingType));
      index_.pictures.push_back(picture);
      add_header(record, Owner::kPicture, uint32_t(index_.pictures.size() - 1));
      level_ = Level::kPicture;
      break;
    }
    case HeaderKind::kSliceHeader:
      add_slice(record);
      break;
    case HeaderKind::kSequenceEnd:
      add_header(record, Owner::kSequence, ensure_sequence());
      in_sequence_ = false;
      group_open_ = false;
      level_ = Level::kNone;
      break;
    case HeaderKind::kPictureCodingExtension:
      if (level_ == Level::kPicture) {
        index_.pictures.back().structure =
            uint8_t(record.value(elements::picture_coding_extension::kPictureStructure));
      }
      add_to_level(record);
      break;
    default:
      add_to_level(record);
      break;
  }
}

void IndexBuilder::video_payload(uint64_t /*video_offset*/, uint64_t input_offset, size_t size) {
  index_.payload.add(input_offset, size);
}

void IndexBuilder::system_unit(uint64_t offset, uint8_t code) {
  index_.units.system_units.push_back(offset << 8 | code);
}

void IndexBuilder::transport_packet(uint64_t offset, int pid) {
  ContainerIndex& units = index_.units;
  const uint64_t packet = units.transport_packets++;
  // The second packet tells the packets' size (a time code in front of each, or none).
  const uint64_t first = units.packet_offset(0);
  if (packet == 1 && offset == first + 192) units.packet_size = 192;
  if (units.packet_offset(packet) != offset) units.resyncs.push_back({packet, offset});
  int16_t& slot = units.pid_slot[size_t(pid) & 0x1FFF];
  if (slot < 0) {
    slot = int16_t(units.pids.size());
    units.pids.push_back({pid, false, {}});
  }
  units.pids[size_t(slot)].packets.push_back(packet);
}

void IndexBuilder::program_map_pid(int pid) {
  ContainerIndex& units = index_.units;
  int16_t& slot = units.pid_slot[size_t(pid) & 0x1FFF];
  if (slot < 0) {
    slot = int16_t(units.pids.size());
    units.pids.push_back({pid, false, {}});
  }
  units.pids[size_t(slot)].program_map = true;
}

void IndexBuilder::finish(Container container, uint64_t file_size, uint64_t skipped_bytes,
                          const std::string& error) {
  index_.container = container;
  index_.file_size = file_size;
  index_.skipped_bytes = skipped_bytes;
  const uint64_t end_bits = index_.video_size() * 8;
  for (auto h = index_.headers.rbegin(); h != index_.headers.rend(); ++h) {
    if (h->byte * 8 + h->bits <= end_bits) break;
    h->damage |= kTruncated;
  }
  if (!error.empty()) {
    index_.error = error;
    index_.error_byte = int64_t(index_.video_size());
  }
}

}  // namespace tavik
