#pragma once

#include <memory>
#include <string>

#include "structure/file_structure.h"

namespace tavik::cli {

using BuiltStructure = FileStructure;

// Walks the file named `path` and builds its structure. Returns the text to print on the
// standard error stream and fail with when the file cannot be read as a stream at all (empty
// when it was built, maybe only up to damage).
[[nodiscard]] std::string build_structure(const std::string& path, bool all_sequences,
                                          BuiltStructure& built);

}  // namespace tavik::cli
