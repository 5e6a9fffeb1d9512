#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "analysis/analysis_store.h"
#include "base/messages.h"
#include "input/byte_input.h"
#include "input/container_demux.h"

namespace tavik {

// Measures the stream on an input of its own: the bytes of every picture, GOP and slice, found
// by their start-code patterns in the raw file. One measure_picture() call per picture start
// code that the decoder meets, plus one at the sequence end code.
class StartCodeScanner {
 public:
  StartCodeScanner(AnalysisStore& store, Messages& messages);

  // Starts on a new input, read from its first byte. Call before the reset call.
  void attach(ByteInput* input);
  // In a container only the payload bytes of the chosen video stream are searched for patterns
  // (every byte is still counted). Set before the first measuring call.
  void set_container(Container container);

  // The reset call when the store's scan_reset_pending is set, else one measuring call.
  void measure_picture();

 private:
  void prime();
  void measure();
  [[nodiscard]] bool fill_block();
  [[nodiscard]] bool next_run();
  [[nodiscard]] size_t find_code();
  void count(uint64_t n);
  [[nodiscard]] bool take_code_byte(uint8_t code);
  void close_gop();
  void record_slice();
  void record_frame();
  void flush_counts(StoreData& data);

  AnalysisStore& store_;
  Messages& messages_;
  ByteInput* input_ = nullptr;
  std::unique_ptr<ContainerDemux> demux_;  // null for an elementary stream

  // The block read last: [block_pos_, block_end_) not yet walked; [run_pos_, run_end_) walked
  // pattern bytes (video payload in a system stream) not yet searched.
  std::vector<uint8_t> block_;
  size_t block_pos_ = 0;
  size_t block_end_ = 0;
  size_t run_pos_ = 0;
  size_t run_end_ = 0;
  bool at_end_ = false;
  bool priming_pending_ = false;

  uint32_t window_ = 0;  // the last four pattern bytes, oldest in the top byte

  uint64_t picture_bytes_ = 0;  // bytes of this call
  uint64_t slice_bytes_ = 0;    // bytes since the last slice start code or the start of the call
  uint64_t unflushed_ = 0;      // bytes counted but not yet added to the store
};

}  // namespace tavik
