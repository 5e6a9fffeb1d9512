#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "input/byte_input.h"
#include "input/container_demux.h"
#include "input/pes_timestamps.h"

namespace tavik {

// Told where each run of video bytes given lies in the input: `video_offset` in the video
// elementary stream, `input_offset` in the input read.
class PayloadObserver {
 public:
  virtual ~PayloadObserver() = default;
  virtual void video_payload(uint64_t video_offset, uint64_t input_offset, size_t size) = 0;
};

// Supplies the bytes of the video elementary stream. Past the end of the video it supplies
// sequence end codes (00 00 01 B7) without end, so a reader always meets the end of the
// sequence.
class VideoSource {
 public:
  virtual ~VideoSource() = default;
  // Writes between 1 and n bytes (n > 0) and returns the count. Throws FatalError when the
  // system layer is broken and no byte before the break is left to give.
  virtual size_t read(uint8_t* dst, size_t n) = 0;
  // The bytes of the video stream given so far, without the padding after its end.
  [[nodiscard]] virtual int64_t video_bytes() const = 0;

  // Told of every run of the input's bytes given from then on (null: none); the padding after
  // the end is not the input's.
  void set_payload_observer(PayloadObserver* observer) { observer_ = observer; }

 protected:
  PayloadObserver* observer_ = nullptr;
};

// An elementary stream file. At its end: zero bytes up to the next multiple of four bytes of
// the file, then sequence end codes.
class ElementarySource final : public VideoSource {
 public:
  explicit ElementarySource(ByteInput& input) : input_(input) {}
  size_t read(uint8_t* dst, size_t n) override;
  [[nodiscard]] int64_t video_bytes() const override { return int64_t(offset_); }

 private:
  ByteInput& input_;
  uint64_t offset_ = 0;
  bool at_end_ = false;
  uint64_t padding_ = 0;  // bytes of padding given so far
};

// The payload of the video stream that a container's demultiplexer chooses. The container's
// end code, or the end of the file, ends the video.
class ContainerSource final : public VideoSource {
 public:
  ContainerSource(ByteInput& input, std::unique_ptr<ContainerDemux> demux);
  size_t read(uint8_t* dst, size_t n) override;
  [[nodiscard]] int64_t video_bytes() const override {
    return static_cast<int64_t>(video_given_ - pending_size_);
  }

  // Some video payload was given.
  [[nodiscard]] bool video_found() const { return video_found_; }
  [[nodiscard]] const ContainerDemux& demux() const { return *demux_; }
  // From now on the packets found are entered into `timestamps` (which must outlive the source).
  void keep_timestamps(PesTimestamps* timestamps) { timestamps_ = timestamps; }

 private:
  ByteInput& input_;
  std::unique_ptr<ContainerDemux> demux_;
  std::vector<uint8_t> block_;
  uint64_t block_offset_ = 0;  // input offset of block_[0]
  uint64_t video_given_ = 0;   // video bytes found so far
  size_t block_pos_ = 0;
  size_t block_end_ = 0;
  size_t pending_pos_ = 0;  // video payload found but not yet given
  size_t pending_size_ = 0;
  bool input_ended_ = false;
  bool video_found_ = false;
  uint64_t padding_ = 0;
  PesTimestamps* timestamps_ = nullptr;
};

// Writes n bytes of sequence end codes, continuing the pattern after `given` bytes of it.
void fill_end_codes(uint8_t* dst, size_t n, uint64_t given);

}  // namespace tavik
