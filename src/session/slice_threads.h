#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include "decoder/picture/macroblock_record.h"
#include "decoder/picture/prediction.h"
#include "decoder/syntax/decoder_state.h"

namespace tavik {

// Decodes the slices of a picture on several threads. The picture's slice bytes are split into
// parts at macroblock rows; each part is decoded by its own decoder into its own rows of the
// frame (slices do not depend on each other within a picture). Undamaged pictures come out
// exactly as one decoder makes them; warnings are passed on in stream order.
class SliceThreads {
 public:
  explicit SliceThreads(int threads);
  ~SliceThreads();

  // As PictureDecoder::decode_slices on the session's context; the second field is shown
  // after the picture. Each part records its own macroblocks in `records` (empty: none).
  void decode_picture(DecoderContext& ctx, int frame_number, const PredictionFrames& frames,
                      const std::function<void()>& second_field,
                      std::span<MacroblockRecord> records = {});

 private:
  struct Worker;
  struct Part;

  void split_parts(const DecoderContext& ctx);
  void decode_part(Worker& worker, size_t index);
  void take_parts(Worker& worker);
  void serve(Worker& worker);

  std::vector<std::unique_ptr<Worker>> workers_;
  std::vector<uint8_t> bytes_;
  std::vector<Part> parts_;  // as many as can be used; the first part_count_ are this picture's
  size_t part_count_ = 0;

  // The picture of the round.
  int frame_number_ = 0;
  const PredictionFrames* frames_ = nullptr;
  std::atomic<size_t> next_part_{0};

  // Helper threads, one per worker but the first (the calling thread's). A round is open
  // while the calling thread decodes a picture; active_ counts the helpers in it.
  std::vector<std::thread> helpers_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable done_;
  uint64_t round_ = 0;
  int active_ = 0;
  bool open_ = false;
  bool stopping_ = false;
};

}  // namespace tavik
