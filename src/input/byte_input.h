#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace tavik {

// A raw byte input: the stream file, or a buffer in memory (tests, fuzzing).
class ByteInput {
 public:
  virtual ~ByteInput() = default;
  // Reads up to n bytes; 0 means the end of the input or a read error (see read_failed).
  virtual size_t read_some(uint8_t* dst, size_t n) = 0;
  // Back to the first byte.
  virtual void rewind() = 0;
  // Passes over the next n bytes (fewer at the end of the input).
  virtual void skip(uint64_t n);
  // True once a read has failed for a reason other than the end of the input.
  [[nodiscard]] virtual bool read_failed() const { return false; }
};

class FileInput final : public ByteInput {
 public:
  // Returns null when the file cannot be opened.
  [[nodiscard]] static std::unique_ptr<FileInput> open(const std::string& path);
  ~FileInput() override;
  size_t read_some(uint8_t* dst, size_t n) override;
  void rewind() override;
  void skip(uint64_t n) override;
  [[nodiscard]] bool read_failed() const override { return failed_; }

 private:
  explicit FileInput(int fd) : fd_(fd) {}
  int fd_;
  bool failed_ = false;
};

// Reads from a span that outlives it.
class MemoryInput final : public ByteInput {
 public:
  explicit MemoryInput(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  size_t read_some(uint8_t* dst, size_t n) override;
  void rewind() override { offset_ = 0; }

 private:
  std::span<const uint8_t> bytes_;
  size_t offset_ = 0;
};

}  // namespace tavik
