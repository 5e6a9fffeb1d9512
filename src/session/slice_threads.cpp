#include "session/slice_threads.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <exception>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <utility>

#include "decoder/picture/picture_decoder.h"
#include "decoder/syntax/header_parser.h"
#include "decoder/syntax/stream_info.h"
#include "input/byte_input.h"
#include "input/start_code_search.h"
#include "input/video_source.h"

namespace tavik {

namespace {

enum class Channel { kOut, kErr, kBox };

// A part's texts, passed on once the parts before it have passed on theirs.
class RecordedMessages final : public Messages {
 public:
  void out(std::string_view text) override { texts_.emplace_back(Channel::kOut, text); }
  void err(std::string_view text) override { texts_.emplace_back(Channel::kErr, text); }
  void message_box(std::string_view text) override { texts_.emplace_back(Channel::kBox, text); }

  void pass_on(Messages& to) {
    for (const auto& [channel, text] : texts_) {
      if (channel == Channel::kOut) {
        to.out(text);
      } else if (channel == Channel::kErr) {
        to.err(text);
      } else {
        to.message_box(text);
      }
    }
    texts_.clear();
  }

 private:
  std::vector<std::pair<Channel, std::string>> texts_;
};

// Pictures this tall carry a slice_vertical_position_extension after the start code, so their
// rows are not known from the start codes alone: they are decoded in one part.
constexpr int kRowsInStartCode = 2800;

// Parts per thread: small parts let the threads that run share out the work of one that waits.
constexpr size_t kPartsPerThread = 4;

}  // namespace

struct SliceThreads::Part {
  size_t byte_begin;
  size_t byte_end;
  int begin;  // first macroblock address
  int end;    // the next part's first address; INT_MAX for the last part
  RecordedMessages messages;
  std::exception_ptr failure;
};

struct SliceThreads::Worker {
  Worker() : ctx(messages), headers(ctx, no_events, 0, false), decoder(ctx, headers) {}

  RecordedMessages messages;  // until a part is given
  DecoderContext ctx;
  // The parts' parsers read slice headers only: they measure nothing.
  HeaderEvents no_events;
  HeaderParser headers;
  PictureDecoder decoder;
  std::optional<MemoryInput> input;
  std::optional<ElementarySource> source;
};

SliceThreads::SliceThreads(int threads) : parts_(static_cast<size_t>(threads) * kPartsPerThread) {
  for (int i = 0; i < threads; ++i) workers_.push_back(std::make_unique<Worker>());
  for (int i = 1; i < threads; ++i)
    helpers_.emplace_back(&SliceThreads::serve, this, std::ref(*workers_[i]));
}

SliceThreads::~SliceThreads() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  for (std::thread& helper : helpers_) helper.join();
}

// Parts of about equal size in bytes, cut only where the slices move to a lower row.
void SliceThreads::split_parts(const DecoderContext& ctx) {
  const uint8_t* const data = bytes_.data();
  const uint8_t* const end = data + bytes_.size();
  const int columns = ctx.geometry.mb_columns;
  const bool splittable = ctx.vars.vertical_size <= kRowsInStartCode;
  const size_t target = bytes_.size() / parts_.size() + 1;
  auto start_part = [&](size_t offset, int begin) {
    Part& part = parts_[part_count_++];
    part.byte_begin = offset;
    part.byte_end = bytes_.size();
    part.begin = begin;
    part.end = INT_MAX;
  };
  part_count_ = 0;
  start_part(0, 0);
  int last_row = -1;
  for (const uint8_t* p = data; p + 3 < end; p = find_start_code(p + 3, end)) {
    const int row = p[3] - 1;
    const auto offset = static_cast<size_t>(p - data);
    Part& current = parts_[part_count_ - 1];
    if (splittable && part_count_ < parts_.size() && row > last_row &&
        offset - current.byte_begin >= target && row * columns > current.begin) {
      current.byte_end = offset;
      current.end = row * columns;
      start_part(offset, row * columns);
    }
    last_row = row;
  }
}

void SliceThreads::decode_part(Worker& worker, size_t index) {
  Part& part = parts_[index];
  try {
    worker.ctx.messages = &part.messages;
    worker.input.emplace(
        std::span<const uint8_t>(bytes_.data() + part.byte_begin, part.byte_end - part.byte_begin));
    worker.source.emplace(*worker.input);
    worker.ctx.layer.reader.reset_reader(&*worker.source);
    worker.decoder.set_part(part.begin, part.end, index + 1 == part_count_);
    worker.decoder.decode_slices(frame_number_, *frames_, nullptr);
  } catch (...) {
    part.failure = std::current_exception();
  }
}

void SliceThreads::take_parts(Worker& worker) {
  for (size_t i; (i = next_part_.fetch_add(1)) < part_count_;) {
    decode_part(worker, i);
  }
}

// A helper thread: joins each round opened while it waits, takes parts until none is left.
void SliceThreads::serve(Worker& worker) {
  uint64_t seen = 0;
  for (;;) {
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [&] { return stopping_ || (open_ && round_ != seen); });
      if (stopping_) return;
      seen = round_;
      ++active_;
    }
    take_parts(worker);
    {
      std::lock_guard lock(mutex_);
      --active_;
    }
    done_.notify_one();
  }
}

void SliceThreads::decode_picture(DecoderContext& ctx, int frame_number,
                                  const PredictionFrames& frames,
                                  const std::function<void()>& second_field,
                                  std::span<MacroblockRecord> records) {
  bytes_.clear();
  ctx.layer.reader.take_slices(bytes_);
  split_parts(ctx);
  // No helper is in a round now: their contexts can be set.
  for (const auto& worker : workers_) {
    worker->ctx.layer = ctx.layer;
    worker->ctx.vars = ctx.vars;
    worker->ctx.geometry = ctx.geometry;
    worker->ctx.quiet = ctx.quiet;
    worker->decoder.set_records(records);
  }
  frame_number_ = frame_number;
  frames_ = &frames;
  next_part_ = 0;

  // Each thread takes the next part not taken, so a helper the machine holds up holds up at
  // most the part it has; one that wakes after all parts are taken finds nothing to do.
  {
    std::lock_guard lock(mutex_);
    open_ = true;
    ++round_;
  }
  wake_.notify_all();
  take_parts(*workers_[0]);
  {
    std::unique_lock lock(mutex_);
    done_.wait(lock, [&] { return active_ == 0; });
    open_ = false;
  }

  for (size_t i = 0; i < part_count_; ++i) {
    Part& part = parts_[i];
    part.messages.pass_on(*ctx.messages);
    if (part.failure) std::rethrow_exception(std::exchange(part.failure, nullptr));
  }
  if (second_field && shows_second_field(ctx.vars, frame_number)) second_field();
}

}  // namespace tavik
