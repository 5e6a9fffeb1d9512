#include "input/system_demux.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "base/fatal_error.h"
#include "base/messages.h"
#include "decoder/syntax/bit_reader.h"
#include "input/byte_input.h"
#include "input/video_source.h"
#include "support/chunked_input.h"
#include "support/demux_walk.h"
#include "support/system_stream_builder.h"

namespace tavik {
namespace {

using test::ChunkedInput;
using test::counting_bytes;
using test::DemuxResult;
using test::SystemStreamBuilder;
using TimeStamps = SystemStreamBuilder::TimeStamps;

// Feeds an ISO/IEC 11172-1 system stream in blocks of `block_size` bytes.
DemuxResult demux_in_blocks(const std::vector<uint8_t>& bytes, size_t block_size) {
  return test::demux_in_blocks(Container::kSystem, bytes, block_size);
}

// Packets of every header kind, packs and other streams between them, and a video packet after
// the end code that must never be read as video.
struct MixedStream {
  std::vector<uint8_t> bytes;
  std::vector<uint8_t> video;  // the payload before the end code
};

MixedStream mixed_stream() {
  SystemStreamBuilder builder;
  builder.pack()
      .other_packet(0xBB, 12)
      .video_packet(counting_bytes(40, 1))
      .other_packet(0xC0, 30, 0x00)
      .video_packet(counting_bytes(17, 50), 3, false, TimeStamps::kPts)
      .pack()
      .video_packet(counting_bytes(25, 80), 0, true, TimeStamps::kPtsDts)
      .other_packet(0xBE, 0)
      .video_packet({}, 0, true, TimeStamps::kNone)
      .video_packet(counting_bytes(9, 120), 2, true, TimeStamps::kPts)
      .other_packet(0xE1, 20, 0x01)
      .video_packet(counting_bytes(33, 140), 1)
      .end();
  const auto video = builder.video();
  builder.video_packet(counting_bytes(10, 200));
  return {builder.bytes(), video};
}

// Reads `n` bytes from a video source in reads of varying size.
std::vector<uint8_t> read_source(VideoSource& source, size_t n, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> out(n);
  size_t have = 0;
  while (have < n) {
    const size_t want = std::min<size_t>(n - have, 1 + random() % 97);
    const size_t got = source.read(out.data() + have, want);
    EXPECT_GE(got, 1u);
    EXPECT_LE(got, want);
    have += got;
  }
  return out;
}

std::vector<uint8_t> with_end_codes(std::vector<uint8_t> bytes, size_t count) {
  for (size_t i = 0; i < count; ++i) bytes.insert(bytes.end(), {0x00, 0x00, 0x01, 0xB7});
  return bytes;
}

TEST(SystemDemux, FindsTheVideoPayloadOfEveryPacketKindInBlocksOfEverySize) {
  const auto mixed = mixed_stream();
  for (size_t block_size = 1; block_size <= mixed.bytes.size(); ++block_size) {
    const auto result = demux_in_blocks(mixed.bytes, block_size);
    ASSERT_EQ(result.video, mixed.video) << "blocks of " << block_size;
    ASSERT_TRUE(result.ended) << "blocks of " << block_size;
    ASSERT_FALSE(result.failed) << "blocks of " << block_size;
  }
}

TEST(SystemDemux, ReportsBrokenPacketHeaders) {
  struct Case {
    std::vector<uint8_t> header;
    const char* why;
  };
  const std::vector<Case> cases = {
      {{0xFF, 0xFF, 0x84, 0x00}, "MPEG-2 flags after stuffing"},
      {{0xC0, 0x00, 0x0F}, "flag byte 0xC0 or above where STD fields may begin"},
      {{0x60, 0x2E, 0x40}, "STD fields twice"},
      {{0x60, 0x2E, 0x85}, "flag byte 0x80 or above after the STD fields"},
      {{0x10}, "unknown flag byte"},
      {{0x00}, "zero flag byte"},
  };
  for (const auto& c : cases) {
    SystemStreamBuilder builder;
    builder.pack()
        .video_packet(counting_bytes(8, 1))
        .raw_video_packet(c.header, counting_bytes(8, 9));
    for (size_t block_size : {size_t{1}, size_t{5}, builder.bytes().size()}) {
      const auto result = demux_in_blocks(builder.bytes(), block_size);
      EXPECT_TRUE(result.failed) << c.why;
      EXPECT_EQ(result.error, "Error in packet header\n") << c.why;
      EXPECT_EQ(result.video, counting_bytes(8, 1)) << c.why;
    }
    // The source gives the video before the broken packet, then throws the error.
    MemoryInput input(builder.bytes());
    ContainerSource source(input, std::make_unique<SystemDemux>());
    EXPECT_EQ(read_source(source, 8, 5), counting_bytes(8, 1)) << c.why;
    std::string error;
    try {
      uint8_t byte = 0;
      (void)source.read(&byte, 1);
    } catch (const FatalError& fatal) {
      error = fatal.what();
    }
    EXPECT_EQ(error, "Error in packet header\n") << c.why;
  }
}

TEST(SystemDemux, ReportsCodesBelowTheSystemHeaderCode) {
  for (const uint8_t id : {uint8_t{0xB3}, uint8_t{0x00}, uint8_t{0xB8}, uint8_t{0xB7}}) {
    SystemStreamBuilder builder;
    const uint8_t code[] = {0x00, 0x00, 0x01, id, 0x00, 0x00};
    builder.pack().raw(code);
    const auto result = demux_in_blocks(builder.bytes(), 3);
    EXPECT_TRUE(result.failed);
    EXPECT_EQ(result.error,
              format_text("Unexpected startcode %08x in system layer\n", 0x100u | id));
  }
}

TEST(SystemDemux, PacketShorterThanItsHeaderHasNoPayload) {
  SystemStreamBuilder builder;
  // Length 2 while the header holds STD fields and a time stamp.
  const uint8_t broken[] = {0x00, 0x00, 0x01, 0xE0, 0x00, 0x02, 0x60,
                            0x2E, 0x21, 0x00, 0x01, 0x00, 0x01};
  builder.pack().raw(broken).video_packet(counting_bytes(6, 1)).end();
  const auto result = demux_in_blocks(builder.bytes(), builder.bytes().size());
  EXPECT_TRUE(result.ended);
  EXPECT_EQ(result.video, counting_bytes(6, 1));
}

// A packet of any stream with its header given raw.
std::vector<uint8_t> packet(uint8_t id, std::vector<uint8_t> header,
                            const std::vector<uint8_t>& payload) {
  const size_t length = header.size() + payload.size();
  std::vector<uint8_t> bytes = {0x00, 0x00, 0x01, id, uint8_t(length >> 8), uint8_t(length)};
  bytes.insert(bytes.end(), header.begin(), header.end());
  bytes.insert(bytes.end(), payload.begin(), payload.end());
  return bytes;
}

// Program streams: 13818-1 pack headers with stuffing, zero bytes between packs, a system header
// naming the video streams, packet headers of both forms; 0xE0 when declared, else the first
// video stream met.
TEST(SystemDemux, ReadsProgramStreamsAndChoosesTheVideoStream) {
  const std::vector<uint8_t> pack = {0x00, 0x00, 0x01, 0xBA, 0x44, 0x00, 0x04, 0x00,
                                     0x04, 0x01, 0x01, 0x89, 0xC3, 0xFA, 0xFF, 0xFF};
  const auto system_header = [](uint8_t first, uint8_t second) {
    return packet(0xBB, {0x80, 0x01, 0x01, 0x04, 0xE1, 0xFF},
                  {first, 0xE0, 0x20, second, 0xE0, 0x20, 0xC0, 0xC0, 0x20});
  };
  const std::vector<uint8_t> mpeg2_header = {0x81, 0xC0, 0x0A, 0x31, 0x00, 0x01, 0x00,
                                             0x01, 0x11, 0x00, 0x01, 0x00, 0x01};
  const struct {
    uint8_t first, second;  // the video streams declared
    uint8_t chosen;
  } cases[] = {{0xE2, 0xE1, 0xE2}, {0xE1, 0xE0, 0xE0}};
  for (const auto& c : cases) {
    std::vector<uint8_t> stream;
    const auto add = [&stream](const std::vector<uint8_t>& bytes) {
      stream.insert(stream.end(), bytes.begin(), bytes.end());
    };
    std::vector<uint8_t> video;
    const auto add_video = [&](uint8_t id, const std::vector<uint8_t>& header, uint8_t first) {
      add(packet(id, header, counting_bytes(9, first)));
      if (id == c.chosen) video.insert(video.end(), stream.end() - 9, stream.end());
    };
    add(pack);
    add(system_header(c.first, c.second));
    add_video(c.first, mpeg2_header, 1);
    add(packet(0xC0, {0x0F}, counting_bytes(20, 0)));
    add({0x00, 0x00, 0x00, 0x00, 0x00});
    add(pack);
    add_video(c.second, {0xFF, 0x0F}, 20);
    add_video(c.first, {0x80, 0x00, 0x00}, 40);
    add({0x00, 0x00, 0x01, 0xB9});
    for (const size_t block_size : {size_t{1}, size_t{7}, stream.size()}) {
      const auto result = test::demux_in_blocks(Container::kProgram, stream, block_size);
      EXPECT_EQ(result.video, video) << block_size;
      EXPECT_TRUE(result.ended);
      EXPECT_EQ(result.origin.stream, c.chosen);
      EXPECT_EQ(result.origin.video_streams, 2);
    }
  }
}

TEST(SystemSource, GivesThePayloadThenEndCodes) {
  const auto mixed = mixed_stream();
  // No end code: the end of the file ends the payload.
  SystemStreamBuilder unended;
  unended.pack().video_packet(counting_bytes(13, 1));
  // Packets longer than one input block of the source, so the skip runs over several blocks.
  SystemStreamBuilder long_packets;
  long_packets.pack().video_packet(counting_bytes(100, 0));
  for (int i = 0; i < 3; ++i) long_packets.other_packet(0xBE, 65535, 0x00).pack();
  long_packets.other_packet(0xC0, 40000, 0x01);
  std::vector<uint8_t> second(70000);
  std::mt19937 random(7);
  std::generate(second.begin(), second.end(), [&] { return uint8_t(random()); });
  long_packets.video_packet(std::span(second).first(65000), 5, true, TimeStamps::kPtsDts)
      .pack()
      .video_packet(std::span(second).subspan(65000), 0, false, TimeStamps::kPts)
      .end();

  const struct {
    const std::vector<uint8_t>& bytes;
    std::vector<uint8_t> expected;
  } cases[] = {
      {mixed.bytes, with_end_codes(mixed.video, 16)},
      {unended.bytes(), with_end_codes(counting_bytes(13, 1), 8)},
      {long_packets.bytes(), with_end_codes(long_packets.video(), 4)},
  };
  for (const auto& c : cases) {
    for (const size_t chunk : {size_t{1}, size_t{7}, size_t{4093}, size_t{1} << 20}) {
      ChunkedInput input(c.bytes, chunk);
      ContainerSource source(input, std::make_unique<SystemDemux>());
      EXPECT_EQ(read_source(source, c.expected.size(), unsigned(chunk)), c.expected)
          << c.bytes.size() << " bytes in chunks of " << chunk;
    }
  }
}

TEST(SystemSource, StartCodesSplitAcrossPacketsReachTheReader) {
  // 00 00 | 01 B3 across two packets with an audio packet and a pack between them, and
  // 00 | 00 01 | 00 over three packets.
  SystemStreamBuilder builder;
  const uint8_t head[] = {0x12, 0x34, 0x00, 0x00};
  const uint8_t middle[] = {0x01, 0xB3, 0x55, 0x00};
  const uint8_t tail1[] = {0x00, 0x01};
  const uint8_t tail2[] = {0x00, 0x77};
  builder.pack()
      .video_packet(head)
      .other_packet(0xC0, 9)
      .pack()
      .video_packet(middle, 1, true, TimeStamps::kPts)
      .video_packet(tail1)
      .other_packet(0xBE, 3)
      .video_packet(tail2)
      .end();
  for (size_t chunk : {size_t{1}, size_t{5}, size_t{1} << 20}) {
    ChunkedInput input(builder.bytes(), chunk);
    ContainerSource source(input, std::make_unique<SystemDemux>());
    BitReader reader;
    reader.reset_reader(&source);
    reader.next_start_code();
    EXPECT_EQ(reader.consumed_bits(), 2u * 8);
    EXPECT_EQ(reader.read_bits32(), 0x000001B3u);
    reader.next_start_code();
    EXPECT_EQ(reader.consumed_bits(), 7u * 8);
    EXPECT_EQ(reader.read_bits32(), 0x00000100u);
    reader.next_start_code();
    EXPECT_EQ(reader.read_bits32(), 0x000001B7u);
  }
}

}  // namespace
}  // namespace tavik
