#include "input/shared_pipe.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "input/stream_start.h"

namespace tavik {
namespace {

using Bytes = std::vector<uint8_t>;

// The bytes behind a descriptor read front to back, as a pipe is.
class PipedBytes {
 public:
  explicit PipedBytes(const Bytes& bytes) : fd_(::memfd_create("pipe", 0)) {
    EXPECT_EQ(::write(fd_, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    ::lseek(fd_, 0, SEEK_SET);
  }
  ~PipedBytes() { ::close(fd_); }
  [[nodiscard]] int fd() const { return fd_; }

 private:
  int fd_;
};

Bytes random_bytes(size_t size) {
  std::mt19937 random(7);
  Bytes bytes(size);
  for (uint8_t& byte : bytes) byte = uint8_t(random());
  return bytes;
}

// Reads up to `n` bytes in pieces of `piece`.
Bytes take(ByteInput& input, size_t n, size_t piece) {
  Bytes out;
  Bytes block(piece);
  while (out.size() < n) {
    const size_t got = input.read_some(block.data(), std::min(piece, n - out.size()));
    if (got == 0) break;
    out.insert(out.end(), block.begin(), block.begin() + long(got));
  }
  return out;
}

// The session's pattern: the decoder probes the start and rewinds, then both readers go from an
// offset on, in pieces of their own sizes; each reads the stream itself, the pipe once.
TEST(SharedPipe, EveryReaderReadsTheWholeStreamWhileThePipeIsReadOnce) {
  const Bytes bytes = random_bytes(3'000'000);
  PipedBytes piped(bytes);
  SharedPipe pipe(piped.fd(), size_t{1} << 20);
  auto decoder = pipe.reader();
  auto scanner = pipe.reader();
  EXPECT_EQ(take(*decoder, 200'000, 4096), Bytes(bytes.begin(), bytes.begin() + 200'000));
  decoder->rewind();
  OffsetInput decoder_from(std::move(decoder), 1000);
  OffsetInput scanner_from(std::move(scanner), 1000);
  Bytes decoded, scanned;
  for (size_t step = 0; decoded.size() + scanned.size() < 2 * (bytes.size() - 1000); ++step) {
    const Bytes d = take(decoder_from, 70'001, 2048);
    const Bytes s = take(scanner_from, 70'001, 65536);
    decoded.insert(decoded.end(), d.begin(), d.end());
    scanned.insert(scanned.end(), s.begin(), s.end());
    // Readers that advance together keep no more than a few blocks.
    EXPECT_LE(pipe.bytes_kept(), size_t{4} << 16);
    ASSERT_LT(step, 100u);
  }
  const Bytes expected(bytes.begin() + 1000, bytes.end());
  EXPECT_EQ(decoded, expected);
  EXPECT_EQ(scanned, expected);
  EXPECT_EQ(pipe.bytes_read(), bytes.size());
  EXPECT_FALSE(pipe.overrun());
  EXPECT_FALSE(decoder_from.read_failed());
}

// A reader left behind by more than the window does not hold the input in memory: it fails,
// and the pipe tells why, while the reader ahead reads on.
TEST(SharedPipe, MemoryStaysWithinTheWindowWhenAReaderIsLeftBehind) {
  const Bytes bytes = random_bytes(8'000'000);
  PipedBytes piped(bytes);
  const size_t window = size_t{1} << 20;
  SharedPipe pipe(piped.fd(), window);
  auto ahead = pipe.reader();
  auto behind = pipe.reader();
  Bytes read;
  for (Bytes piece; !(piece = take(*ahead, 65536, 65536)).empty();) {
    read.insert(read.end(), piece.begin(), piece.end());
    ASSERT_LE(pipe.bytes_kept(), window);
  }
  EXPECT_EQ(read, bytes);
  EXPECT_FALSE(pipe.overrun());
  uint8_t byte = 0;
  EXPECT_EQ(behind->read_some(&byte, 1), 0u);
  EXPECT_TRUE(behind->read_failed());
  EXPECT_TRUE(pipe.overrun());
  // Bytes still kept can be read again.
  behind->rewind();
  behind->skip(bytes.size() - 10);
  EXPECT_EQ(take(*behind, 10, 3), Bytes(bytes.end() - 10, bytes.end()));
}

}  // namespace
}  // namespace tavik
