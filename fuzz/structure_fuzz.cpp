// Builds the structure of any bytes by the headers walk and looks at it as a viewer would: every
// node's text, place and bytes (up to a budget), the innermost node at offsets through the file,
// a search and the hex rows; then the seek to a few pictures, walked from the video stretches
// it reads. Nothing may crash, hang or read outside a buffer.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "analysis/analysis_store.h"
#include "base/fatal_error.h"
#include "base/messages.h"
#include "decoder/syntax/stream_info.h"
#include "input/random_access.h"
#include "session/decoding_session.h"
#include "structure/hex_page.h"
#include "structure/index_builder.h"
#include "structure/seek_plan.h"
#include "structure/structure_tree.h"
#include "structure/video_ranges_input.h"

namespace {

constexpr int kNodeBudget = 3000;

void visit(tavik::StructureTree& tree, tavik::NodeId node, int& budget) {
  if (--budget < 0) return;
  (void)tree.text(node);
  (void)tree.file_spans(node);
  (void)tree.bit_text(node);
  const uint64_t count = tree.child_count(node);
  for (uint64_t row = 0; row < count && budget > 0; ++row) {
    const tavik::NodeId child = tree.child(node, row);
    // Every child knows its place.
    if (tree.row(child) != row || tree.parent(child) != node) __builtin_trap();
    visit(tree, child, budget);
  }
}

// The seek to `picture`, its video read as an elementary stream by a headers walk.
void seek(const tavik::StreamIndex& index, const tavik::RandomAccess& file, uint32_t picture) {
  const std::optional<tavik::SeekPlan> plan = tavik::plan_seek(index, picture);
  if (!plan) return;
  tavik::AnalysisStore store;
  tavik::CollectedMessages messages;
  tavik::SessionListener listener;
  tavik::DecodingSession session(store, messages, listener, {.decode_pictures = false});
  const std::vector<tavik::VideoRange> ranges = tavik::seek_ranges(index, plan->start_picture);
  try {
    session.open_inputs(std::make_unique<tavik::VideoRangesInput>(index, file, ranges),
                        std::make_unique<tavik::VideoRangesInput>(index, file, ranges));
    while (session.decode_step()) {
    }
  } catch (const tavik::FatalError&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  tavik::AnalysisStore store;
  tavik::CollectedMessages messages;
  tavik::SessionListener listener;
  tavik::StreamIndex index;
  tavik::IndexBuilder builder(index);
  tavik::DecodingSession session(store, messages, listener,
                                 {.decode_pictures = false,
                                  .header_observer = &builder,
                                  .payload_observer = &builder,
                                  .container_observer = &builder});
  std::string error;
  try {
    session.open_memory(bytes);
    while (session.decode_step()) {
    }
  } catch (const tavik::FatalError& e) {
    error = e.what();
  }
  const tavik::StreamInfo& info = session.stream_info();
  builder.finish(info.container, size, info.skipped_bytes, error);

  const tavik::RandomAccessMemory file(bytes);
  tavik::StructureTree tree(index, file);
  int budget = kNodeBudget;
  visit(tree, tree.root(), budget);
  for (uint64_t offset = 0; offset < size; offset += 1 + size / 64) {
    const tavik::NodeId node = tree.innermost_at(offset);
    (void)tree.text(node);
  }
  (void)tree.find("picture_coding_type", tree.root());
  (void)tavik::hex_rows(file, 0, 8);
  const auto pictures = uint32_t(index.pictures.size());
  if (pictures > 0) {
    for (const uint32_t picture : {0u, pictures / 2, pictures - 1}) seek(index, file, picture);
    (void)tavik::picture_of_frame(index, tavik::frame_count(index) - 1);
  }
  return 0;
}
