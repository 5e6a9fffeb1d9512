#include "decoder/syntax/header_trace.h"

namespace tavik {

void trace_header(const HeaderRecord& record, int level, Messages& messages) {
  const HeaderSpec& spec = record.spec();
  if (level <= 0 || level < spec.trace_level) return;
  if (spec.trace_offset) {
    messages.out(format_text("%s (byte %lld)\n", spec.title,
                             static_cast<long long>(record.bit_offset >> 3)));
  } else {
    messages.out(format_text("%s\n", spec.title));
  }
  for (int i = 0; i < record.element_count(); ++i) {
    const ElementSpec& element = spec.elements[i];
    if (element.trace == nullptr || level < element.trace_level || !record.has(i)) continue;
    const int value = record.value(i);
    messages.out(format_text(element.trace, value));
    // A profile and level in the ranges the standard defines (escape bit clear).
    if (element.detail == TraceDetail::kProfileAndLevel && value < 128) {
      messages.out(format_text("    profile=%d, level=%d\n", value >> 4, value & 15));
    }
  }
}

}  // namespace tavik
