#include "structure/stream_index.h"

#include <algorithm>

namespace tavik {

uint64_t StreamIndex::file_offset(uint64_t video) const {
  const auto offset = payload.file_offset(video);
  return skipped_bytes + (offset ? *offset : file_size - skipped_bytes);
}

uint32_t StreamIndex::slice_end(uint32_t picture) const {
  return picture + 1 < pictures.size() ? pictures[picture + 1].first_slice
                                       : uint32_t(slice_offsets.size());
}

uint32_t StreamIndex::picture_of_slice(uint32_t slice) const {
  const auto after =
      std::upper_bound(pictures.begin(), pictures.end(), slice,
                       [](uint32_t s, const PictureEntry& p) { return s < p.first_slice; });
  return uint32_t(after - pictures.begin()) - 1;
}

uint32_t StreamIndex::sequence_item_end(uint32_t sequence) const {
  return sequence + 1 < sequences.size() ? sequences[sequence + 1].first_item
                                         : uint32_t(sequence_items.size());
}

uint32_t StreamIndex::group_picture_end(uint32_t group) const {
  return group + 1 < groups.size() ? groups[group + 1].first_picture : uint32_t(pictures.size());
}

uint64_t StreamIndex::picture_end(uint32_t picture) const {
  // Up to the next header of any kind after the picture's last slice, or its last header.
  const uint32_t next_header = pictures[picture].first_header + pictures[picture].header_count;
  const uint64_t next = next_header < headers.size() ? headers[next_header].byte : video_size();
  return std::max(next, picture_byte(picture));
}

uint64_t StreamIndex::group_start(uint32_t group) const {
  const GroupEntry& g = groups[group];
  if (g.first_header != kNoIndex) return headers[g.first_header].byte;
  return g.first_picture < pictures.size() ? picture_byte(g.first_picture) : video_size();
}

uint64_t StreamIndex::group_end(uint32_t group) const {
  const uint32_t end = group_picture_end(group);
  if (end > groups[group].first_picture) return picture_end(end - 1);
  const GroupEntry& g = groups[group];
  if (g.first_header == kNoIndex) return group_start(group);
  const HeaderEntry& last = headers[g.first_header + g.header_count - 1];
  return last.byte + (last.bits + 7) / 8;
}

uint64_t StreamIndex::sequence_start(uint32_t sequence) const {
  const uint32_t first = sequences[sequence].first_item;
  if (first >= sequence_item_end(sequence)) return video_size();
  const uint32_t item = sequence_items[first];
  return (item & kGroupItem) != 0 ? group_start(item & ~kGroupItem) : headers[item].byte;
}

uint64_t StreamIndex::sequence_end(uint32_t sequence) const {
  return sequence + 1 < sequences.size() ? sequence_start(sequence + 1) : video_size();
}

uint64_t StreamIndex::slice_end_byte(uint32_t slice) const {
  const uint32_t picture = picture_of_slice(slice);
  return slice + 1 < slice_end(picture) ? slice_byte(picture, slice + 1) : picture_end(picture);
}

void PacketList::push_back(uint64_t packet) {
  if (count_ % kMarkEvery == 0) {
    marks_.push_back({packet, distances_.size()});
  } else {
    const uint64_t step = packet - last_;
    if (step > 0 && step < 256) {
      distances_.push_back(uint8_t(step));
    } else {
      distances_.push_back(0);
      for (int shift = 0; shift < 64; shift += 8) distances_.push_back(uint8_t(step >> shift));
    }
  }
  last_ = packet;
  ++count_;
}

uint64_t PacketList::distance(uint64_t& byte) const {
  const uint8_t first = distances_[byte++];
  if (first != 0) return first;
  uint64_t step = 0;
  for (int shift = 0; shift < 64; shift += 8) step |= uint64_t(distances_[byte++]) << shift;
  return step;
}

uint64_t PacketList::operator[](size_t i) const {
  const Mark& mark = marks_[i / kMarkEvery];
  uint64_t packet = mark.packet;
  uint64_t byte = mark.byte;
  for (size_t k = 0; k < i % kMarkEvery; ++k) packet += distance(byte);
  return packet;
}

size_t PacketList::lower_bound(uint64_t packet) const {
  const auto after = std::upper_bound(marks_.begin(), marks_.end(), packet,
                                      [](uint64_t p, const Mark& m) { return p < m.packet; });
  if (after == marks_.begin()) return 0;
  size_t i = size_t(after - marks_.begin() - 1) * kMarkEvery;
  uint64_t value = (after - 1)->packet;
  uint64_t byte = (after - 1)->byte;
  while (value < packet) {
    if (++i == count_) return count_;
    if (i % kMarkEvery == 0) return i;  // the next mark's packet is above
    value += distance(byte);
  }
  return i;
}

size_t PacketList::memory_bytes() const {
  return distances_.capacity() + marks_.capacity() * sizeof(Mark);
}

uint64_t ContainerIndex::packet_offset(uint64_t packet) const {
  const auto after = std::upper_bound(resyncs.begin(), resyncs.end(), packet,
                                      [](uint64_t p, const Resync& r) { return p < r.packet; });
  if (after == resyncs.begin()) return packet * packet_size;
  const Resync& resync = *(after - 1);
  return resync.offset + (packet - resync.packet) * packet_size;
}

size_t ContainerIndex::memory_bytes() const {
  size_t bytes = system_units.capacity() * sizeof(uint64_t) + resyncs.capacity() * sizeof(Resync) +
                 pid_slot.capacity() * sizeof(int16_t);
  for (const PidPackets& pid : pids) bytes += sizeof(pid) + pid.packets.memory_bytes();
  return bytes;
}

size_t StreamIndex::memory_bytes() const {
  return units.memory_bytes() + payload.memory_bytes() + headers.capacity() * sizeof(HeaderEntry) +
         sequences.capacity() * sizeof(SequenceEntry) +
         sequence_items.capacity() * sizeof(uint32_t) + groups.capacity() * sizeof(GroupEntry) +
         pictures.capacity() * sizeof(PictureEntry) + slice_offsets.capacity() * sizeof(uint32_t);
}

}  // namespace tavik
