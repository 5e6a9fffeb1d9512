#pragma once

#include <cstdint>
#include <vector>

#include "analysis/analysis_store.h"
#include "analysis/messages.h"
#include "decoder/byte_input.h"
#include "decoder/system_demux.h"

namespace tavik {

// Measures the stream on an input of its own: the bytes of every picture, GOP and slice, found
// by their start-code patterns in the raw file. One measure_picture() call per picture start
// code that the decoder meets, plus one at the sequence end code.
class StartCodeScanner {
 public:
  StartCodeScanner(AnalysisStore& store, Messages& messages);

  // Starts on a new input, read from its first byte. Call before the reset call.
  void attach(ByteInput* input);
  // In a system stream only the payload bytes of video stream 0 are searched for patterns
  // (every byte is still counted). Set before the first measuring call.
  void set_system_stream(bool system_stream);

  // The reset call when the store's scan_reset_pending is set, else one measuring call.
  void measure_picture();

 private:
  // ... implementation state
};

}  // namespace tavik
