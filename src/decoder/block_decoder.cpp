#include "decoder/block_decoder.h"

#include <algorithm>

#include "decoder/scan_tables.h"
#include "decoder/vlc_tables.h"

namespace tavik {

namespace {

constexpr int kCoefficientMin = -2048;
constexpr int kCoefficientMax = 2047;
constexpr const char* kInvalidEscapeLevel =
    "invalid signed_level (escape) in getmpg2intrablock()\n";

// Window helpers: the callers guarantee enough valid bits.
inline uint32_t take_bits(BitWindow& w, int n) {
  const auto value = static_cast<uint32_t>(w.cache >> (64 - n));
  w.cache <<= n;
  w.bits -= n;
  return value;
}

inline void drop_bits(BitWindow& w, int n) {
  w.cache <<= n;
  w.bits -= n;
}

// Tops the window up to 32 bits. The reader sees a copy, so that the caller's window never
// leaves the registers.
inline void refill(BitReader& reader, BitWindow& w) {
  if (w.bits >= 32) return;
  BitWindow copy = w;
  reader.refill(copy);
  w = copy;
}

// dct_dc_size (Tables B-12, B-13) from the leading bits.
inline VlcEntry dc_size(uint64_t cache, bool luminance) {
  const auto prefix = static_cast<uint32_t>(cache >> 59);
  if (prefix != kDcSizeLongPrefix) {
    return (luminance ? kDcSizeLuminance5 : kDcSizeChrominance5)[prefix];
  }
  if (luminance) return kDcSizeLuminance9[(cache >> 55) - kDcSizeLuminanceLongFirst];
  return kDcSizeChrominance10[(cache >> 54) - kDcSizeChrominanceLongFirst];
}

// dct_dc_size and dct_dc_differential; at most 21 bits.
inline int dc_differential(BitWindow& w, bool luminance) {
  const VlcEntry entry = dc_size(w.cache, luminance);
  drop_bits(w, entry.length);
  const int size = entry.value;
  if (size == 0) return 0;
  const auto bits = static_cast<int>(take_bits(w, size));
  return (bits >> (size - 1)) ? bits : bits + 1 - (1 << size);
}

// Adds the DC differential to the predictor of the block's colour component; returns the DC
// coefficient, the predictor scaled by 2^shift.
inline int intra_dc(BitWindow& w, int comp, int dc_dct_pred[3], int shift) {
  const bool luminance = comp < 4;
  int& pred = dc_dct_pred[luminance ? 0 : 1 + (comp & 1)];
  // Wraps instead of overflowing on a corrupt stream.
  pred = static_cast<int>(static_cast<unsigned>(pred) +
                          static_cast<unsigned>(dc_differential(w, luminance)));
  return static_cast<int>(
      std::clamp<int64_t>(static_cast<int64_t>(pred) << shift, kCoefficientMin, kCoefficientMax));
}

// Inverse quantisation of one AC (or non-intra) level; scale is quantiser_scale times the
// matrix entry.
template <bool kMpeg2, bool kIntra>
inline int dequantise(int level, int scale) {
  const int magnitude = level < 0 ? -level : level;
  int value = kIntra ? (magnitude * scale) >> (kMpeg2 ? 4 : 3)
                     : ((2 * magnitude + 1) * scale) >> (kMpeg2 ? 5 : 4);
  // MPEG-1 oddification: an even value moves one toward zero; a value that computes to 0
  // stays 0 (ISO/IEC 11172-2 2.4.4), where a plain (v - 1) | 1 would give the wrong sign.
  if constexpr (!kMpeg2) {
    if (value != 0) value = (value - 1) | 1;
  }
  return std::clamp(level < 0 ? -value : value, kCoefficientMin, kCoefficientMax);
}

template <bool kMpeg2, bool kIntra>
const int* block_matrix(const DecoderContext& ctx, int comp) {
  const LayerState& layer = ctx.layer;
  const bool chroma_matrix = kMpeg2 && comp >= 4 && ctx.vars.chroma_format != 1;
  if constexpr (kIntra) {
    return chroma_matrix ? layer.chroma_intra_quantiser_matrix.data()
                         : layer.intra_quantiser_matrix.data();
  } else {
    return chroma_matrix ? layer.chroma_non_intra_quantiser_matrix.data()
                         : layer.non_intra_quantiser_matrix.data();
  }
}

// Decodes the coefficients of one block. Returns null at the end of block, or the warning of
// the invalid code met.
template <bool kMpeg2, bool kIntra>
const char* decode_coefficients(DecoderContext& ctx, BitWindow& w, int comp, int dc_dct_pred[3],
                                const char* invalid_code_text) {
  LayerState& layer = ctx.layer;
  BitReader& reader = layer.reader;
  int16_t* const block = layer.block[comp];
  const uint8_t* const scan =
      kMpeg2 && layer.alternate_scan ? kAlternateScan.data() : kZigzagScan.data();
  const int* const matrix = block_matrix<kMpeg2, kIntra>(ctx, comp);
  const int quantiser_scale = layer.quantiser_scale;
  const DctCoefficientTable& table =
      kMpeg2 && kIntra && ctx.vars.intra_vlc_format ? kDctCoefficientsOne : kDctCoefficientsZero;
  int parity = 0;  // of the sum of the coefficients, for the mismatch control
  int i = 0;
  auto store = [&](int level) {
    const int j = scan[i];
    const int value = dequantise<kMpeg2, kIntra>(level, quantiser_scale * matrix[j]);
    block[j] = static_cast<int16_t>(value);
    parity ^= value;
  };

  if constexpr (kIntra) {
    const int dc = intra_dc(w, comp, dc_dct_pred, kMpeg2 ? 3 - ctx.vars.intra_dc_precision : 3);
    block[0] = static_cast<int16_t>(dc);
    parity = dc;
    i = 1;
  } else if (static_cast<int64_t>(w.cache) < 0) {
    // The first coefficient of a non-intra block: "1s" is run 0, level 1.
    drop_bits(w, 1);
    store(take_bits(w, 1) ? -1 : 1);
    i = 1;
  }

  for (;;) {
    refill(reader, w);
    const auto top = static_cast<uint32_t>(w.cache >> 32);
    const DctCode* code;
    if (top >= kDctShortBound) {
      code = &table.short_codes[(top >> 24) - kDctShortFirst];
    } else if (top >= kDctMediumBound) {
      code = &table.medium_codes[(top >> 19) - kDctMediumFirst];
    } else if (top >= kDctLongBound) {
      code = &kDctLongCodes[(top >> 16) - kDctLongFirst];
    } else {
      return invalid_code_text;
    }
    drop_bits(w, code->length);
    int run = code->run;
    int level;
    if (run < kEndOfBlock) {
      level = take_bits(w, 1) ? -code->level : code->level;
    } else if (run == kEndOfBlock) {
      break;
    } else if (run == kEscape) {
      run = static_cast<int>(take_bits(w, 6));
      if constexpr (kMpeg2) {
        level = static_cast<int>(static_cast<int64_t>(w.cache) >> 52);
        drop_bits(w, 12);
        if ((level & 2047) == 0) return kInvalidEscapeLevel;
      } else {
        // ISO/IEC 11172-2: 8 bits, or 0 / 128 followed by 8 more for the larger magnitudes.
        level = static_cast<int>(take_bits(w, 8));
        if (level == 0) {
          level = static_cast<int>(take_bits(w, 8));
        } else if (level == 128) {
          level = static_cast<int>(take_bits(w, 8)) - 256;
        } else if (level > 128) {
          level -= 256;
        }
      }
    } else {
      return invalid_code_text;
    }
    i += run;
    if (i > 63) return invalid_code_text;
    store(level);
    ++i;
  }
  // ISO/IEC 13818-2 7.4.4: an even sum toggles the last coefficient.
  if (kMpeg2 && !(parity & 1)) block[63] ^= 1;
  return nullptr;
}

template <bool kMpeg2, bool kIntra>
void read_block(DecoderContext& ctx, int comp, int dc_dct_pred[3], const char* invalid_code_text) {
  BitReader& reader = ctx.layer.reader;
  BitWindow w = reader.w;
  const char* fault =
      decode_coefficients<kMpeg2, kIntra>(ctx, w, comp, dc_dct_pred, invalid_code_text);
  refill(reader, w);
  reader.w = w;
  if (fault) {
    ctx.warn(fault);
    ctx.decode_fault = true;
  }
}

int read_dc_diff(DecoderContext& ctx, bool luminance) {
  BitReader& reader = ctx.layer.reader;
  const int diff = dc_differential(reader.w, luminance);
  reader.refill(reader.w);
  return diff;
}

}  // namespace

void getintrablock(DecoderContext& ctx, int comp, int dc_dct_pred[3]) {
  read_block<false, true>(ctx, comp, dc_dct_pred, "invalid Huffman code in getintrablock()\n");
}

void getinterblock(DecoderContext& ctx, int comp) {
  read_block<false, false>(ctx, comp, nullptr, "invalid Huffman code in getinterblock()\n");
}

void getmpg2intrablock(DecoderContext& ctx, int comp, int dc_dct_pred[3]) {
  read_block<true, true>(ctx, comp, dc_dct_pred, "invalid Huffman code in getmpg2intrablock()\n");
}

void getmpg2interblock(DecoderContext& ctx, int comp) {
  read_block<true, false>(ctx, comp, nullptr, "invalid Huffman code in getmpg2interblock()\n");
}

void getdcblock(DecoderContext& ctx, int comp, int dc_dct_pred[3]) {
  BitReader& reader = ctx.layer.reader;
  ctx.layer.block[comp][0] = static_cast<int16_t>(intra_dc(reader.w, comp, dc_dct_pred, 3));
  reader.refill(reader.w);
}

int get_luminance_dc_diff(DecoderContext& ctx) {
  return read_dc_diff(ctx, true);
}

int get_chrominance_dc_diff(DecoderContext& ctx) {
  return read_dc_diff(ctx, false);
}

}  // namespace tavik
