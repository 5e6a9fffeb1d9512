#include "decoder/picture/block_decoder.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstring>

#include "decoder/syntax/scan_tables.h"
#include "decoder/syntax/vlc_tables.h"

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

// The most one block's codes can take (a DC part, then at most 66 codes of up to 28 bits), with
// the 8 bytes a refill loads: from this many bytes before the end of the buffer on, a block's
// refills need no check.
constexpr ptrdiff_t kBlockBytesBound = 320;

// Tops the window up without checking: the byte at pos lies at the window's bit `bits` and at
// least 8 bytes follow it. Bits already in the window are ORed again with the same values.
inline void refill_unchecked(BitWindow& w) {
  uint64_t value;
  std::memcpy(&value, w.pos, 8);
  w.cache |= __builtin_bswap64(value) >> w.bits;
  w.pos += (63 - w.bits) >> 3;
  w.bits |= 56;
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

// A level as its magnitude and a sign mask (0, or -1 for a negative level).
struct Level {
  int magnitude;
  int sign;
};

[[nodiscard]] inline Level split_level(int level) {
  return {level < 0 ? -level : level, level < 0 ? -1 : 0};
}

// Inverse quantisation of one AC (or non-intra) level; scale is quantiser_scale times the
// matrix entry. Saturated to -2048..2047.
template <bool kMpeg2, bool kIntra>
inline int dequantise(Level level, int scale) {
  int value = kIntra ? (level.magnitude * scale) >> (kMpeg2 ? 4 : 3)
                     : ((2 * level.magnitude + 1) * scale) >> (kMpeg2 ? 5 : 4);
  // MPEG-1 oddification: an even value moves one toward zero; a value that computes to 0
  // stays 0 (ISO/IEC 11172-2 2.4.4), where a plain (v - 1) | 1 would give the wrong sign.
  if constexpr (!kMpeg2) {
    if (value != 0) value = (value - 1) | 1;
  }
  // A negative value may reach -2048, a positive one 2047.
  value = std::min(value, kCoefficientMax - level.sign);
  return (value ^ level.sign) - level.sign;
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

// A DCT coefficient code of at most 8 bits together with its sign bit, looked up by the next 9
// bits of the window: the common codes then cost one look-up. The level comes with its sign,
// the length counts the sign bit. End of block and escape have no sign bit; kLongerCode marks bits
// that begin a longer code (or none).
struct SignedDctCode {
  uint8_t run = 0;
  uint8_t length = 0;
  uint8_t magnitude = 0;
  int8_t sign = 0;  // 0, or -1 for a negative level
};
constexpr uint8_t kLongerCode = kUnlistedCode + 1;
using SignedDctTable = std::array<SignedDctCode, 512>;

SignedDctTable with_signs(const DctCoefficientTable& table) {
  SignedDctTable signed_codes;
  for (uint32_t bits = 0; bits < signed_codes.size(); ++bits) {
    SignedDctCode& entry = signed_codes[bits];
    if ((bits << 23) < kDctShortBound) {
      entry.run = kLongerCode;
      continue;
    }
    const DctCode& code = table.short_codes[(bits >> 1) - kDctShortFirst];
    entry.run = code.run;
    entry.length = code.length;
    if (code.run < kEndOfBlock) {
      const bool negative = (bits >> (8 - code.length)) & 1;
      entry.magnitude = code.level;
      entry.sign = static_cast<int8_t>(negative ? -1 : 0);
      ++entry.length;
    }
  }
  return signed_codes;
}

// Table B-14 and Table B-15 with their sign bits.
struct SignedDctTables {
  SignedDctTable zero = with_signs(kDctCoefficientsZero);
  SignedDctTable one = with_signs(kDctCoefficientsOne);
};

// Built before main from the constant tables: no initialisation check on every block.
const SignedDctTables kSignedDctTables;

// A code that the signed table does not resolve: a code longer than 8 bits, an escape, or bits
// that begin no code. Sets run and level and returns null, or returns the warning of the
// invalid code met. Inlined, so that the window stays in registers.
template <bool kMpeg2>
[[gnu::always_inline]] inline const char* read_rare_code(BitWindow& w,
                                                         const DctCoefficientTable& table, int& run,
                                                         int& level,
                                                         const char* invalid_code_text) {
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
  run = code->run;
  if (run < kEndOfBlock) {
    level = take_bits(w, 1) ? -code->level : code->level;
    return nullptr;
  }
  if (run != kEscape) return invalid_code_text;
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
  return nullptr;
}

// The block's quantiser matrix times quantiser_scale, in the picture's scan order: built once
// per scale and picture, so that a coefficient costs one look-up and one multiplication.
template <bool kMpeg2, bool kIntra>
[[gnu::noinline]] void build_scaled_matrix(DecoderContext& ctx, int comp, ScaledMatrix& scaled) {
  const LayerState& layer = ctx.layer;
  const int* const matrix = block_matrix<kMpeg2, kIntra>(ctx, comp);
  const uint8_t* const scan =
      kMpeg2 && layer.alternate_scan ? kAlternateScan.data() : kZigzagScan.data();
  for (int i = 0; i < 64; ++i) {
    scaled.values[i] = layer.quantiser_scale * matrix[scan[i]];
    scaled.positions[i] = scan[i];
  }
  scaled.quantiser_scale = layer.quantiser_scale;
}

template <bool kMpeg2, bool kIntra>
const ScaledMatrix& scaled_matrix(DecoderContext& ctx, int comp) {
  const bool chroma_matrix = kMpeg2 && comp >= 4 && ctx.vars.chroma_format != 1;
  ScaledMatrix& scaled = ctx.layer.scaled_matrices[(kIntra ? 2 : 0) + (chroma_matrix ? 1 : 0)];
  if (scaled.quantiser_scale != ctx.layer.quantiser_scale) {
    build_scaled_matrix<kMpeg2, kIntra>(ctx, comp, scaled);
  }
  return scaled;
}

// Decodes the coefficients of one block. Returns null at the end of block, or the warning of
// the invalid code met. kUnchecked: at least kBlockBytesBound bytes are in the buffer, so
// refills are branch-free and each serves two codes.
template <bool kMpeg2, bool kIntra, bool kUnchecked>
const char* decode_coefficients(DecoderContext& ctx, BitWindow& w, int comp, int dc_dct_pred[3],
                                const char* invalid_code_text) {
  LayerState& layer = ctx.layer;
  BitReader& reader = layer.reader;
  int16_t* const block = layer.block[comp];
  const ScaledMatrix& scaled = scaled_matrix<kMpeg2, kIntra>(ctx, comp);
  const bool table_one = kMpeg2 && kIntra && ctx.vars.intra_vlc_format;
  const DctCoefficientTable& table = table_one ? kDctCoefficientsOne : kDctCoefficientsZero;
  const SignedDctCode* const signed_codes =
      table_one ? kSignedDctTables.one.data() : kSignedDctTables.zero.data();
  int parity = 0;  // of the sum of the coefficients, for the mismatch control
  int i = 0;
  auto store = [&](Level level) {
    const int value = dequantise<kMpeg2, kIntra>(level, scaled.values[i]);
    block[scaled.positions[i]] = static_cast<int16_t>(value);
    parity ^= value;
  };

  if constexpr (kIntra) {
    layer.dc_only[comp] = false;
    const int dc = intra_dc(w, comp, dc_dct_pred, kMpeg2 ? 3 - ctx.vars.intra_dc_precision : 3);
    block[0] = static_cast<int16_t>(dc);
    parity = dc;
    i = 1;
  } else if (static_cast<int64_t>(w.cache) < 0) {
    // The first coefficient of a non-intra block: "1s" is run 0, level 1.
    drop_bits(w, 1);
    store({1, take_bits(w, 1) ? -1 : 0});
    i = 1;
  }

  // One code (at most 28 bits): false at the end of block or on a fault.
  const char* fault = nullptr;
  const auto next_code = [&]() __attribute__((always_inline)) {
    const SignedDctCode code = signed_codes[w.cache >> 55];
    int run = code.run;
    Level level{code.magnitude, code.sign};
    if (run < kEndOfBlock) [[likely]] {
      drop_bits(w, code.length);
    } else if (run == kEndOfBlock) {
      drop_bits(w, code.length);
      return false;
    } else {
      int signed_level = 0;
      fault = read_rare_code<kMpeg2>(w, table, run, signed_level, invalid_code_text);
      if (fault) return false;
      level = split_level(signed_level);
    }
    i += run;
    if (i > 63) {
      fault = invalid_code_text;
      return false;
    }
    store(level);
    ++i;
    return true;
  };
  if constexpr (kUnchecked) {
    do refill_unchecked(w);
    while (next_code() && next_code());
  } else {
    do reader.refill(w);
    while (next_code());
  }
  if (fault) return fault;
  if constexpr (kIntra) layer.dc_only[comp] = i == 1;
  // ISO/IEC 13818-2 7.4.4: an even sum toggles the last coefficient.
  if (kMpeg2 && !(parity & 1)) block[63] ^= 1;
  return nullptr;
}

// The blocks whose bits are set in `comps` (bit k: block k), in order, each cleared first; the
// window stays in registers from one block to the next.
template <bool kMpeg2, bool kIntra>
void read_blocks(DecoderContext& ctx, unsigned comps, int dc_dct_pred[3],
                 const char* invalid_code_text) {
  BitReader& reader = ctx.layer.reader;
  BitWindow w{reader.w.cache, reader.w.bits, reader.w.pos, reader.w.end};
  const char* fault = nullptr;
  for (; comps != 0 && fault == nullptr; comps &= comps - 1) {
    const int comp = std::countr_zero(comps);
    std::memset(ctx.layer.block[comp], 0, sizeof ctx.layer.block[comp]);
    fault = w.end - w.pos >= kBlockBytesBound && w.bits < 64
                ? decode_coefficients<kMpeg2, kIntra, true>(ctx, w, comp, dc_dct_pred,
                                                            invalid_code_text)
                : decode_coefficients<kMpeg2, kIntra, false>(ctx, w, comp, dc_dct_pred,
                                                             invalid_code_text);
    reader.refill(w);
  }
  // Field by field, both ways: a whole-struct copy goes through vector moves, which wait for the
  // scalar stores of the same fields just before them.
  reader.w.cache = w.cache;
  reader.w.bits = w.bits;
  reader.w.pos = w.pos;
  reader.w.end = w.end;  // a refill that read more moved the buffer's end
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

namespace {
constexpr const char* kIntraText = "invalid Huffman code in getintrablock()\n";
constexpr const char* kInterText = "invalid Huffman code in getinterblock()\n";
constexpr const char* kMpeg2IntraText = "invalid Huffman code in getmpg2intrablock()\n";
constexpr const char* kMpeg2InterText = "invalid Huffman code in getmpg2interblock()\n";
}  // namespace

void getintrablock(DecoderContext& ctx, int comp, int dc_dct_pred[3]) {
  read_blocks<false, true>(ctx, 1u << comp, dc_dct_pred, kIntraText);
}

void getinterblock(DecoderContext& ctx, int comp) {
  read_blocks<false, false>(ctx, 1u << comp, nullptr, kInterText);
}

void getmpg2intrablock(DecoderContext& ctx, int comp, int dc_dct_pred[3]) {
  read_blocks<true, true>(ctx, 1u << comp, dc_dct_pred, kMpeg2IntraText);
}

void getmpg2interblock(DecoderContext& ctx, int comp) {
  read_blocks<true, false>(ctx, 1u << comp, nullptr, kMpeg2InterText);
}

void read_coded_blocks(DecoderContext& ctx, int coded_block_pattern, bool intra,
                       int dc_dct_pred[3]) {
  const int blocks = ctx.geometry.blocks_per_macroblock;
  unsigned comps = 0;
  for (int comp = 0; comp < blocks; ++comp) {
    if (coded_block_pattern & (1 << (blocks - 1 - comp))) comps |= 1u << comp;
  }
  if (ctx.layer.mpeg2) {
    if (intra) {
      read_blocks<true, true>(ctx, comps, dc_dct_pred, kMpeg2IntraText);
    } else {
      read_blocks<true, false>(ctx, comps, nullptr, kMpeg2InterText);
    }
  } else if (intra) {
    read_blocks<false, true>(ctx, comps, dc_dct_pred, kIntraText);
  } else {
    read_blocks<false, false>(ctx, comps, nullptr, kInterText);
  }
}

void getdcblock(DecoderContext& ctx, int comp, int dc_dct_pred[3]) {
  BitReader& reader = ctx.layer.reader;
  std::memset(ctx.layer.block[comp], 0, sizeof ctx.layer.block[comp]);
  ctx.layer.block[comp][0] = static_cast<int16_t>(intra_dc(reader.w, comp, dc_dct_pred, 3));
  ctx.layer.dc_only[comp] = true;
  reader.refill(reader.w);
}

int get_luminance_dc_diff(DecoderContext& ctx) {
  return read_dc_diff(ctx, true);
}

int get_chrominance_dc_diff(DecoderContext& ctx) {
  return read_dc_diff(ctx, false);
}

}  // namespace tavik
