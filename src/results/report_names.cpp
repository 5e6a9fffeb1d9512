#include "results/report_names.h"

namespace tavik {

std::string report_stem(std::string_view path) {
  const size_t slash = path.rfind('/');
  const size_t name_start = slash == std::string_view::npos ? 0 : slash + 1;
  const size_t dot = path.rfind('.');
  if (dot == std::string_view::npos || dot <= name_start) return std::string(path);
  return std::string(path.substr(0, dot));
}

}  // namespace tavik
