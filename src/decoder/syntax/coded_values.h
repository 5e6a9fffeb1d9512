#pragma once

#include <cstdint>
#include <string_view>

namespace tavik {

struct Rational {
  int64_t num = 0;
  int64_t den = 1;
};

// The frames per second of frame_rate_code 1 to 8 (ISO/IEC 13818-2 Table 6-4); 0/1 for the
// reserved codes.
[[nodiscard]] Rational frame_rate_of_code(int frame_rate_code);

// The MPEG-2 display aspect ratio of aspect_ratio_information (Table 6-3): 1 means square
// samples; 0/0 for the reserved codes. Its text: "4:3", "1:1 samples", "reserved", ...
[[nodiscard]] Rational display_aspect_ratio(int aspect_ratio_information);
[[nodiscard]] std::string_view display_aspect_text(int aspect_ratio_information);

// The MPEG-1 pel aspect ratio of pel_aspect_ratio (ISO/IEC 11172-2 2.4.3.2), height over
// width, times 10000; 0 for the forbidden and reserved codes.
[[nodiscard]] int64_t pel_aspect_ratio(int aspect_ratio_information);

struct ProfileAndLevel {
  std::string_view profile;
  std::string_view level;
};

// profile_and_level_indication (ISO/IEC 13818-2 8.2): profile and level in two fields, or one
// of the escaped combinations.
[[nodiscard]] ProfileAndLevel profile_and_level(int indication);

// "4:2:0", "4:2:2" or "4:4:4" for chroma_format 1, 2 and 3.
[[nodiscard]] std::string_view chroma_format_text(int chroma_format);

}  // namespace tavik
