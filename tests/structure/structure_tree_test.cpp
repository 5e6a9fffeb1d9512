#include "structure/structure_tree.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/messages.h"
#include "base/start_codes.h"
#include "decoder/syntax/decoder_state.h"
#include "decoder/syntax/header_parser.h"
#include "input/byte_input.h"
#include "input/random_access.h"
#include "input/video_source.h"
#include "structure/hex_page.h"
#include "structure/index_builder.h"
#include "structure/payload_map.h"
#include "structure/stream_index.h"
#include "support/stream_tools.h"

namespace tavik {
namespace {

// Chunks of video in the file: transport-like runs, a break in the stride, a contiguous file.
TEST(PayloadMap, KeepsStridedRunsAndMapsBothWays) {
  struct Case {
    std::vector<std::pair<uint64_t, uint64_t>> chunks;  // file offset, size
    size_t runs;
    uint64_t video;
    uint64_t file;  // the video byte's place; ~0: none
  };
  const Case cases[] = {
      {{{4, 184}, {192, 184}, {380, 184}, {568, 184}}, 1, 190, 192 + 6},
      {{{4, 184}, {192, 184}, {600, 184}, {788, 184}}, 2, 368, 600},
      {{{0, 100}, {100, 50}, {150, 4000}}, 1, 4149, 4149},
      {{{10, 20}, {50, 20}, {80, 7}}, 2, 44, 84},
  };
  for (const Case& c : cases) {
    PayloadMap map;
    uint64_t total = 0;
    for (const auto& [file, size] : c.chunks) {
      map.add(file, size);
      total += size;
    }
    EXPECT_EQ(map.run_count(), c.runs);
    EXPECT_EQ(map.video_size(), total);
    EXPECT_EQ(map.file_offset(c.video), c.file);
    EXPECT_EQ(map.video_offset(c.file), c.video);
    EXPECT_FALSE(map.file_offset(total).has_value());
    // Every chunk comes back as the file spans of the whole video.
    uint64_t mapped = 0;
    for (const PayloadMap::Span& span : map.file_spans(0, total)) mapped += span.size;
    EXPECT_EQ(mapped, total);
  }
  PayloadMap packets;
  packets.add(4, 184);
  packets.add(192, 184);
  EXPECT_FALSE(packets.video_offset(190).has_value());  // the second packet's header
}

// Packet numbers with small and large steps, over several marks.
TEST(PacketList, GivesBackEveryNumberAndFindsItsPlace) {
  std::vector<uint64_t> numbers;
  for (uint64_t i = 0, packet = 3; i < 1000; ++i) {
    numbers.push_back(packet);
    packet += i % 97 == 0 ? 70000 : 1 + i % 5;
  }
  PacketList list;
  for (const uint64_t n : numbers) list.push_back(n);
  ASSERT_EQ(list.size(), numbers.size());
  for (size_t i = 0; i < numbers.size(); ++i) {
    EXPECT_EQ(list[i], numbers[i]);
    EXPECT_EQ(list.lower_bound(numbers[i]), i);
    EXPECT_EQ(list.lower_bound(numbers[i] + 1), i + 1);
  }
  EXPECT_EQ(list.lower_bound(0), 0u);
  EXPECT_LT(list.memory_bytes(), numbers.size() * 3);  // about a byte each, and spare capacity
}

TEST(HexPage, RowsOfHexAndAscii) {
  const std::vector<uint8_t> bytes = {0x00, 0x00, 0x01, 0xB3, 'T', 'a', 'v', 'i', 'k', 0x7F,
                                      1,    2,    3,    4,    5,   6,   7,   8,   9};
  const RandomAccessMemory file(bytes);
  EXPECT_EQ(hex_row_count(bytes.size()), 2u);
  const std::vector<HexRow> rows = hex_rows(file, 0, 5);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].hex.substr(0, 11), "00 00 01 b3");
  EXPECT_EQ(rows[0].ascii.substr(0, 10), "....Tavik.");
  EXPECT_EQ(rows[1].offset, 16u);
  EXPECT_EQ(rows[1].hex, "07 08 09");
  EXPECT_EQ(hex_rows_of(file, 15, 17).size(), 2u);
}

