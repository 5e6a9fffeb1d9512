#include "input/shared_pipe.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <limits>
#include <vector>

namespace tavik {

namespace {

constexpr size_t kChunkSize = size_t{1} << 16;

struct Chunk {
  std::unique_ptr<uint8_t[]> bytes = std::make_unique<uint8_t[]>(kChunkSize);
  size_t size = 0;
};

// Where one reader is. A failed reader, or one that is gone, keeps nothing in memory.
struct ReaderPlace {
  uint64_t position = 0;
  bool failed = false;
  bool gone = false;
};

}  // namespace

// The bytes [base_, top_) of the pipe, in whole chunks from base_ on (only the last one is
// being filled), and the place of every reader.
class SharedPipe::State {
 public:
  State(int fd, size_t window) : fd_(fd), window_(std::max(window, 2 * kChunkSize)) {}

  size_t add_reader() {
    readers_.push_back({});
    return readers_.size() - 1;
  }
  void remove_reader(size_t reader) { readers_[reader].gone = true; }

  size_t read(size_t reader, uint8_t* dst, size_t n) {
    ReaderPlace& place = readers_[reader];
    if (place.failed || n == 0) return 0;
    if (place.position < base_) {
      overrun_ = true;
      place.failed = true;
      return 0;
    }
    while (place.position >= top_) {
      if (!fetch()) {
        place.failed = error_ != 0;
        return 0;
      }
    }
    const uint64_t offset = place.position - base_;
    const Chunk& chunk = chunks_[static_cast<size_t>(offset / kChunkSize)];
    const size_t within = static_cast<size_t>(offset % kChunkSize);
    const size_t count = std::min(n, chunk.size - within);
    std::memcpy(dst, chunk.bytes.get() + within, count);
    place.position += count;
    return count;
  }

  void seek(size_t reader, uint64_t position) {
    readers_[reader].position = position;
    readers_[reader].failed = false;
  }
  [[nodiscard]] uint64_t position(size_t reader) const { return readers_[reader].position; }
  [[nodiscard]] bool failed(size_t reader) const { return readers_[reader].failed; }

  void on_read(std::function<void(uint64_t)> progress) { progress_ = std::move(progress); }
  [[nodiscard]] uint64_t bytes_read() const { return top_; }
  [[nodiscard]] size_t bytes_kept() const { return chunks_.size() * kChunkSize; }
  [[nodiscard]] bool overrun() const { return overrun_; }
  [[nodiscard]] size_t window() const { return window_; }

 private:
  // Reads more of the pipe; false at its end or after an error.
  bool fetch() {
    if (at_end_ || error_ != 0) return false;
    if (chunks_.empty() || chunks_.back().size == kChunkSize) start_chunk();
    Chunk& chunk = chunks_.back();
    for (;;) {
      const ssize_t got = ::read(fd_, chunk.bytes.get() + chunk.size, kChunkSize - chunk.size);
      if (got > 0) {
        chunk.size += static_cast<size_t>(got);
        top_ += static_cast<uint64_t>(got);
        if (progress_) progress_(top_);
        return true;
      }
      if (got == 0) {
        at_end_ = true;
        return false;
      }
      if (errno != EINTR) {
        error_ = errno;
        return false;
      }
    }
  }

  // A chunk to fill after the last one: the chunks no reader needs go first, and then, past
  // the window, the oldest ones whoever needs them. A dropped chunk's memory is used again.
  void start_chunk() {
    uint64_t needed = std::numeric_limits<uint64_t>::max();
    for (const ReaderPlace& place : readers_) {
      if (!place.gone && !place.failed) needed = std::min(needed, place.position);
    }
    std::unique_ptr<uint8_t[]> spare;
    while (!chunks_.empty() &&
           (base_ + kChunkSize <= needed || (chunks_.size() + 1) * kChunkSize > window_)) {
      spare = std::move(chunks_.front().bytes);
      chunks_.pop_front();
      base_ += kChunkSize;
    }
    chunks_.emplace_back(spare ? Chunk{std::move(spare), 0} : Chunk{});
  }

  const int fd_;
  const size_t window_;
  std::deque<Chunk> chunks_;
  uint64_t base_ = 0;
  uint64_t top_ = 0;
  bool at_end_ = false;
  int error_ = 0;
  bool overrun_ = false;
  std::vector<ReaderPlace> readers_;
  std::function<void(uint64_t)> progress_;
};

class SharedPipe::Reader final : public ByteInput {
 public:
  explicit Reader(std::shared_ptr<State> state)
      : state_(std::move(state)), index_(state_->add_reader()) {}
  ~Reader() override { state_->remove_reader(index_); }
  Reader(const Reader&) = delete;
  Reader& operator=(const Reader&) = delete;

  size_t read_some(uint8_t* dst, size_t n) override { return state_->read(index_, dst, n); }
  void rewind() override { state_->seek(index_, 0); }
  // Bytes passed over need not be kept: the reader only moves on.
  void skip(uint64_t n) override { state_->seek(index_, state_->position(index_) + n); }
  [[nodiscard]] bool read_failed() const override { return state_->failed(index_); }

 private:
  std::shared_ptr<State> state_;
  size_t index_;
};

SharedPipe::SharedPipe(int fd, size_t window) : state_(std::make_shared<State>(fd, window)) {}

SharedPipe::~SharedPipe() = default;

std::unique_ptr<ByteInput> SharedPipe::reader() {
  return std::make_unique<Reader>(state_);
}

void SharedPipe::on_read(std::function<void(uint64_t)> progress) {
  state_->on_read(std::move(progress));
}

uint64_t SharedPipe::bytes_read() const {
  return state_->bytes_read();
}

size_t SharedPipe::bytes_kept() const {
  return state_->bytes_kept();
}

bool SharedPipe::overrun() const {
  return state_->overrun();
}

size_t SharedPipe::window() const {
  return state_->window();
}

}  // namespace tavik
