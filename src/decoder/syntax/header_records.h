#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace tavik {

// Every header the parser reads, in the words of ISO/IEC 13818-2 clause 6.2.
enum class HeaderKind : uint8_t {
  kSequenceHeader,
  kSequenceExtension,
  kSequenceDisplayExtension,
  kSequenceScalableExtension,
  kQuantMatrixExtension,
  kCopyrightExtension,
  kGroupOfPictures,
  kPictureHeader,
  kPictureCodingExtension,
  kPictureDisplayExtension,
  kPictureSpatialScalableExtension,
  kUserData,
  kSliceHeader,
  kSequenceEnd,
};
inline constexpr int kHeaderKinds = 14;

// One syntax element as read: its value (sign-extended where the element is signed) and where
// its bits lie in the video elementary stream. bits == 0: the element is absent from this
// header (a condition of the syntax left it out).
struct SyntaxElement {
  int64_t bit_offset = 0;
  int32_t value = 0;
  uint32_t bits = 0;
};

// What the trace adds after an element's own line.
enum class TraceDetail : uint8_t { kNone, kProfileAndLevel };

// An element of a header's syntax, and how the header trace prints it.
struct ElementSpec {
  const char* name;   // the standard's element name
  uint16_t bits;      // 0: of variable length (user data, extra information)
  bool is_signed;     // two's complement
  const char* trace;  // the trace line (or part of a line) with the value; nullptr: not traced
  uint8_t trace_level = 2;
  TraceDetail detail = TraceDetail::kNone;
};

struct HeaderSpec {
  const char* name;   // the standard's name of the syntax structure
  const char* title;  // the trace's name of it
  uint8_t trace_level;
  bool trace_offset;  // the trace line gives the start code's byte offset
  std::span<const ElementSpec> elements;
};

[[nodiscard]] const HeaderSpec& header_spec(HeaderKind kind);

inline constexpr int kMaxHeaderElements = 28;

// A header as read: every element of its syntax in stream order, the start code first. The
// parser keeps one record per kind and fills it afresh for every header, so that reading costs
// no allocation.
struct HeaderRecord {
  HeaderKind kind = HeaderKind::kSequenceHeader;
  int64_t bit_offset = 0;  // of the start code
  int64_t bit_end = 0;     // just past the last element read
  std::array<SyntaxElement, kMaxHeaderElements> elements{};
  // The quantiser matrices the header loads, as coded (zigzag order); a matrix element's value
  // is its index here.
  std::array<std::array<uint8_t, 64>, 4> matrices{};

  [[nodiscard]] bool has(int element) const { return elements[element].bits != 0; }
  [[nodiscard]] int value(int element) const { return elements[element].value; }
  [[nodiscard]] const HeaderSpec& spec() const { return header_spec(kind); }
  [[nodiscard]] int element_count() const { return static_cast<int>(spec().elements.size()); }
};

