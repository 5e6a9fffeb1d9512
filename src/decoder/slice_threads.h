#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "decoder/decoder_state.h"
#include "decoder/prediction.h"

namespace tavik {

class AnalysisStore;
class StartCodeScanner;

// Decodes the slices of a picture on several threads. The picture's slice bytes are split into
// parts at macroblock rows; each part is decoded by its own decoder into its own rows of the
// frame (slices do not depend on each other within a picture). Undamaged pictures come out
// exactly as one decoder makes them; warnings are passed on in stream order.
class SliceThreads {
 public:
  // `scanner` and `store` are only held by the parts' header readers, which read slice headers.
  SliceThreads(int threads, StartCodeScanner& scanner, AnalysisStore& store);
  ~SliceThreads();

  // As PictureDecoder::decode_slices on the session's context; the second field is shown
  // after the picture.
  void decode_picture(DecoderContext& ctx, int frame_number, const PredictionFrames& frames,
                      const std::function<void()>& second_field);

 private:
  struct Worker;
  struct Part;

  void split_parts(const DecoderContext& ctx);
  void decode_part(Worker& worker, size_t index, int frame_number, const PredictionFrames& frames);

  std::vector<std::unique_ptr<Worker>> workers_;
  std::vector<uint8_t> bytes_;
  std::vector<Part> parts_;  // as many as can be used; the first part_count_ are this picture's
  size_t part_count_ = 0;
};

}  // namespace tavik
