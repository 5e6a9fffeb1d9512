#pragma once

#include <array>

#include "support/field_picture_writer.h"
#include "support/field_writer_bits.h"
#include "support/field_writer_headers.h"
#include "support/field_writer_motion.h"

namespace tavik::test::field_writer {

// references[s][field_select]: the frame whose field of parity field_select is the forward (s 0)
// or backward (s 1) reference field, or null when that field is not to be used.
using ReferenceFields = std::array<std::array<const Frame*, 2>, 2>;

struct FieldPictureJob {
  FieldPictureHeader header;
  int quantiser_scale_code = 4;
  bool use_16x8 = true;
  const Frame* source = nullptr;
  Frame* reconstruction = nullptr;  // the frame being coded; receives this field's decoded samples
  ReferenceFields references{};
};

// Writes the headers and slices of one field picture, one slice per macroblock row, and decodes
// it into the reconstruction the way a decoder will.
void encode_field_picture(BitWriter& bits, const FieldPictureJob& job, FieldStreamStats& stats);

}  // namespace tavik::test::field_writer
