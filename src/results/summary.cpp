#include "results/summary.h"

#include <limits>
#include <string_view>

#include "results/decimal_text.h"
#include "results/store_entries.h"

namespace tavik {

namespace {

// "%u" of a value: negative values that fit in 32 bits print as their 32-bit pattern did.
void append_unsigned(std::string& text, int64_t value) {
  if (value < 0 && value >= std::numeric_limits<int32_t>::min()) {
    append_decimal(text, static_cast<uint32_t>(value));
  } else {
    append_decimal(text, static_cast<uint64_t>(value));
  }
}

struct TypeTotals {
  int64_t count = 0;
  int64_t bytes = 0;
};

void append_line(std::string& text, std::string_view label, const std::string& value,
                 std::string_view unit) {
  text += label;
  text += value;
  text += unit;
}

void append_count_line(std::string& text, std::string_view label, int64_t value,
                       std::string_view unit) {
  text += label;
  append_unsigned(text, value);
  text += unit;
}

}  // namespace

std::string FormatRatio(int64_t a, int64_t b) {
  if (a > 1000000 && b > 1000000) {
    a /= 1000;
    b /= 1000;
  }
  if (b == 0) return {};
  const int64_t q = a / b;
  const int64_t r = a % b;
  const int64_t d1 = (r * 10) / b;
  const int64_t d2 = ((r * 10) % b * 10) / b;
  std::string text;
  append_unsigned(text, q);
  text += ',';
  append_unsigned(text, d1);
  append_unsigned(text, d2);
  return text;
}

std::string DetectGopPattern(const StoreData& data) {
  static constexpr std::string_view kNonDetected = "Non detected";
  std::string pattern;
  std::string current;
  bool started = false;
  int64_t i_frames = 0;
  const int64_t frames = readable_frames(data);
  for (int64_t f = 0; f < frames; ++f) {
    const uint32_t type = data.frame_types[static_cast<size_t>(f)];
    if (!started && type == kIPicture) {
      started = true;
      continue;
    }
    switch (type) {
      case kIPicture:
        if (i_frames == 0) {
          pattern = "I";
        } else if (current != pattern) {
          return std::string(kNonDetected);
        }
        current = "I";
        ++i_frames;
        break;
      case kPPicture:
      case kBPicture: {
        const char letter = type == kPPicture ? 'P' : 'B';
        if (i_frames <= 1) pattern += letter;
        current += letter;
        break;
      }
      default:
        return std::string(kNonDetected);
    }
  }
  return pattern + ".";
}

std::string BuildSummary(const StoreData& data) {
  const int64_t frames = data.frame_count();
  const int64_t gops = data.gop_count();
  const int64_t slices = data.slice_count;
  const auto bytes = static_cast<int64_t>(data.bytes_scanned);

  TypeTotals i_totals, p_totals, b_totals;
  std::string sequence;
  const int64_t readable = readable_frames(data);
  sequence.reserve(static_cast<size_t>(readable));
  for (int64_t f = 0; f < readable; ++f) {
    const auto index = static_cast<size_t>(f);
    TypeTotals* totals = nullptr;
    switch (data.frame_types[index]) {
      case kIPicture:
        totals = &i_totals;
        sequence += 'I';
        break;
      case kPPicture:
        totals = &p_totals;
        sequence += 'P';
        break;
      case kBPicture:
        totals = &b_totals;
        sequence += 'B';
        break;
      default:
        continue;
    }
    ++totals->count;
    totals->bytes += data.frame_bytes[index];
  }

  std::string text;
  text.reserve(1024 + sequence.size());
  text += "SUMMARY:\n\n";
  text += "- Total number of Bytes read: ";
  append_decimal(text, data.bytes_scanned);
  text += " bytes.\n";
  append_count_line(text, "- Total number of Gops: ", gops, " gops.\n");
  append_count_line(text, "- Total number of Frames: ", frames, " frames.\n");
  append_count_line(text, "- Total number of Slices: ", slices, " slices.\n");
  append_line(text, "- Mean average Frames/Gop: ", gops == 0 ? "-" : FormatRatio(frames, gops),
              " frames.\n");
  append_count_line(text, "- Length of the Gop: ", data.max_frames_per_gop, " frames.\n");
  append_line(text,
              "- Mean average Slices/Frame: ", frames == 0 ? "-" : FormatRatio(slices, frames),
              " slices.\n");
  append_count_line(text, "- Length of the frame: ", data.max_slices_per_frame, " slices.\n");
  if (gops == 0) {
    text += "- Avg. Gop Size: -  bytes.\n";
  } else {
    append_line(text, "- Avg. Gop Size: ", FormatRatio(bytes, gops), " bytes.\n");
  }
  append_line(text, "- Avg. Frame Size: ", FormatRatio(bytes, frames), " bytes.\n");
  append_line(text, "- Avg. Slice Size: ", FormatRatio(bytes, slices), " bytes.\n");

  // The P line has two blanks before "bytes" when there is no P frame; I and B have one.
  const struct {
    const TypeTotals& totals;
    std::string_view label;
    std::string_view empty_unit;
  } type_lines[] = {{i_totals, " I Frames, average size: ", " bytes.\n"},
                    {p_totals, " P Frames, average size: ", "  bytes.\n"},
                    {b_totals, " B Frames, average size: ", " bytes.\n"}};
  for (const auto& line : type_lines) {
    append_count_line(text, "- ", line.totals.count, line.label);
    if (line.totals.count == 0) {
      text += '-';
      text += line.empty_unit;
    } else {
      text += FormatRatio(line.totals.bytes, line.totals.count);
      text += " bytes.\n";
    }
  }

  append_line(text, "- GOP pattern: ", DetectGopPattern(data), "\n");
  text += "- Frame sequence as found while parsing:\n";
  text += sequence;
  text += '\n';
  return text;
}

std::string BuildSummary(const AnalysisStore& store) {
  return store.read([](const StoreData& data) { return BuildSummary(data); });
}

}  // namespace tavik
