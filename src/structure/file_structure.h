#pragma once

#include <memory>
#include <string>

#include "input/random_access.h"
#include "structure/stream_index.h"

namespace tavik {

// The structure of a file from a headers walk over it, with the file its elements are read
// again from.
struct FileStructure {
  StreamIndex index;
  std::unique_ptr<RandomAccessFile> file;
  std::string error;  // the stream's error that ended the walk (the structure goes up to it)
};

}  // namespace tavik
