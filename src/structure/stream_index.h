#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "decoder/syntax/header_records.h"
#include "input/video_origin.h"
#include "structure/payload_map.h"

namespace tavik {

inline constexpr uint32_t kNoIndex = 0xFFFFFFFF;

// What holds a header in the structure.
enum class Owner : uint8_t { kSequence, kGroup, kPicture };

// Why a header is marked as damaged.
enum HeaderDamage : uint8_t {
  kTruncated = 1,  // its bits run past the end of the video
  kMarkerBitClear = 2,
};

// Every header but the slice headers, in stream order.
struct HeaderEntry {
  uint64_t byte = 0;   // of the start code, in the video elementary stream
  uint32_t bits = 0;   // from the start code to the end of the last element
  uint32_t owner = 0;  // the index of the sequence, group or picture holding it
  uint32_t row = 0;    // its place among the owner's children
  HeaderKind kind = HeaderKind::kSequenceHeader;
  Owner owner_kind = Owner::kSequence;
  uint8_t damage = 0;  // HeaderDamage bits
};

struct SequenceEntry {
  uint32_t first_item = 0;  // in StreamIndex::sequence_items
};

// A group of pictures: from its group header, or from the first picture that followed a
// sequence header without one (first_header is then kNoIndex).
struct GroupEntry {
  uint32_t first_header = kNoIndex;
  uint32_t header_count = 0;
  uint32_t first_picture = 0;
  uint32_t sequence = 0;
  uint32_t row = 0;  // its place among the sequence's children
};

struct PictureEntry {
  uint32_t first_header = 0;  // its picture header
  uint32_t first_slice = 0;   // in StreamIndex::slice_offsets
  uint32_t group = 0;
  uint32_t sequence_header = kNoIndex;  // the sequence header in force
  uint16_t header_count = 0;
  uint8_t type = 0;       // picture_coding_type
  uint8_t structure = 3;  // picture_structure: 3 a frame, 1 or 2 a field
};

// Increasing packet numbers, each kept as its distance from the one before in one byte (a
// larger distance as a 0 byte and eight more), with the number and place of every 256th: about
// one byte a packet, read in at most 255 steps.
class PacketList {
 public:
  void push_back(uint64_t packet);
  [[nodiscard]] size_t size() const { return count_; }
  [[nodiscard]] bool empty() const { return count_ == 0; }
  [[nodiscard]] uint64_t operator[](size_t i) const;
  // The first entry not below `packet` (size() when none is).
  [[nodiscard]] size_t lower_bound(uint64_t packet) const;
  [[nodiscard]] size_t memory_bytes() const;

 private:
  static constexpr size_t kMarkEvery = 256;
  struct Mark {
    uint64_t packet = 0;
    uint64_t byte = 0;  // where the next entry's distance begins
  };
  // The distance at `byte`, and the byte after it.
  [[nodiscard]] uint64_t distance(uint64_t& byte) const;

  std::vector<uint8_t> distances_;
  std::vector<Mark> marks_;
  uint64_t last_ = 0;
  size_t count_ = 0;
};

// The container's units: a system or program stream's packs, system headers and packets in
// file order; a transport stream's packets by PID.
struct ContainerIndex {
  // Offset << 8 | the start code's last byte.
  std::vector<uint64_t> system_units;
  // A transport packet is known by its number in file order; its offset follows from the last
  // place where the packets' sync was found again.
  struct Resync {
    uint64_t packet = 0;
    uint64_t offset = 0;
  };
  struct PidPackets {
    int pid = 0;
    bool program_map = false;
    PacketList packets;
  };
  uint64_t packet_size = 188;
  uint64_t transport_packets = 0;
  std::vector<Resync> resyncs;
  std::vector<PidPackets> pids;  // in the order they were first met
  std::vector<int16_t> pid_slot = std::vector<int16_t>(8192, -1);

  [[nodiscard]] uint64_t packet_offset(uint64_t packet) const;
  [[nodiscard]] size_t memory_bytes() const;
};

// The positions of the whole stream's structure, built during the headers walk: a few entries per
// picture and one 32-bit offset per slice; the elements are read again on demand.
struct StreamIndex {
  Container container = Container::kElementary;
  uint64_t file_size = 0;
  uint64_t skipped_bytes = 0;  // before the first header, where the video's offsets start
  PayloadMap payload;          // video offsets to offsets in the input after skipped_bytes
  ContainerIndex units;        // offsets in the input after skipped_bytes
  std::vector<HeaderEntry> headers;
  std::vector<SequenceEntry> sequences;
  // Each sequence's children in order: a header index, or a group index with kGroupItem set.
  std::vector<uint32_t> sequence_items;
  std::vector<GroupEntry> groups;
  std::vector<PictureEntry> pictures;
  // Each slice's start code, in bytes after its picture's start code.
  std::vector<uint32_t> slice_offsets;
  // The error that ended the walk, and the video offset it was met at (-1: none).
  std::string error;
  int64_t error_byte = -1;

  static constexpr uint32_t kGroupItem = 0x80000000;

  // Where the video ends: bytes at and after it are the padding past the end of the input.
  [[nodiscard]] uint64_t video_size() const { return payload.video_size(); }
  // The file offset of a video byte (the end of the file beyond the video).
  [[nodiscard]] uint64_t file_offset(uint64_t video) const;
  [[nodiscard]] uint64_t picture_byte(uint32_t picture) const {
    return headers[pictures[picture].first_header].byte;
  }
  // The slices of a picture: [first, end).
  [[nodiscard]] uint32_t slice_end(uint32_t picture) const;
  [[nodiscard]] uint64_t slice_byte(uint32_t picture, uint32_t slice) const {
    return picture_byte(picture) + slice_offsets[slice];
  }
  // The picture a slice belongs to.
  [[nodiscard]] uint32_t picture_of_slice(uint32_t slice) const;
  // The number of children of a sequence.
  [[nodiscard]] uint32_t sequence_item_end(uint32_t sequence) const;
  [[nodiscard]] uint32_t group_picture_end(uint32_t group) const;
  // The video offset where a unit ends: the next one's start, or the end of the video.
  [[nodiscard]] uint64_t picture_end(uint32_t picture) const;
  [[nodiscard]] uint64_t group_start(uint32_t group) const;
  [[nodiscard]] uint64_t group_end(uint32_t group) const;
  [[nodiscard]] uint64_t sequence_start(uint32_t sequence) const;
  [[nodiscard]] uint64_t sequence_end(uint32_t sequence) const;
  [[nodiscard]] uint64_t slice_end_byte(uint32_t slice) const;

  // Memory held, in bytes.
  [[nodiscard]] size_t memory_bytes() const;
};

}  // namespace tavik
