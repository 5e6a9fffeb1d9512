#include "structure/element_meaning.h"

#include <array>

#include "base/messages.h"
#include "decoder/syntax/coded_values.h"

namespace tavik {

namespace {

using namespace elements;

constexpr int kVariableBitRate = 0x3FFFF;
constexpr int kVariableDelay = 0xFFFF;

std::string yes_no(int value) {
  return value != 0 ? "yes" : "no";
}

std::string start_code_meaning(const HeaderRecord& record, int value) {
  std::string text = format_text("0x%08X", uint32_t(value));
  if (record.kind == HeaderKind::kSliceHeader) {
    text += format_text(", slice_vertical_position %d", value & 0xFF);
  }
  return text;
}

std::string matrix_meaning(const HeaderRecord& record, int slot) {
  std::string text;
  for (const uint8_t weight : record.matrices[size_t(slot) & 3]) {
    if (!text.empty()) text += ' ';
    text += std::to_string(weight);
  }
  return text + " (zigzag order)";
}

std::string sequence_header_meaning(int element, int value, bool mpeg2) {
  using namespace sequence_header;
  switch (element) {
    case kAspectRatioInformation: {
      if (mpeg2) return std::string(display_aspect_text(value));
      const int64_t pel = pel_aspect_ratio(value);
      return pel == 0 ? "reserved" : format_text("pel height/width %.4f", double(pel) / 10000);
    }
    case kFrameRateCode: {
      const Rational rate = frame_rate_of_code(value);
      return rate.num == 0 ? "reserved"
                           : format_text("%.5g fps", double(rate.num) / double(rate.den));
    }
    case kBitRateValue:
      if (!mpeg2 && value == kVariableBitRate) return "variable";
      return format_text("%lld bit/s", static_cast<long long>(value) * 400);
    case kVbvBufferSizeValue:
      return format_text("%lld bits", static_cast<long long>(value) * 16384);
    case kConstrainedParametersFlag:
    case kLoadIntraQuantiserMatrix:
    case kLoadNonIntraQuantiserMatrix:
      return yes_no(value);
    default:
      return {};
  }
}

std::string sequence_extension_meaning(int element, int value) {
  using namespace sequence_extension;
  switch (element) {
    case kProfileAndLevelIndication: {
      const ProfileAndLevel names = profile_and_level(value);
      return std::string(names.profile) + " profile, " + std::string(names.level) + " level";
    }
    case kProgressiveSequence:
      return value != 0 ? "progressive" : "interlaced";
    case kChromaFormat:
      return value == 0 ? "reserved" : std::string(chroma_format_text(value));
    case kLowDelay:
      return yes_no(value);
    default:
      return {};
  }
}

std::string extension_name(int identifier) {
  constexpr std::array<const char*, 11> kNames = {"reserved",
                                                  "sequence extension",
                                                  "sequence display extension",
                                                  "quant matrix extension",
                                                  "copyright extension",
                                                  "sequence scalable extension",
                                                  "reserved",
                                                  "picture display extension",
                                                  "picture coding extension",
                                                  "picture spatial scalable extension",
                                                  "picture temporal scalable extension"};
  return identifier >= 0 && identifier < int(kNames.size()) ? kNames[size_t(identifier)]
                                                            : "reserved";
}

std::string picture_coding_extension_meaning(int element, int value) {
  using namespace picture_coding_extension;
  switch (element) {
    case kIntraDcPrecision:
      return format_text("%d bits", 8 + value);
    case kPictureStructure: {
      constexpr std::array<const char*, 4> kStructures = {"reserved", "top field", "bottom field",
                                                          "frame"};
      return kStructures[size_t(value) & 3];
    }
    case kQScaleType:
      return value != 0 ? "non-linear" : "linear";
    case kIntraVlcFormat:
      return value != 0 ? "table B-15" : "table B-14";
    case kAlternateScan:
      return value != 0 ? "alternate" : "zigzag";
    case kTopFieldFirst:
    case kFramePredFrameDct:
    case kConcealmentMotionVectors:
    case kRepeatFirstField:
    case kProgressiveFrame:
    case kCompositeDisplayFlag:
      return yes_no(value);
    default:
      return {};
  }
}

std::string sequence_display_meaning(int element, int value) {
  using namespace sequence_display_extension;
  if (element != kVideoFormat) return {};
  constexpr std::array<const char*, 8> kFormats = {
      "component", "PAL", "NTSC", "SECAM", "MAC", "unspecified", "reserved", "reserved"};
  return kFormats[size_t(value) & 7];
}

}  // namespace

const char* picture_type_letter(int picture_coding_type) {
  switch (picture_coding_type) {
    case 1:
      return "I";
    case 2:
      return "P";
    case 3:
      return "B";
    case 4:
      return "D";
    default:
      return "?";
  }
}

std::string element_meaning(const HeaderRecord& record, int element, bool mpeg2) {
  const int value = record.value(element);
  if (element == 0) return start_code_meaning(record, value);
  const char* name = record.spec().elements[size_t(element)].name;
  const std::string_view view(name);
  if (view.ends_with("quantiser_matrix") && !view.starts_with("load")) {
    return matrix_meaning(record, value);
  }
  if (view == "user_data" || view.starts_with("extra_information")) {
    return format_text("%d bytes", value);
  }
  if (view == "marker_bit") return value == 1 ? std::string() : "damaged: not 1";
  switch (record.kind) {
    case HeaderKind::kSequenceHeader:
      return sequence_header_meaning(element, value, mpeg2);
    case HeaderKind::kSequenceExtension:
      if (element == extension::kIdentifier) return extension_name(value);
      return sequence_extension_meaning(element, value);
    case HeaderKind::kSequenceDisplayExtension:
      if (element == extension::kIdentifier) return extension_name(value);
      return sequence_display_meaning(element, value);
    case HeaderKind::kGroupOfPictures:
      if (element == group_of_pictures::kClosedGop) return value != 0 ? "closed" : "open";
      if (element == group_of_pictures::kDropFrameFlag || element == group_of_pictures::kBrokenLink)
        return yes_no(value);
      return {};
    case HeaderKind::kPictureHeader:
      if (element == picture_header::kPictureCodingType) return picture_type_letter(value);
      if (element == picture_header::kVbvDelay && value == kVariableDelay) return "variable";
      return {};
    case HeaderKind::kPictureCodingExtension:
      if (element == extension::kIdentifier) return extension_name(value);
      return picture_coding_extension_meaning(element, value);
    case HeaderKind::kSliceHeader:
      if (element == slice_header::kIntraSlice) return yes_no(value);
      return {};
    default:
      if (element == extension::kIdentifier && record.kind != HeaderKind::kUserData &&
          record.kind != HeaderKind::kSequenceEnd) {
        return extension_name(value);
      }
      return {};
  }
}

}  // namespace tavik
