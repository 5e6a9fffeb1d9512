#pragma once

#include <string>
#include <string_view>

namespace tavik {

// The input path without the extension of its file name: "/video/clip.mpg" gives "/video/clip";
// a file name without an extension ("/video.d/clip", "../src/noext") or with only a leading dot
// (".hidden") is kept whole, so the report files land beside the input.
[[nodiscard]] std::string report_stem(std::string_view path);

}  // namespace tavik
