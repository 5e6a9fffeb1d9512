#include "decoder/syntax/stream_info.h"

namespace tavik {

void StreamInfo::sequence_header_read() {
  if (!in_sequence_) ++sequences;
  in_sequence_ = true;
  current = SequenceValues{};
}

void StreamInfo::sequence_end_read() {
  in_sequence_ = false;
}

void StreamInfo::group_read(bool closed_gop) {
  ++(closed_gop ? closed_gops : open_gops);
}

void StreamInfo::picture_header_read() {
  if (pictures == 0) sequence = current;
  ++pictures;
  // MPEG-1 pictures are whole frames shown once.
  if (current.mpeg2 == 0) fields += 2;
}

void StreamInfo::picture_coding_extension_read(const DecodingVariables& vars) {
  if (vars.picture_structure != 3) {
    // The first field of a pair tells the order in which the two are shown.
    if (!second_field_due_ && current.progressive_sequence == 0) {
      ++(vars.picture_structure == 1 ? top_field_first : bottom_field_first);
    }
    second_field_due_ = !second_field_due_;
    ++fields;
    return;
  }
  second_field_due_ = false;
  if (current.progressive_sequence != 0) {
    // A progressive sequence repeats whole frames: once, or twice with top_field_first.
    fields += 2 * (1 + vars.repeat_first_field * (1 + vars.top_field_first));
    return;
  }
  fields += 2 + vars.repeat_first_field;
  if (vars.progressive_frame == 0)
    ++(vars.top_field_first != 0 ? top_field_first : bottom_field_first);
}

}  // namespace tavik
