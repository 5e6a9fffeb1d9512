#include "decoder/picture/macroblock_statistics.h"

#include <algorithm>

namespace tavik {

MacroblockCategory macroblock_category(const MacroblockRecord& record, int picture_coding_type) {
  if (!record.decoded()) return MacroblockCategory::kLost;
  if (record.has(kMbRecordSkipped)) return MacroblockCategory::kSkipped;
  if (record.has(kMbRecordIntra)) return MacroblockCategory::kIntra;
  const bool forward = record.forward(picture_coding_type);
  const bool backward = record.has(kMbRecordBackward);
  if (forward && backward) return MacroblockCategory::kBidirectional;
  return backward ? MacroblockCategory::kBackward : MacroblockCategory::kForward;
}

namespace {

void widen(VectorRange& range, int value) {
  range.used_min = range.used ? std::min(range.used_min, value) : value;
  range.used_max = range.used ? std::max(range.used_max, value) : value;
  range.used = true;
}

// The vectors a record predicts with in direction s: one, or one per field.
int vectors_used(const MacroblockRecord& record, int picture_structure) {
  if (record.motion_type == 1) return picture_structure == 3 ? 2 : 1;
  if (record.motion_type == 2) return picture_structure == 3 ? 1 : 2;
  return 1;
}

}  // namespace

PictureStatistics picture_statistics(const PictureMacroblocks& picture) {
  PictureStatistics stats;
  stats.picture = picture.picture;
  stats.picture_coding_type = picture.picture_coding_type;
  stats.picture_structure = picture.picture_structure;
  stats.macroblocks = static_cast<int>(picture.records.size());
  const int predicted = picture.picture_coding_type == 3 ? 2 : picture.picture_coding_type == 2;
  for (int s = 0; s < predicted; ++s) {
    for (int t = 0; t < 2; ++t) {
      // A forbidden f_code of 0, or 15 (unused), allows no vectors.
      if (picture.r_size[s][t] < 0 || picture.r_size[s][t] >= 14) continue;
      stats.vectors[s][t].allowed = true;
      stats.vectors[s][t].allowed_min = -(16 << picture.r_size[s][t]);
      stats.vectors[s][t].allowed_max = (16 << picture.r_size[s][t]) - 1;
    }
  }
  int64_t quantiser_sum = 0;
  int quantised = 0;
  for (const MacroblockRecord& record : picture.records) {
    const MacroblockCategory category = macroblock_category(record, picture.picture_coding_type);
    ++stats.counts[static_cast<int>(category)];
    if (category == MacroblockCategory::kLost) continue;
    stats.macroblock_bits += record.bits;
    if (category != MacroblockCategory::kSkipped) {
      const int q = record.quantiser_scale;
      stats.quantiser_min = quantised ? std::min(stats.quantiser_min, q) : q;
      stats.quantiser_max = quantised ? std::max(stats.quantiser_max, q) : q;
      quantiser_sum += q;
      ++quantised;
    }
    if (category == MacroblockCategory::kIntra) continue;
    const bool used[2] = {record.forward(picture.picture_coding_type),
                          record.has(kMbRecordBackward)};
    for (int s = 0; s < 2; ++s) {
      if (!used[s]) continue;
      for (int r = 0; r < vectors_used(record, picture.picture_structure); ++r) {
        widen(stats.vectors[s][0], record.vectors[r][s][0]);
        widen(stats.vectors[s][1], record.vectors[r][s][1]);
      }
    }
  }
  if (quantised) stats.quantiser_average = double(quantiser_sum) / quantised;
  stats.header_bits = picture.picture_bits > stats.macroblock_bits
                          ? picture.picture_bits - stats.macroblock_bits
                          : 0;
  return stats;
}

}  // namespace tavik
