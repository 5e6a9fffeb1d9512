#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace tavik {

// Bytes read at any offset without reading what lies before: the file a structure or a hex
// view is shown of.
class RandomAccess {
 public:
  virtual ~RandomAccess() = default;
  [[nodiscard]] virtual uint64_t size() const = 0;
  // Reads up to dst.size() bytes at `offset`; returns the count (fewer at the end, 0 past it or
  // after a read error).
  virtual size_t read_at(uint64_t offset, std::span<uint8_t> dst) const = 0;
};

class RandomAccessFile final : public RandomAccess {
 public:
  // Null when the file cannot be opened.
  [[nodiscard]] static std::unique_ptr<RandomAccessFile> open(const std::string& path);
  ~RandomAccessFile() override;
  RandomAccessFile(const RandomAccessFile&) = delete;
  RandomAccessFile& operator=(const RandomAccessFile&) = delete;
  [[nodiscard]] uint64_t size() const override { return size_; }
  size_t read_at(uint64_t offset, std::span<uint8_t> dst) const override;

 private:
  RandomAccessFile(int fd, uint64_t size) : fd_(fd), size_(size) {}
  int fd_;
  uint64_t size_;
};

// Bytes in memory that outlive it (tests, fuzzing).
class RandomAccessMemory final : public RandomAccess {
 public:
  explicit RandomAccessMemory(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  [[nodiscard]] uint64_t size() const override { return bytes_.size(); }
  size_t read_at(uint64_t offset, std::span<uint8_t> dst) const override;

 private:
  std::span<const uint8_t> bytes_;
};

}  // namespace tavik
