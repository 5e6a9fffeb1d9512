#include "decoder/picture/macroblock_vlc.h"

#include <span>

#include "decoder/picture/frame_store.h"
#include "decoder/syntax/vlc_tables.h"

namespace tavik {

namespace {

// Reports an invalid code; returns the value the caller discards.
int invalid(DecoderContext& ctx, const char* text, int value) {
  ctx.warn(text);
  ctx.decode_fault = true;
  return value;
}

// Consumes the code of a table entry and returns its value, or reports the bits as invalid.
int take(DecoderContext& ctx, const VlcEntry& entry, const char* invalid_text) {
  if (entry.length == 0) return invalid(ctx, invalid_text, 0);
  ctx.layer.reader.skip_bits(entry.length);
  return entry.value;
}

constexpr const char* kInvalidAddressIncrement = "Invalid macroblock_address_increment code\n";
constexpr const char* kInvalidMacroblockType = "Invalid macroblock_type code\n";
constexpr const char* kInvalidCodedBlockPattern = "Invalid coded_block_pattern code\n";

// The weight types of spatial_temporal_weight_code 0..3 for the table indices 1..3.
constexpr int kWeightTypes[3][4] = {{6, 3, 7, 4}, {2, 1, 5, 4}, {2, 5, 7, 4}};
// Both fields at half weight: the type without a transmitted code.
constexpr int kHalfWeightType = 4;

}  // namespace

int read_address_increment(DecoderContext& ctx) {
  BitReader& reader = ctx.layer.reader;
  int escapes = 0;
  uint32_t bits = reader.peek_bits(11);
  while (bits < kAddressIncrementLongFirst) {
    if (bits == kMacroblockEscape) {
      // No picture holds more macroblocks than the largest frame store: a longer run of
      // escapes is damage, and is stopped before its sum could overflow.
      if (escapes > kMaxLumaSamples / 256) return invalid(ctx, kInvalidAddressIncrement, 1);
      escapes += kMacroblockEscapeIncrement;
    } else if (bits != kMacroblockStuffing) {
      return invalid(ctx, kInvalidAddressIncrement, 1);
    }
    reader.skip_bits(11);
    bits = reader.peek_bits(11);
  }
  const VlcEntry& entry = bits >= 128
                              ? kAddressIncrementShort[(bits >> 6) - kAddressIncrementShortFirst]
                              : kAddressIncrementLong[bits - kAddressIncrementLongFirst];
  return escapes + take(ctx, entry, kInvalidAddressIncrement);
}

int read_macroblock_type(DecoderContext& ctx) {
  const LayerState& layer = ctx.layer;
  const int type = ctx.vars.picture_coding_type;
  const std::span<const VlcLookup> tables =
      layer.picture_spatial_scalable ? std::span<const VlcLookup>(kSpatialMacroblockTypeTables)
                                     : std::span<const VlcLookup>(kMacroblockTypeTables);
  if (type < 1 || type > static_cast<int>(tables.size()) ||
      layer.scalable_mode == kSnrScalability) {
    return invalid(ctx, kInvalidMacroblockType, 0);
  }
  const VlcLookup& table = tables[type - 1];
  return take(ctx, table.entries[layer.reader.peek_bits(table.index_bits)], kInvalidMacroblockType);
}

int read_spatial_temporal_weight_type(DecoderContext& ctx, int mb_type) {
  if (mb_type & kMbWeightCode) {
    const int index = ctx.vars.spatial_temporal_weight_code_table_index;
    if (index == 0) return kHalfWeightType;
    return kWeightTypes[index - 1][ctx.layer.reader.read_bits(2)];
  }
  return (mb_type & kMbSpatialOnly) ? kSpatialOnlyWeightType : 0;
}

int read_coded_block_pattern(DecoderContext& ctx) {
  const uint32_t bits = ctx.layer.reader.peek_bits(9);
  const VlcEntry& entry = bits >= 128 ? kCodedBlockPattern5[(bits >> 4) - kCodedBlockPatternFirst5]
                          : bits >= 8 ? kCodedBlockPattern8[(bits >> 1) - kCodedBlockPatternFirst8]
                                      : kCodedBlockPattern9[bits];
  return take(ctx, entry, kInvalidCodedBlockPattern);
}

}  // namespace tavik
