#include "decoder/picture/macroblock_fields.h"

namespace tavik {

MacroblockFields macroblock_fields(const PictureMacroblocks& picture, int address,
                                   int field_order) {
  const MacroblockRecord& r = picture.records[size_t(address)];
  const MacroblockBox box = macroblock_box(picture, address, field_order);
  const auto number = [](auto value) { return std::to_string(value); };
  MacroblockFields fields = {number(address),
                             number(address % picture.mb_columns),
                             number(address / picture.mb_columns),
                             number(box.x),
                             number(box.y),
                             number(int(r.has(kMbRecordSkipped))),
                             number(int(r.has(kMbRecordIntra))),
                             number(int(r.has(kMbRecordForward))),
                             number(int(r.has(kMbRecordBackward))),
                             number(int(r.has(kMbRecordPattern))),
                             number(int(r.has(kMbRecordQuant))),
                             std::string(motion_type_name(picture, r)),
                             number(int(r.dct_type)),
                             number(int(r.quantiser_scale)),
                             number(int(r.coded_block_pattern))};
  size_t at = 15;
  for (int s = 0; s < 2; ++s) {
    const int vectors = direction_vectors(picture, r, s);
    for (int v = 0; v < 2; ++v, at += 3) {
      if (v >= vectors) continue;
      fields[at] = number(int(r.vectors[v][s][0]));
      fields[at + 1] = number(int(r.vectors[v][s][1]));
      fields[at + 2] = number(int(r.field_select[v][s]));
    }
  }
  fields[at] = number(int(r.dmvector[0]));
  fields[at + 1] = number(int(r.dmvector[1]));
  fields[at + 2] = number(r.bits);
  fields[at + 3] = number(int(r.weight_type));
  return fields;
}

}  // namespace tavik