// The structure of an elementary stream, walked as the headers walk does it.
class StructureTreeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    bytes_ = test::read_file(
        test::make_ffmpeg_stream("tree.m2v", "-c:v mpeg2video -bf 2 -g 6",
                                 "-f lavfi -i testsrc=size=176x144:rate=25:d=0.64"));
    MemoryInput input(bytes_);
    ElementarySource source(input);
    source.set_payload_observer(&builder_);
    CollectedMessages messages;
    auto ctx = std::make_unique<DecoderContext>(messages);
    HeaderParser parser(*ctx, builder_, 0, false);
    BitReader& reader = ctx->layer.reader;
    reader.reset_reader(&source);
    while (parser.read_headers() == 1) {
      for (reader.next_start_code(); is_slice_start_code(reader.peek_bits(32));
           reader.next_start_code()) {
        (void)parser.read_slice_header(reader.read_bits32());
      }
    }
    reader.reset_reader(nullptr);
    builder_.finish(Container::kElementary, bytes_.size(), 0);
  }

  // Every node below `node` knows its row and parent.
  int check_places(StructureTree& tree, NodeId node) {
    int nodes = 1;
    for (uint64_t row = 0; row < tree.child_count(node); ++row) {
      const NodeId child = tree.child(node, row);
      EXPECT_EQ(tree.row(child), row) << tree.text(child);
      EXPECT_EQ(tree.parent(child), node) << tree.text(child);
      nodes += check_places(tree, child);
    }
    return nodes;
  }

  std::vector<uint8_t> bytes_;
  StreamIndex index_;
  IndexBuilder builder_{index_};
};

TEST_F(StructureTreeTest, EveryNodeKnowsItsPlace) {
  const RandomAccessMemory file(bytes_);
  StructureTree tree(index_, file);
  EXPECT_EQ(index_.pictures.size(), 16u);
  EXPECT_EQ(index_.groups.size(), 3u);
  EXPECT_EQ(index_.slice_offsets.size(), 16u * 9);
  EXPECT_GT(check_places(tree, tree.root()), 16 * 9 * 4);
  EXPECT_EQ(index_.payload.run_count(), 1u);
}

TEST_F(StructureTreeTest, ElementsAreFoundByByteNameAndType) {
  const RandomAccessMemory file(bytes_);
  StructureTree tree(index_, file);
  // Byte 7 holds aspect_ratio_information and frame_rate_code: the first of them is innermost.
  const NodeId aspect = tree.innermost_at(7);
  EXPECT_EQ(tree.text(aspect), "aspect_ratio_information = 1 (1:1 samples)");
  const NodeInfo size = tree.info(tree.innermost_at(6));
  EXPECT_EQ(size.name, "vertical_size_value");
  EXPECT_EQ(size.bit_offset, 5 * 8 + 4);
  EXPECT_EQ(tree.bit_text(tree.innermost_at(6)), "000010010000");  // 144

  const auto first = tree.find("picture_coding_type", tree.root());
  ASSERT_TRUE(first.has_value());
  EXPECT_EQ(tree.text(*first), "picture_coding_type = 1 (I)");
  const auto second = tree.find("picture_coding_type", *first);
  ASSERT_TRUE(second.has_value());
  EXPECT_EQ(tree.text(*second), "picture_coding_type = 2 (P)");
  EXPECT_EQ(tree.find("25 fps", tree.root()).has_value(), true);
  EXPECT_FALSE(tree.find("no_such_element", tree.root()).has_value());

  const auto b = tree.next_picture(0, 3, true);
  ASSERT_TRUE(b.has_value());
  EXPECT_EQ(tree.info(*b).value, "B");
  EXPECT_FALSE(tree.next_picture(0, 1, false).has_value());
  // A picture's bytes run from its start code to the next picture's, in one stretch.
  const std::vector<PayloadMap::Span> spans = tree.file_spans(*b);
  ASSERT_EQ(spans.size(), 1u);
  EXPECT_EQ(spans[0].file, index_.picture_byte(b->index()));
  EXPECT_EQ(tree.innermost_at(spans[0].file + spans[0].size - 1).kind(), NodeKind::kSlice);
}

}  // namespace
}  // namespace tavik
