// Decoding allocates only when a session starts and at its first picture: every later picture
// is decoded (and dithered) without a single heap allocation. The global allocation functions
// of this test program count the allocations (the array forms call them).
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <span>
#include <string>
#include <vector>

#include "analysis/analysis_store.h"
#include "base/messages.h"
#include "session/decoding_session.h"
#include "support/field_picture_writer.h"
#include "support/moving_frames.h"
#include "support/stream_tools.h"

namespace {

std::atomic<long> allocation_count{0};

void* counted_allocation(std::size_t size, std::size_t alignment) {
  allocation_count.fetch_add(1, std::memory_order_relaxed);
  if (size == 0) size = 1;
  void* p = alignment > alignof(std::max_align_t)
                ? std::aligned_alloc(alignment, (size + alignment - 1) / alignment * alignment)
                : std::malloc(size);
  if (!p) throw std::bad_alloc();
  return p;
}

}  // namespace

void* operator new(std::size_t size) {
  return counted_allocation(size, 0);
}
void* operator new(std::size_t size, std::align_val_t alignment) {
  return counted_allocation(size, static_cast<std::size_t>(alignment));
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
  std::free(p);
}

namespace tavik::test {
namespace {

// The store's arrays grow with the stream (by doubling); they are sized beforehand so that
// only the decoder's own allocations are counted.
void presize_store(AnalysisStore& store) {
  store.update([](StoreData& data) {
    for (auto* array : {&data.frame_bytes, &data.frame_types, &data.frame_first_slice,
                        &data.slice_bytes, &data.gop_bytes, &data.gop_first_frame}) {
      array->resize(1 << 16);
    }
  });
}

// Decodes the whole stream; returns the allocations made per step from the third picture on,
// and fails when the stream is too short to tell.
std::vector<long> allocations_per_picture(std::span<const uint8_t> bytes, bool display) {
  AnalysisStore store;
  presize_store(store);
  CollectedMessages messages;
  SessionListener listener;
  SessionOptions options;
  options.display_disabled = !display;
  DecodingSession session(store, messages, listener, options);
  long before = allocation_count.load();
  session.open_memory(bytes);
  EXPECT_GT(allocation_count.load() - before, 0) << "the counter misses allocations";
  std::vector<long> per_step;
  int steps = 0;
  before = allocation_count.load();
  while (session.decode_step()) {
    if (++steps > 2) per_step.push_back(allocation_count.load() - before);
    before = allocation_count.load();  // after the push, which may allocate
  }
  EXPECT_EQ(messages.err_text, "");
  EXPECT_GE(per_step.size(), 10u) << "too few pictures";
  return per_step;
}

void expect_no_allocation(const std::vector<uint8_t>& bytes) {
  for (const bool display : {false, true}) {
    SCOPED_TRACE(display ? "with display" : "without display");
    const std::vector<long> per_step = allocations_per_picture(bytes, display);
    EXPECT_EQ(per_step, std::vector<long>(per_step.size(), 0));
  }
}

TEST(NoAllocation, InterlacedMpeg2FramePictures) {
  expect_no_allocation(read_file(make_ffmpeg_stream(
      "interlaced.m2v",
      "-c:v mpeg2video -q:v 4 -g 12 -bf 2 -flags +ildct+ilme -top 1 -f mpeg2video")));
}

TEST(NoAllocation, Mpeg1SystemStream) {
  expect_no_allocation(read_file(
      make_ffmpeg_stream("system.mpg", "-c:v mpeg1video -q:v 5 -g 9 -bf 2 -c:a mp2 -f mpeg",
                         "-f lavfi -i testsrc2=size=176x144:rate=25 -f lavfi -i sine -t 1")));
}

TEST(NoAllocation, FieldPictures) {
  FieldStreamOptions options;
  expect_no_allocation(write_field_picture_stream(make_moving_frames(64, 64, 16), 64, 64, options));
}

}  // namespace
}  // namespace tavik::test
