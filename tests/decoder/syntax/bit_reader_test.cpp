#include "decoder/syntax/bit_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <random>
#include <utility>
#include <vector>

#include "input/byte_input.h"
#include "input/video_source.h"
#include "support/chunked_input.h"

namespace tavik {
namespace {

using test::ChunkedInput;

// Input sizes that meet the reader's buffer at every kind of boundary.
constexpr size_t kChunks[] = {1, 3, 8, 4093, size_t{1} << 20};

// The elementary stream as the reader must see it: the file, zeros up to a multiple of four
// bytes, then sequence end codes.
std::vector<uint8_t> padded(std::vector<uint8_t> file, size_t end_codes) {
  while (file.size() % 4 != 0) file.push_back(0);
  for (size_t i = 0; i < end_codes; ++i) file.insert(file.end(), {0x00, 0x00, 0x01, 0xB7});
  return file;
}

// n bits (1..32) at bit offset `bit` of `bytes`, most significant first.
uint32_t bits_at(const std::vector<uint8_t>& bytes, uint64_t bit, int n) {
  uint64_t value = 0;
  for (int i = 0; i < n; ++i) {
    const uint64_t at = bit + uint64_t(i);
    value = (value << 1) | ((bytes[at >> 3] >> (7 - (at & 7))) & 1);
  }
  return static_cast<uint32_t>(value);
}

// Bytes that never form a start code prefix.
std::vector<uint8_t> prefix_free_bytes(size_t n, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> bytes(n);
  for (auto& byte : bytes) byte = static_cast<uint8_t>(2 + random() % 254);
  return bytes;
}

class ReaderOnFile {
 public:
  ReaderOnFile(const std::vector<uint8_t>& file, size_t chunk)
      : input_(file, chunk), source_(input_) {
    reader.reset_reader(&source_);
  }
  BitReader reader;

