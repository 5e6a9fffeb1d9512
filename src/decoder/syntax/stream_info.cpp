#include "decoder/syntax/stream_info.h"

#include <numeric>

namespace tavik {

Rational frame_rate(const SequenceValues& values) {
  const Rational base = frame_rate_of_code(values.frame_rate_code);
  if (base.num == 0) return base;
  const int64_t num = base.num * (values.frame_rate_extension_n + 1);
  const int64_t den = base.den * (values.frame_rate_extension_d + 1);
  const int64_t divisor = std::gcd(num, den);
  return {num / divisor, den / divisor};
}

void StreamInfo::header_read(const HeaderRecord& record) {
  switch (record.kind) {
    case HeaderKind::kSequenceHeader:
      sequence_header_read(record);
      break;
    case HeaderKind::kSequenceExtension:
      sequence_extension_read(record);
      break;
    case HeaderKind::kSequenceDisplayExtension:
      current.display_horizontal_size =
          record.value(elements::sequence_display_extension::kDisplayHorizontalSize);
      current.display_vertical_size =
          record.value(elements::sequence_display_extension::kDisplayVerticalSize);
      break;
    case HeaderKind::kGroupOfPictures:
      ++(record.value(elements::group_of_pictures::kClosedGop) ? closed_gops : open_gops);
      break;
    case HeaderKind::kPictureHeader:
      picture_header_read();
      break;
    case HeaderKind::kPictureCodingExtension:
      picture_coding_extension_read(record);
      break;
    case HeaderKind::kSequenceEnd:
      in_sequence_ = false;
      break;
    default:
      break;
  }
}

void StreamInfo::sequence_header_read(const HeaderRecord& h) {
  using namespace elements::sequence_header;
  if (!in_sequence_) ++sequences;
  in_sequence_ = true;
  current = SequenceValues{};
  current.horizontal_size = h.value(kHorizontalSizeValue);
  current.vertical_size = h.value(kVerticalSizeValue);
  current.aspect_ratio_information = h.value(kAspectRatioInformation);
  current.frame_rate_code = h.value(kFrameRateCode);
  current.bit_rate_value = h.value(kBitRateValue);
  current.vbv_buffer_size_value = h.value(kVbvBufferSizeValue);
}

void StreamInfo::sequence_extension_read(const HeaderRecord& h) {
  using namespace elements::sequence_extension;
  current.mpeg2 = true;
  current.horizontal_size =
      (current.horizontal_size & 0xFFF) | (h.value(kHorizontalSizeExtension) << 12);
  current.vertical_size = (current.vertical_size & 0xFFF) | (h.value(kVerticalSizeExtension) << 12);
  current.profile_and_level_indication = h.value(kProfileAndLevelIndication);
  current.progressive_sequence = h.value(kProgressiveSequence);
  current.low_delay = h.value(kLowDelay);
  current.chroma_format = h.value(kChromaFormat);
  current.bit_rate_value |= int64_t{h.value(kBitRateExtension)} << 18;
  current.vbv_buffer_size_value |= int64_t{h.value(kVbvBufferSizeExtension)} << 10;
  current.frame_rate_extension_n = h.value(kFrameRateExtensionN);
  current.frame_rate_extension_d = h.value(kFrameRateExtensionD);
}

void StreamInfo::picture_header_read() {
  if (pictures == 0) sequence = current;
  ++pictures;
  // MPEG-1 pictures are whole frames shown once.
  if (!current.mpeg2) fields += 2;
}

void StreamInfo::picture_coding_extension_read(const HeaderRecord& h) {
  using namespace elements::picture_coding_extension;
  const int structure = h.value(kPictureStructure);
  const int top_first = h.value(kTopFieldFirst);
  const int repeat = h.value(kRepeatFirstField);
  if (structure != 3) {
    // The first field of a pair tells the order in which the two are shown.
    if (!second_field_due_ && current.progressive_sequence == 0) {
      ++(structure == 1 ? top_field_first : bottom_field_first);
    }
    second_field_due_ = !second_field_due_;
    ++fields;
    return;
  }
  second_field_due_ = false;
  if (current.progressive_sequence != 0) {
    // A progressive sequence repeats whole frames: once, or twice with top_field_first.
    fields += 2 * (1 + repeat * (1 + top_first));
    return;
  }
  fields += 2 + repeat;
  if (h.value(kProgressiveFrame) == 0) ++(top_first != 0 ? top_field_first : bottom_field_first);
}

}  // namespace tavik
