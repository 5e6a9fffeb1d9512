#include "decoder/syntax/coded_values.h"

#include <array>

namespace tavik {

namespace {

constexpr std::array<Rational, 9> kFrameRates = {{{0, 1},
                                                  {24000, 1001},
                                                  {24, 1},
                                                  {25, 1},
                                                  {30000, 1001},
                                                  {30, 1},
                                                  {50, 1},
                                                  {60000, 1001},
                                                  {60, 1}}};

constexpr std::array<int64_t, 15> kPelAspectRatios = {
    0, 10000, 6735, 7031, 7615, 8055, 8437, 8935, 9157, 9815, 10255, 10695, 10950, 11575, 12015};

constexpr std::array<Rational, 5> kDisplayAspectRatios = {
    {{0, 0}, {1, 1}, {4, 3}, {16, 9}, {221, 100}}};
constexpr std::array<std::string_view, 5> kDisplayAspectTexts = {"reserved", "1:1 samples", "4:3",
                                                                 "16:9", "2.21:1"};

}  // namespace

Rational frame_rate_of_code(int frame_rate_code) {
  if (frame_rate_code < 1 || frame_rate_code >= int(kFrameRates.size())) return {0, 1};
  return kFrameRates[size_t(frame_rate_code)];
}

Rational display_aspect_ratio(int aspect_ratio_information) {
  if (aspect_ratio_information < 1 || aspect_ratio_information >= int(kDisplayAspectRatios.size()))
    return {0, 0};
  return kDisplayAspectRatios[size_t(aspect_ratio_information)];
}

std::string_view display_aspect_text(int aspect_ratio_information) {
  if (aspect_ratio_information < 1 || aspect_ratio_information >= int(kDisplayAspectTexts.size()))
    return "reserved";
  return kDisplayAspectTexts[size_t(aspect_ratio_information)];
}

int64_t pel_aspect_ratio(int aspect_ratio_information) {
  if (aspect_ratio_information < 1 || aspect_ratio_information >= int(kPelAspectRatios.size()))
    return 0;
  return kPelAspectRatios[size_t(aspect_ratio_information)];
}

ProfileAndLevel profile_and_level(int indication) {
  struct Escaped {
    int indication;
    ProfileAndLevel names;
  };
  constexpr std::array<Escaped, 6> kEscaped = {{{0x82, {"4:2:2", "High"}},
                                                {0x85, {"4:2:2", "Main"}},
                                                {0x8A, {"Multi-view", "High"}},
                                                {0x8B, {"Multi-view", "High 1440"}},
                                                {0x8D, {"Multi-view", "Main"}},
                                                {0x8E, {"Multi-view", "Low"}}}};
  constexpr std::array<std::string_view, 8> kProfiles = {
      "reserved", "High",   "Spatially Scalable", "SNR Scalable",
      "Main",     "Simple", "reserved",           "reserved"};
  constexpr std::array<std::string_view, 16> kLevels = {
      "reserved",  "reserved", "reserved", "reserved", "High", "reserved",
      "High 1440", "reserved", "Main",     "reserved", "Low",  "reserved",
      "reserved",  "reserved", "reserved", "reserved"};
  if ((indication & 0x80) == 0) {
    return {kProfiles[size_t(indication >> 4) & 7], kLevels[size_t(indication) & 15]};
  }
  for (const Escaped& escaped : kEscaped) {
    if (escaped.indication == indication) return escaped.names;
  }
  return {"reserved", "reserved"};
}

std::string_view chroma_format_text(int chroma_format) {
  switch (chroma_format) {
    case 2:
      return "4:2:2";
    case 3:
      return "4:4:4";
    default:
      return "4:2:0";
  }
}

}  // namespace tavik
