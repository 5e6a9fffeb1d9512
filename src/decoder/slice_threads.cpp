#include "decoder/slice_threads.h"

#include <climits>
#include <exception>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <utility>

#include "decoder/byte_input.h"
#include "decoder/header_parser.h"
#include "decoder/picture_decoder.h"
#include "decoder/start_code_search.h"
#include "decoder/video_source.h"

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

}  // namespace

struct SliceThreads::Part {
  size_t byte_begin;
  size_t byte_end;
  int begin;  // first macroblock address
  int end;    // the next part's first address; INT_MAX for the last part
};

struct SliceThreads::Worker {
  Worker(StartCodeScanner& scanner, AnalysisStore& store)
      : ctx(messages), headers(ctx, scanner, store, 0), decoder(ctx, headers) {}

  RecordedMessages messages;
  DecoderContext ctx;
  HeaderParser headers;
  PictureDecoder decoder;
  std::optional<MemoryInput> input;
  std::optional<ElementarySource> source;
  std::exception_ptr failure;
};

SliceThreads::SliceThreads(int threads, StartCodeScanner& scanner, AnalysisStore& store) {
  for (int i = 0; i < threads; ++i) workers_.push_back(std::make_unique<Worker>(scanner, store));
}

SliceThreads::~SliceThreads() = default;

// Parts of about equal size in bytes, cut only where the slices move to a lower row.
void SliceThreads::split_parts(const DecoderContext& ctx) {
  parts_.clear();
  const uint8_t* const data = bytes_.data();
  const uint8_t* const end = data + bytes_.size();
  const int columns = ctx.geometry.mb_columns;
  const bool splittable = ctx.vars.vertical_size <= kRowsInStartCode;
  const size_t target = bytes_.size() / workers_.size() + 1;
  parts_.push_back({0, bytes_.size(), 0, INT_MAX});
  int last_row = -1;
  for (const uint8_t* p = data; p + 3 < end; p = find_start_code(p + 3, end)) {
    const int row = p[3] - 1;
    const auto offset = static_cast<size_t>(p - data);
    Part& current = parts_.back();
    if (splittable && parts_.size() < workers_.size() && row > last_row &&
        offset - current.byte_begin >= target && row * columns > current.begin) {
      current.byte_end = offset;
      current.end = row * columns;
      parts_.push_back({offset, bytes_.size(), row * columns, INT_MAX});
    }
    last_row = row;
  }
}

void SliceThreads::decode_picture(DecoderContext& ctx, int frame_number,
                                  const PredictionFrames& frames,
                                  const std::function<void()>& second_field) {
  bytes_.clear();
  ctx.layer.reader.take_slices(bytes_);
  split_parts(ctx);

  const auto run = [&](Worker& worker) {
    try {
      worker.decoder.decode_slices(frame_number, frames, nullptr);
    } catch (...) {
      worker.failure = std::current_exception();
    }
  };
  std::vector<std::thread> threads;
  for (size_t i = 0; i < parts_.size(); ++i) {
    const Part& part = parts_[i];
    Worker& worker = *workers_[i];
    worker.ctx.layer = ctx.layer;
    worker.ctx.vars = ctx.vars;
    worker.ctx.geometry = ctx.geometry;
    worker.ctx.quiet = ctx.quiet;
    worker.failure = nullptr;
    worker.input.emplace(
        std::span<const uint8_t>(bytes_.data() + part.byte_begin, part.byte_end - part.byte_begin));
    worker.source.emplace(*worker.input);
    worker.ctx.layer.reader.reset_reader(&*worker.source);
    worker.decoder.set_part(part.begin, part.end, i + 1 == parts_.size());
    if (i != 0) threads.emplace_back(run, std::ref(worker));
  }
  run(*workers_[0]);
  for (std::thread& thread : threads) thread.join();

  for (size_t i = 0; i < parts_.size(); ++i) {
    Worker& worker = *workers_[i];
    worker.messages.pass_on(*ctx.messages);
    if (worker.failure) std::rethrow_exception(worker.failure);
  }
  if (second_field && shows_second_field(ctx.vars, frame_number)) second_field();
}

}  // namespace tavik
