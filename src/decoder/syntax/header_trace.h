#pragma once

#include "base/messages.h"
#include "decoder/syntax/header_records.h"

namespace tavik {

// Prints a header as the header trace shows it at `level` (0: nothing) to the standard output:
// a line naming the header (with its start code's byte offset in the video stream), then its
// traced elements.
void trace_header(const HeaderRecord& record, int level, Messages& messages);

}  // namespace tavik
