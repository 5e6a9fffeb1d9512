#include "charts/macroblock_lookup.h"

#include <cstdio>

#include "decoder/picture/macroblock_statistics.h"

namespace tavik {

MacroblockHit macroblock_at(std::span<const PictureMacroblocks> pictures, int x, int y) {
  if (pictures.empty() || x < 0 || y < 0) return {};
  const PictureMacroblocks& first = pictures[0];
  const int column = x / 16;
  if (column >= first.mb_columns) return {};
  // A frame picture's rows are 16 lines; two field pictures share each 32-line band, the first
  // field in its upper half.
  const bool fields = first.picture_structure != 3;
  const int row = fields ? y / 32 : y / 16;
  const int picture = fields ? (y % 32) / 16 : 0;
  if (size_t(picture) >= pictures.size()) return {};
  const int address = row * pictures[size_t(picture)].mb_columns + column;
  if (size_t(address) >= pictures[size_t(picture)].records.size()) return {};
  return {picture, address};
}

namespace {

constexpr const char* kCategoryTexts[] = {"intra",         "forward", "backward",
                                          "bidirectional", "skipped", "not decoded"};

void append(std::string& out, const char* format, auto... values) {
  char line[160];
  const int n = std::snprintf(line, sizeof line, format, values...);
  out.append(line, size_t(n));
}

}  // namespace

std::string macroblock_text(std::span<const PictureMacroblocks> pictures, MacroblockHit hit) {
  if (hit.picture < 0 || size_t(hit.picture) >= pictures.size()) return {};
  const PictureMacroblocks& picture = pictures[size_t(hit.picture)];
  if (hit.address < 0 || size_t(hit.address) >= picture.records.size()) return {};
  const MacroblockRecord& r = picture.records[size_t(hit.address)];
  const char* structure = picture.picture_structure == 1   ? "top field"
                          : picture.picture_structure == 2 ? "bottom field"
                                                           : "frame";
  std::string out;
  append(out, "Macroblock %d (column %d, row %d) of picture %lld, %s\n", hit.address,
         hit.address % picture.mb_columns, hit.address / picture.mb_columns,
         static_cast<long long>(picture.picture), structure);
  append(out, "%s", kCategoryTexts[int(macroblock_category(r, picture.picture_coding_type))]);
  if (!r.decoded()) return out;
  for (const auto& [flag, name] :
       {std::pair{kMbRecordPattern, "pattern"}, std::pair{kMbRecordQuant, "quant"}}) {
    if (r.has(flag)) append(out, ", %s", name);
  }
  append(out, "\nquantiser_scale %d, coded_block_pattern %d, dct_type %d, %u bits",
         r.quantiser_scale, r.coded_block_pattern, r.dct_type, r.bits);
  if (const std::string_view motion = motion_type_name(picture, r); !motion.empty()) {
    append(out, "\nmotion %.*s", int(motion.size()), motion.data());
  }
  const char* directions[2] = {"forward", "backward"};
  for (int s = 0; s < 2; ++s) {
    const int vectors = direction_vectors(picture, r, s);
    for (int v = 0; v < vectors; ++v) {
      append(out, "\n%s vector %d: (%d, %d) half samples, field select %d", directions[s], v,
             r.vectors[v][s][0], r.vectors[v][s][1], r.field_select[v][s]);
    }
  }
  if (r.motion_type == 3) append(out, "\ndmvector (%d, %d)", r.dmvector[0], r.dmvector[1]);
  if (r.weight_type != 0) append(out, "\nweight type %d", r.weight_type);
  return out;
}

}  // namespace tavik