// The elements of each kind, in stream order; each header kind's table of ElementSpec follows
// the same order.
namespace elements {

namespace sequence_header {
enum Element : int {
  kStartCode,
  kHorizontalSizeValue,
  kVerticalSizeValue,
  kAspectRatioInformation,
  kFrameRateCode,
  kBitRateValue,
  kMarkerBit,
  kVbvBufferSizeValue,
  kConstrainedParametersFlag,
  kLoadIntraQuantiserMatrix,
  kIntraQuantiserMatrix,
  kLoadNonIntraQuantiserMatrix,
  kNonIntraQuantiserMatrix,
  kCount
};
}  // namespace sequence_header

// Every extension begins with its start code and its identifier.
namespace extension {
enum Element : int { kStartCode, kIdentifier, kFirst };
}  // namespace extension

namespace sequence_extension {
enum Element : int {
  kProfileAndLevelIndication = extension::kFirst,
  kProgressiveSequence,
  kChromaFormat,
  kHorizontalSizeExtension,
  kVerticalSizeExtension,
  kBitRateExtension,
  kMarkerBit,
  kVbvBufferSizeExtension,
  kLowDelay,
  kFrameRateExtensionN,
  kFrameRateExtensionD,
  kCount
};
}  // namespace sequence_extension

namespace sequence_display_extension {
enum Element : int {
  kVideoFormat = extension::kFirst,
  kColourDescription,
  kColourPrimaries,
  kTransferCharacteristics,
  kMatrixCoefficients,
  kDisplayHorizontalSize,
  kMarkerBit,
  kDisplayVerticalSize,
  kCount
};
}  // namespace sequence_display_extension

namespace sequence_scalable_extension {
enum Element : int {
  kScalableMode = extension::kFirst,
  kLayerId,
  kLowerLayerPredictionHorizontalSize,
  kMarkerBit,
  kLowerLayerPredictionVerticalSize,
  kHorizontalSubsamplingFactorM,
  kHorizontalSubsamplingFactorN,
  kVerticalSubsamplingFactorM,
  kVerticalSubsamplingFactorN,
  kCount
};
}  // namespace sequence_scalable_extension

namespace quant_matrix_extension {
enum Element : int {
  kLoadIntraQuantiserMatrix = extension::kFirst,
  kIntraQuantiserMatrix,
  kLoadNonIntraQuantiserMatrix,
  kNonIntraQuantiserMatrix,
  kLoadChromaIntraQuantiserMatrix,
  kChromaIntraQuantiserMatrix,
  kLoadChromaNonIntraQuantiserMatrix,
  kChromaNonIntraQuantiserMatrix,
  kCount
};
}  // namespace quant_matrix_extension

namespace copyright_extension {
enum Element : int {
  kCopyrightFlag = extension::kFirst,
  kCopyrightIdentifier,
  kOriginalOrCopy,
  kReserved,
  kMarkerBit1,
  kCopyrightNumber1,
  kMarkerBit2,
  kCopyrightNumber2,
  kMarkerBit3,
  kCopyrightNumber3,
  kCount
};
}  // namespace copyright_extension

namespace group_of_pictures {
enum Element : int {
  kStartCode,
  kDropFrameFlag,
  kTimeCodeHours,
  kTimeCodeMinutes,
  kMarkerBit,
  kTimeCodeSeconds,
  kTimeCodePictures,
  kClosedGop,
  kBrokenLink,
  kCount
};
}  // namespace group_of_pictures

namespace picture_header {
enum Element : int {
  kStartCode,
  kTemporalReference,
  kPictureCodingType,
  kVbvDelay,
  kFullPelForwardVector,
  kForwardFCode,
  kFullPelBackwardVector,
  kBackwardFCode,
  kExtraInformation,  // the bytes of extra_information_picture with their extra bits
  kExtraBitPicture,
  kCount
};
}  // namespace picture_header

namespace picture_coding_extension {
enum Element : int {
  kForwardHorizontalFCode = extension::kFirst,
  kForwardVerticalFCode,
  kBackwardHorizontalFCode,
  kBackwardVerticalFCode,
  kIntraDcPrecision,
  kPictureStructure,
  kTopFieldFirst,
  kFramePredFrameDct,
  kConcealmentMotionVectors,
  kQScaleType,
  kIntraVlcFormat,
  kAlternateScan,
  kRepeatFirstField,
  kChroma420Type,
  kProgressiveFrame,
  kCompositeDisplayFlag,
  kVAxis,
  kFieldSequence,
  kSubCarrier,
  kBurstAmplitude,
  kSubCarrierPhase,
  kCount
};
}  // namespace picture_coding_extension

namespace picture_display_extension {
// Up to three offsets, each horizontal, marker, vertical, marker.
inline constexpr int kElementsPerOffset = 4;
enum Element : int {
  kFirstOffset = extension::kFirst,
  kCount = kFirstOffset + 3 * kElementsPerOffset
};
}  // namespace picture_display_extension

namespace picture_spatial_scalable_extension {
enum Element : int {
  kLowerLayerTemporalReference = extension::kFirst,
  kMarkerBit1,
  kLowerLayerHorizontalOffset,
  kMarkerBit2,
  kLowerLayerVerticalOffset,
  kSpatialTemporalWeightCodeTableIndex,
  kLowerLayerProgressiveFrame,
  kLowerLayerDeinterlacedFieldSelect,
  kCount
};
}  // namespace picture_spatial_scalable_extension

namespace user_data {
enum Element : int { kStartCode, kUserData, kCount };
}  // namespace user_data

namespace slice_header {
enum Element : int {
  kStartCode,
  kSliceVerticalPositionExtension,
  kPriorityBreakpoint,
  kQuantiserScaleCode,
  kIntraSliceFlag,
  kIntraSlice,
  kReservedBits,
  kExtraInformation,  // the bytes of extra_information_slice with their extra bits
  kExtraBitSlice,
  kCount
};
}  // namespace slice_header

namespace sequence_end {
enum Element : int { kStartCode, kCount };
}  // namespace sequence_end

}  // namespace elements

}  // namespace tavik
