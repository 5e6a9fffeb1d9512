#include "structure/header_reader.h"

#include <algorithm>

#include "base/fatal_error.h"
#include "base/messages.h"
#include "base/start_codes.h"
#include "decoder/syntax/decoder_state.h"
#include "decoder/syntax/header_parser.h"
#include "input/byte_input.h"
#include "input/video_source.h"

namespace tavik {

namespace {

constexpr size_t kCachedRuns = 32;
constexpr uint64_t kSliceKey = uint64_t{1} << 63;
// Enough for any slice header with a few bytes of extra information.
constexpr uint64_t kSliceHeaderBytes = 64;

[[nodiscard]] bool starts_run(HeaderKind kind) {
  return kind == HeaderKind::kSequenceHeader || kind == HeaderKind::kGroupOfPictures ||
         kind == HeaderKind::kPictureHeader || kind == HeaderKind::kSequenceEnd;
}

// Moves a record's offsets from its run's start to the video stream's.
void shift(HeaderRecord& record, int64_t bits) {
  record.bit_offset += bits;
  record.bit_end += bits;
  for (SyntaxElement& element : record.elements) element.bit_offset += bits;
}

}  // namespace

// One parse: a decoder context of its own, and the records read.
class HeaderReader::Parse final : public HeaderEvents {
 public:
  Parse() : ctx(messages), parser(ctx, *this, 0, false) { ctx.quiet = true; }
  void header_read(const HeaderRecord& record) override { records.push_back(record); }

  // Reads `bytes`, which begin at `byte` of the video stream: its headers up to the first
  // picture's slices, or the slice header they begin with.
  void read(const std::vector<uint8_t>& bytes, uint64_t byte, bool slice) {
    MemoryInput input(bytes);
    ElementarySource source(input);
    ctx.layer.reader.reset_reader(&source);
    const size_t first = records.size();
    try {
      if (slice) {
        const uint32_t code = ctx.layer.reader.read_bits32();
        if (is_slice_start_code(code)) (void)parser.read_slice_header(code);
      } else {
        (void)parser.read_headers();
      }
    } catch (const FatalError&) {
      // What was read before the header the parser refuses is kept.
    }
    ctx.layer.reader.reset_reader(nullptr);
    for (size_t i = first; i < records.size(); ++i) shift(records[i], int64_t(byte) * 8);
  }

  CollectedMessages messages;
  DecoderContext ctx;
  HeaderParser parser;
  std::vector<HeaderRecord> records;
};

HeaderReader::HeaderReader(const StreamIndex& index, const RandomAccess& file)
    : index_(index), file_(file), cache_(kCachedRuns) {}

HeaderReader::~HeaderReader() = default;

std::vector<uint8_t> HeaderReader::video_bytes(uint64_t begin, uint64_t end) const {
  std::vector<uint8_t> bytes;
  for (const PayloadMap::Span& span : index_.payload.file_spans(begin, end)) {
    const size_t at = bytes.size();
    bytes.resize(at + span.size);
    const size_t got =
        file_.read_at(index_.skipped_bytes + span.file, {bytes.data() + at, size_t(span.size)});
    if (got < span.size) {
      bytes.resize(at + got);
      break;
    }
  }
  return bytes;
}

uint32_t HeaderReader::run_head(uint32_t header) const {
  while (header > 0 && !starts_run(index_.headers[header].kind)) --header;
  return header;
}

uint32_t HeaderReader::run_last(uint32_t head) const {
  uint32_t last = head;
  while (last + 1 < index_.headers.size() && !starts_run(index_.headers[last + 1].kind) &&
         index_.headers[last + 1].kind != HeaderKind::kSequenceEnd) {
    ++last;
  }
  return last;
}

void HeaderReader::read_run(Parse& parse, uint32_t head) const {
  const HeaderEntry& first = index_.headers[head];
  const HeaderEntry& last = index_.headers[run_last(head)];
  // The next start code too, so that the last header's variable part ends where it ended.
  const uint64_t end = last.byte + (last.bits + 7) / 8 + 4;
  parse.read(video_bytes(first.byte, end), first.byte, false);
}

HeaderReader::Cached& HeaderReader::slot(uint64_t key, bool& found) {
  ++uses_;
  Cached* oldest = &cache_.front();
  for (Cached& cached : cache_) {
    if (cached.key == key) {
      cached.last_use = uses_;
      found = true;
      return cached;
    }
    if (cached.last_use < oldest->last_use) oldest = &cached;
  }
  found = false;
  oldest->key = key;
  oldest->last_use = uses_;
  oldest->records.clear();
  return *oldest;
}

const HeaderRecord& HeaderReader::header(uint32_t header) {
  const HeaderEntry& entry = index_.headers[header];
  const uint32_t head = run_head(header);
  bool found = false;
  Cached& cached = slot(head, found);
  if (!found) {
    auto parse = std::make_unique<Parse>();
    const HeaderEntry& head_entry = index_.headers[head];
    // A picture's extensions depend on the sequence extension in force.
    if (head_entry.kind == HeaderKind::kPictureHeader && head_entry.owner_kind == Owner::kPicture) {
      const uint32_t context = index_.pictures[head_entry.owner].sequence_header;
      if (context != kNoIndex) read_run(*parse, context);
      parse->records.clear();
    }
    read_run(*parse, head);
    cached.records = std::move(parse->records);
  }
  const int64_t bit = int64_t(entry.byte) * 8;
  for (const HeaderRecord& record : cached.records) {
    if (record.bit_offset == bit && record.kind == entry.kind) return record;
  }
  fallback_ = HeaderRecord{};
  fallback_.kind = entry.kind;
  fallback_.bit_offset = bit;
  fallback_.bit_end = bit + entry.bits;
  const auto code = video_bytes(entry.byte, entry.byte + 4);
  uint32_t value = 0;
  for (const uint8_t byte : code) value = (value << 8) | byte;
  if (code.size() == 4) fallback_.elements[0] = {bit, int32_t(value), 32};
  return fallback_;
}

const HeaderRecord& HeaderReader::slice(uint32_t slice) {
  const uint32_t picture = index_.picture_of_slice(slice);
  bool found = false;
  Cached& cached = slot(kSliceKey | slice, found);
  if (!found) {
    auto parse = std::make_unique<Parse>();
    // The slice header's syntax depends on the sequence's extensions and the picture's.
    const uint32_t context = index_.pictures[picture].sequence_header;
    if (context != kNoIndex) read_run(*parse, context);
    read_run(*parse, index_.pictures[picture].first_header);
    parse->records.clear();
    const uint64_t begin = index_.slice_byte(picture, slice);
    const uint64_t end = std::min(index_.slice_end_byte(slice), begin + kSliceHeaderBytes);
    parse->read(video_bytes(begin, end), begin, true);
    cached.records = std::move(parse->records);
  }
  if (!cached.records.empty()) return cached.records.front();
  fallback_ = HeaderRecord{};
  fallback_.kind = HeaderKind::kSliceHeader;
  fallback_.bit_offset = int64_t(index_.slice_byte(picture, slice)) * 8;
  fallback_.bit_end = fallback_.bit_offset;
  return fallback_;
}

}  // namespace tavik