 private:
  ChunkedInput input_;
  ElementarySource source_;
};

TEST(BitReader, ReadsFieldsAcrossBufferRefills) {
  std::mt19937 random(11);
  std::vector<uint8_t> file(200003);
  for (auto& byte : file) byte = static_cast<uint8_t>(random());
  const auto stream = padded(file, 4);
  for (const size_t chunk : kChunks) {
    ReaderOnFile on(file, chunk);
    BitReader& reader = on.reader;
    uint64_t bit = 0;
    while (bit < file.size() * 8 + 32) {
      ASSERT_EQ(reader.consumed_bits(), bit);
      const int peek = 1 + int(random() % 32);
      ASSERT_EQ(reader.peek_bits(peek), bits_at(stream, bit, peek)) << "bit " << bit;
      // read_bits, read_bits32, read_bit or skip_bits.
      const int op = int(random() % 4);
      const int n = op == 0   ? 1 + int(random() % 31)
                    : op == 1 ? 32
                    : op == 2 ? 1
                              : int(random() % 32);
      if (op == 3) {
        reader.skip_bits(n);
      } else {
        const uint32_t got = op == 0   ? reader.read_bits(n)
                             : op == 1 ? reader.read_bits32()
                                       : uint32_t(reader.read_bit());
        ASSERT_EQ(got, bits_at(stream, bit, n)) << "bit " << bit;
      }
      bit += uint64_t(n);
    }
  }
}

TEST(BitReader, NextStartCodeFindsCodesAcrossRefills) {
  auto file = prefix_free_bytes(400000, 5);
  // Codes at gaps from the shortest possible to more than the reader's 64 KiB buffer.
  constexpr size_t kGaps[] = {8, 9, 13, 100, 4001, 32765, 65533, 70001};
  std::mt19937 random(3);
  std::vector<std::pair<size_t, uint8_t>> codes;
  for (size_t at = 0; at + 5 < file.size(); at += kGaps[random() % std::size(kGaps)]) {
    const auto code = static_cast<uint8_t>(random() % 0xB0 == 0 ? 0xB5 : random());
    // Every fourth code has an extra leading zero: it starts at the second zero.
    const bool extra_zero = codes.size() % 4 == 3;
    const size_t start = at + (extra_zero ? 1 : 0);
    file[at] = 0;
    file[start] = 0;
    file[start + 1] = 0;
    file[start + 2] = 1;
    file[start + 3] = code;
    codes.emplace_back(start, code);
  }
  codes.emplace_back((file.size() + 3) / 4 * 4, 0xB7);

  for (const size_t chunk : kChunks) {
    ReaderOnFile on(file, chunk);
    BitReader& reader = on.reader;
    for (const auto& [at, code] : codes) {
      reader.next_start_code();
      ASSERT_EQ(reader.consumed_bits(), at * 8) << "chunk " << chunk;
      ASSERT_EQ(reader.read_bits32(), 0x00000100u | code);
      // Leave the reader off a byte boundary: the search aligns first.
      reader.skip_bits(3);
    }
  }
}

TEST(BitReader, NextStartCodeFromEveryBitPositionAndRefillPhase) {
  constexpr size_t kLead = 24;
  auto file = prefix_free_bytes(kLead + 12, 9);
  const uint8_t code[] = {0x00, 0x00, 0x01, 0xB5};
  std::copy(std::begin(code), std::end(code), file.begin() + kLead);
  for (size_t chunk = 1; chunk <= 9; ++chunk) {
    for (int start = 0; start <= int(kLead * 8); ++start) {
      ReaderOnFile on(file, chunk);
      for (int left = start; left > 0; left -= std::min(left, 31)) {
        on.reader.skip_bits(std::min(left, 31));
      }
      on.reader.next_start_code();
      ASSERT_EQ(on.reader.consumed_bits(), kLead * 8) << "chunk " << chunk << " from " << start;
      ASSERT_EQ(on.reader.read_bits32(), 0x000001B5u);
    }
  }
}

TEST(BitReader, PadsTheEndOfTheFileWithZerosThenEndCodes) {
  for (size_t size = 0; size <= 9; ++size) {
    const std::vector<uint8_t> file(size, 0xFF);
    const auto stream = padded(file, 6);
    for (const size_t chunk : {size_t{1}, size_t{1} << 20}) {
      ReaderOnFile on(file, chunk);
      for (size_t i = 0; i < stream.size(); ++i) {
        ASSERT_EQ(on.reader.read_bits(8), stream[i]) << "size " << size << " byte " << i;
      }
    }
  }
}

TEST(BitReader, FileShorterThanFourBytesIsAnImmediateSequenceEnd) {
  for (const std::vector<uint8_t>& file :
       {std::vector<uint8_t>{}, std::vector<uint8_t>{0x00}, std::vector<uint8_t>{0x00, 0x00},
        std::vector<uint8_t>{0x00, 0x00, 0x02}, std::vector<uint8_t>{0xB3, 0x01, 0x00}}) {
    ReaderOnFile on(file, 1);
    on.reader.next_start_code();
    EXPECT_EQ(on.reader.consumed_bits(), file.empty() ? 0u : 32u) << file.size();
    EXPECT_EQ(on.reader.read_bits32(), 0x000001B7u);
    on.reader.next_start_code();
    EXPECT_EQ(on.reader.read_bits32(), 0x000001B7u);
  }
}

TEST(BitReader, ResetStartsOverOnANewSource) {
  const std::vector<uint8_t> first = {0x00, 0x00, 0x01, 0xB3, 0xAB};
  const std::vector<uint8_t> second = {0xCD, 0x00, 0x00, 0x01, 0xBA};
  MemoryInput first_input(first);
  MemoryInput second_input(second);
  ElementarySource first_source(first_input);
  ElementarySource second_source(second_input);
  BitReader reader;
  reader.reset_reader(&first_source);
  EXPECT_EQ(reader.read_bits32(), 0x000001B3u);
  reader.reset_reader(&second_source);
  EXPECT_EQ(reader.consumed_bits(), 0u);
  EXPECT_EQ(reader.read_bits(8), 0xCDu);
  reader.next_start_code();
  EXPECT_EQ(reader.consumed_bits(), 8u);
  EXPECT_EQ(reader.peek_bits(32), 0x000001BAu);
}

}  // namespace
}  // namespace tavik
