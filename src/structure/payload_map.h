#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace tavik {

// Where the bytes of the video elementary stream lie in the file. The video comes in chunks
// (packet payloads); chunks of one size that follow one another in the video and lie at one
// distance from each other in the file (transport packets, packs of a program stream) are kept
// as one strided run, and the whole of an elementary stream is a single run.
class PayloadMap {
 public:
  struct Run {
    uint64_t video = 0;   // video offset of the first chunk
    uint64_t file = 0;    // file offset of the first chunk
    uint32_t chunk = 0;   // bytes per chunk
    uint32_t stride = 0;  // file distance from one chunk to the next (0 while count is 1)
    uint32_t count = 0;
  };

  // A chunk of video bytes, after those added before.
  void add(uint64_t file, uint64_t size);

  // The video bytes mapped.
  [[nodiscard]] uint64_t video_size() const { return video_size_; }
  // The file offset of a video byte; nullopt beyond the video.
  [[nodiscard]] std::optional<uint64_t> file_offset(uint64_t video) const;
  // The video offset of a file byte that is video; nullopt for any other byte (packet
  // headers, other streams).
  [[nodiscard]] std::optional<uint64_t> video_offset(uint64_t file) const;

  // One stretch of the file holding consecutive video bytes.
  struct Span {
    uint64_t file = 0;
    uint64_t size = 0;
  };
  // The file stretches of the video bytes [begin, end), in order.
  [[nodiscard]] std::vector<Span> file_spans(uint64_t begin, uint64_t end) const;

  [[nodiscard]] size_t run_count() const { return runs_.size(); }
  [[nodiscard]] size_t memory_bytes() const { return runs_.capacity() * sizeof(Run); }

 private:
  [[nodiscard]] const Run* run_of_video(uint64_t video) const;
  [[nodiscard]] const Run* run_of_file(uint64_t file) const;

  std::vector<Run> runs_;
  uint64_t video_size_ = 0;
};

}  // namespace tavik
