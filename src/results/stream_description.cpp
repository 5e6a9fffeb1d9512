#include "results/stream_description.h"

#include <array>
#include <cstdio>
#include <numeric>

namespace tavik {

namespace {

// The MPEG-1 bit_rate value that marks a variable bit rate.
constexpr int64_t kVariableBitRate = 0x3FFFF;

Rational reduced(int64_t num, int64_t den) {
  const int64_t divisor = std::gcd(num, den);
  return divisor == 0 ? Rational{0, 0} : Rational{num / divisor, den / divisor};
}

std::string rational_text(Rational r) {
  return std::to_string(r.num) + ":" + std::to_string(r.den);
}

std::string decimal_text(double value, const char* format) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

}  // namespace

Rational sample_aspect_ratio(const SequenceValues& values) {
  const int code = values.aspect_ratio_information;
  if (!values.mpeg2) {
    const int64_t pel = pel_aspect_ratio(code);
    return pel == 0 ? Rational{0, 0} : reduced(10000, pel);
  }
  const Rational dar = display_aspect_ratio(code);
  if (dar.den <= 1) return dar;
  // The display aspect ratio applies to the display size when the stream gives one.
  const bool display = values.display_horizontal_size > 0 && values.display_vertical_size > 0;
  const int64_t width = display ? values.display_horizontal_size : values.horizontal_size;
  const int64_t height = display ? values.display_vertical_size : values.vertical_size;
  return reduced(dar.num * height, dar.den * width);
}

std::string_view field_order(const StreamInfo& info) {
  if (info.top_field_first == 0 && info.bottom_field_first == 0) return "progressive";
  if (info.bottom_field_first == 0) return "top field first";
  if (info.top_field_first == 0) return "bottom field first";
  return "mixed";
}

std::vector<StreamField> describe_stream(const StreamInfo& info, const StoreData& data) {
  const SequenceValues& s = info.sequence;
  const bool mpeg2 = s.mpeg2;
  std::vector<StreamField> fields;
  const auto add_text = [&fields](std::string_view key, std::string_view label,
                                  std::string_view text) {
    fields.push_back({key, label, std::string(text), std::string(text)});
  };
  const auto add_count = [&fields](std::string_view key, std::string_view label, int64_t value,
                                   std::string_view unit) {
    std::string text = std::to_string(value);
    if (!unit.empty()) text += " " + std::string(unit);
    fields.push_back({key, label, value, text});
  };
  const auto add_none = [&fields](std::string_view key, std::string_view label,
                                  std::string_view text) {
    fields.push_back({key, label, std::monostate{}, std::string(text)});
  };

  add_text("container", "Container", container_name(info.container));
  add_count("skipped_bytes", "Skipped before the first header", int64_t(info.skipped_bytes),
            "bytes");
  add_text("video", "Video", mpeg2 ? "MPEG-2" : "MPEG-1");
  if (mpeg2 && s.profile_and_level_indication >= 0) {
    const ProfileAndLevel names = profile_and_level(s.profile_and_level_indication);
    add_text("profile", "Profile", names.profile);
    add_text("level", "Level", names.level);
  } else {
    add_none("profile", "Profile", "-");
    add_none("level", "Level", "-");
  }
  add_count("width", "Width", s.horizontal_size, "");
  add_count("height", "Height", s.vertical_size, "");
  const bool display = s.display_horizontal_size > 0 && s.display_vertical_size > 0;
  add_count("display_width", "Display width",
            display ? s.display_horizontal_size : s.horizontal_size, "");
  add_count("display_height", "Display height", display ? s.display_vertical_size : s.vertical_size,
            "");

  const int code = s.aspect_ratio_information;
  if (mpeg2) {
    add_text("aspect_ratio", "Aspect ratio", display_aspect_text(code));
  } else if (pel_aspect_ratio(code) != 0) {
    add_text("aspect_ratio", "Aspect ratio",
             "pixel height/width " + decimal_text(double(pel_aspect_ratio(code)) / 10000, "%.4f"));
  } else {
    add_text("aspect_ratio", "Aspect ratio", "reserved");
  }
  const Rational sar = sample_aspect_ratio(s);
  add_text("sample_aspect_ratio", "Sample aspect ratio",
           sar.den == 0 ? "unknown" : rational_text(sar));

  const Rational rate = frame_rate(s);
  const double fps = rate.num == 0 ? 0.0 : double(rate.num) / double(rate.den);
  if (rate.num == 0) {
    add_none("frame_rate", "Frame rate", "reserved");
  } else {
    std::string text = decimal_text(fps, "%.3f") + " frames/s";
    if (rate.den != 1)
      text += " (" + std::to_string(rate.num) + "/" + std::to_string(rate.den) + ")";
    fields.push_back({"frame_rate", "Frame rate", fps, text});
  }
  if (!mpeg2 && s.bit_rate_value == kVariableBitRate) {
    add_none("bit_rate", "Bit rate (header)", "variable");
  } else {
    add_count("bit_rate", "Bit rate (header)", s.bit_rate_value * 400, "bit/s");
  }
  add_count("vbv_buffer_size", "VBV buffer size", s.vbv_buffer_size_value * 16384, "bits");
  add_text("chroma_format", "Chroma format", chroma_format_text(s.chroma_format));
  const std::string_view order = field_order(info);
  add_text("scan", "Scan", order == "progressive" ? "progressive" : "interlaced");
  add_text("field_order", "Field order", order);
  add_count("closed_gops", "Closed GOPs", info.closed_gops, "");
  add_count("open_gops", "Open GOPs", info.open_gops, "");
  add_count("sequences", "Sequences", info.sequences, "");
  add_count("frames", "Frames measured", data.frame_count(), "");

  const double seconds = fps > 0 ? double(info.fields) / (2 * fps) : 0.0;
  if (seconds > 0) {
    fields.push_back({"duration", "Duration", seconds, decimal_text(seconds, "%.3f") + " s"});
    add_count("average_bit_rate", "Average bit rate (measured)",
              int64_t(double(data.bytes_scanned) * 8 / seconds), "bit/s");
  } else {
    add_none("duration", "Duration", "unknown");
    add_none("average_bit_rate", "Average bit rate (measured)", "unknown");
  }
  return fields;
}

}  // namespace tavik
