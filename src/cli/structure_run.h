#pragma once

#include <memory>
#include <string>

#include "input/random_access.h"
#include "structure/stream_index.h"

namespace tavik::cli {

// The structure of a file, from a headers walk over it.
struct BuiltStructure {
  StreamIndex index;
  std::unique_ptr<RandomAccessFile> file;
  std::string error;  // the stream's error that ended the walk (the structure goes up to it)
};

// Walks the file named `path` and builds its structure. Returns the text to print on the
// standard error stream and fail with when the file cannot be read as a stream at all (empty
// when it was built, maybe only up to damage).
[[nodiscard]] std::string build_structure(const std::string& path, bool all_sequences,
                                          BuiltStructure& built);

}  // namespace tavik::cli
