#include "decoder/syntax/vlc_tables.h"

#include <algorithm>
#include <cstddef>

namespace tavik {

namespace {

// A code as the standard lists it: its bits (right-aligned) and what it decodes to, length
// included.
template <typename Entry>
struct ListedCode {
  uint32_t bits;
  Entry entry;
};

constexpr ListedCode<VlcEntry> vlc(uint32_t bits, int length, int value) {
  return {bits, {static_cast<uint8_t>(value), static_cast<uint8_t>(length)}};
}

constexpr ListedCode<DctCode> dct(uint32_t bits, int length, int run, int level) {
  return {bits,
          {static_cast<uint8_t>(run), static_cast<uint8_t>(level), static_cast<uint8_t>(length)}};
}

// Spreads every code of at most `index_bits` bits over the entries [first, first + N) of an
// index of `index_bits` leading bits. Overlapping codes stop the compilation.
template <typename Entry, size_t N, size_t M>
constexpr std::array<Entry, N> make_lookup(const std::array<ListedCode<Entry>, M>& codes,
                                           int index_bits, int first) {
  std::array<Entry, N> table{};
  for (const ListedCode<Entry>& code : codes) {
    const int length = code.entry.length;
    if (length > index_bits) continue;
    const int shift = index_bits - length;
    const int begin = std::max(static_cast<int>(code.bits << shift), first);
    const int end =
        std::min(static_cast<int>((code.bits + 1) << shift), first + static_cast<int>(N));
    for (int k = begin; k < end; ++k) {
      if (table[k - first].length != 0) throw "overlapping codes";
      table[k - first] = code.entry;
    }
  }
  return table;
}

// Table B-1, without macroblock_escape and macroblock_stuffing.
constexpr std::array kAddressIncrementCodes = {
    vlc(0b1, 1, 1),
    vlc(0b011, 3, 2),
    vlc(0b010, 3, 3),
    vlc(0b0011, 4, 4),
    vlc(0b0010, 4, 5),
    vlc(0b0001'1, 5, 6),
    vlc(0b0001'0, 5, 7),
    vlc(0b0000'111, 7, 8),
    vlc(0b0000'110, 7, 9),
    vlc(0b0000'1011, 8, 10),
    vlc(0b0000'1010, 8, 11),
    vlc(0b0000'1001, 8, 12),
    vlc(0b0000'1000, 8, 13),
    vlc(0b0000'0111, 8, 14),
    vlc(0b0000'0110, 8, 15),
    vlc(0b0000'0101'11, 10, 16),
    vlc(0b0000'0101'10, 10, 17),
    vlc(0b0000'0101'01, 10, 18),
    vlc(0b0000'0101'00, 10, 19),
    vlc(0b0000'0100'11, 10, 20),
    vlc(0b0000'0100'10, 10, 21),
    vlc(0b0000'0100'011, 11, 22),
    vlc(0b0000'0100'010, 11, 23),
    vlc(0b0000'0100'001, 11, 24),
    vlc(0b0000'0100'000, 11, 25),
    vlc(0b0000'0011'111, 11, 26),
    vlc(0b0000'0011'110, 11, 27),
    vlc(0b0000'0011'101, 11, 28),
    vlc(0b0000'0011'100, 11, 29),
    vlc(0b0000'0011'011, 11, 30),
    vlc(0b0000'0011'010, 11, 31),
    vlc(0b0000'0011'001, 11, 32),
    vlc(0b0000'0011'000, 11, 33),
};

// Table B-2 (I pictures).
constexpr std::array kMacroblockTypeICodes = {
    vlc(0b1, 1, kMbIntra),
    vlc(0b01, 2, kMbQuant | kMbIntra),
};

// Table B-3 (P pictures).
constexpr std::array kMacroblockTypePCodes = {
    vlc(0b1, 1, kMbForward | kMbPattern),
    vlc(0b01, 2, kMbPattern),
    vlc(0b001, 3, kMbForward),
    vlc(0b0001'1, 5, kMbIntra),
    vlc(0b0001'0, 5, kMbQuant | kMbForward | kMbPattern),
    vlc(0b0000'1, 5, kMbQuant | kMbPattern),
    vlc(0b0000'01, 6, kMbQuant | kMbIntra),
};

// Table B-4 (B pictures).
constexpr int kInterpolated = kMbForward | kMbBackward;
constexpr std::array kMacroblockTypeBCodes = {
    vlc(0b10, 2, kInterpolated),
    vlc(0b11, 2, kInterpolated | kMbPattern),
    vlc(0b010, 3, kMbBackward),
    vlc(0b011, 3, kMbBackward | kMbPattern),
    vlc(0b0010, 4, kMbForward),
    vlc(0b0011, 4, kMbForward | kMbPattern),
    vlc(0b0001'1, 5, kMbIntra),
    vlc(0b0001'0, 5, kMbQuant | kInterpolated | kMbPattern),
    vlc(0b0000'11, 6, kMbQuant | kMbForward | kMbPattern),
    vlc(0b0000'10, 6, kMbQuant | kMbBackward | kMbPattern),
    vlc(0b0000'01, 6, kMbQuant | kMbIntra),
};

// D pictures (ISO/IEC 11172-2): every macroblock is intra.
constexpr std::array kMacroblockTypeDCodes = {
    vlc(0b1, 1, kMbIntra),
};

// Table B-5 (I pictures with spatial scalability).
constexpr std::array kSpatialMacroblockTypeICodes = {
    vlc(0b1, 1, kMbPattern | kMbSpatialOnly),
    vlc(0b01, 2, kMbQuant | kMbPattern | kMbSpatialOnly),
    vlc(0b0011, 4, kMbIntra),
    vlc(0b0010, 4, kMbQuant | kMbIntra),
    vlc(0b0001, 4, kMbSpatialOnly),
};

// Table B-6 (P pictures with spatial scalability).
constexpr std::array kSpatialMacroblockTypePCodes = {
    vlc(0b10, 2, kMbForward | kMbPattern),
    vlc(0b011, 3, kMbForward | kMbPattern | kMbWeightCode),
    vlc(0b0000'100, 7, kMbPattern),
    vlc(0b0001'11, 6, kMbPattern | kMbWeightCode),
    vlc(0b0010, 4, kMbForward),
    vlc(0b0000'111, 7, kMbIntra),
    vlc(0b0011, 4, kMbForward | kMbWeightCode),
    vlc(0b010, 3, kMbQuant | kMbForward | kMbPattern),
    vlc(0b0001'00, 6, kMbQuant | kMbPattern),
    vlc(0b0000'110, 7, kMbQuant | kMbIntra),
    vlc(0b11, 2, kMbQuant | kMbForward | kMbPattern | kMbWeightCode),
    vlc(0b0001'01, 6, kMbQuant | kMbPattern | kMbWeightCode),
    vlc(0b0001'10, 6, kMbSpatialOnly),
    vlc(0b0000'101, 7, kMbPattern | kMbSpatialOnly),
    vlc(0b0000'010, 7, kMbQuant | kMbPattern | kMbSpatialOnly),
};

// Table B-7 (B pictures with spatial scalability).
constexpr std::array kSpatialMacroblockTypeBCodes = {
    vlc(0b10, 2, kInterpolated),
    vlc(0b11, 2, kInterpolated | kMbPattern),
    vlc(0b010, 3, kMbBackward),
    vlc(0b011, 3, kMbBackward | kMbPattern),
    vlc(0b0010, 4, kMbForward),
    vlc(0b0011, 4, kMbForward | kMbPattern),
    vlc(0b0001'10, 6, kMbBackward | kMbWeightCode),
    vlc(0b0001'11, 6, kMbBackward | kMbPattern | kMbWeightCode),
    vlc(0b0001'00, 6, kMbForward | kMbWeightCode),
    vlc(0b0001'01, 6, kMbForward | kMbPattern | kMbWeightCode),
    vlc(0b0000'110, 7, kMbIntra),
    vlc(0b0000'111, 7, kMbQuant | kInterpolated | kMbPattern),
    vlc(0b0000'100, 7, kMbQuant | kMbForward | kMbPattern),
    vlc(0b0000'101, 7, kMbQuant | kMbBackward | kMbPattern),
    vlc(0b0000'0100, 8, kMbQuant | kMbIntra),
    vlc(0b0000'0101, 8, kMbQuant | kMbForward | kMbPattern | kMbWeightCode),
    vlc(0b0000'0110'0, 9, kMbQuant | kMbBackward | kMbPattern | kMbWeightCode),
    vlc(0b0000'0111'0, 9, kMbSpatialOnly),
    vlc(0b0000'0110'1, 9, kMbQuant | kMbPattern | kMbSpatialOnly),
    vlc(0b0000'0111'1, 9, kMbPattern | kMbSpatialOnly),
};

// Table B-9.
constexpr std::array kCodedBlockPatternCodes = {
    vlc(0b111, 3, 60),         vlc(0b1101, 4, 4),         vlc(0b1100, 4, 8),
    vlc(0b1011, 4, 16),        vlc(0b1010, 4, 32),        vlc(0b1001'1, 5, 12),
    vlc(0b1001'0, 5, 48),      vlc(0b1000'1, 5, 20),      vlc(0b1000'0, 5, 40),
    vlc(0b0111'1, 5, 28),      vlc(0b0111'0, 5, 44),      vlc(0b0110'1, 5, 52),
    vlc(0b0110'0, 5, 56),      vlc(0b0101'1, 5, 1),       vlc(0b0101'0, 5, 61),
    vlc(0b0100'1, 5, 2),       vlc(0b0100'0, 5, 62),      vlc(0b0011'11, 6, 24),
    vlc(0b0011'10, 6, 36),     vlc(0b0011'01, 6, 3),      vlc(0b0011'00, 6, 63),
    vlc(0b0010'111, 7, 5),     vlc(0b0010'110, 7, 9),     vlc(0b0010'101, 7, 17),
    vlc(0b0010'100, 7, 33),    vlc(0b0010'011, 7, 6),     vlc(0b0010'010, 7, 10),
    vlc(0b0010'001, 7, 18),    vlc(0b0010'000, 7, 34),    vlc(0b0001'1111, 8, 7),
    vlc(0b0001'1110, 8, 11),   vlc(0b0001'1101, 8, 19),   vlc(0b0001'1100, 8, 35),
    vlc(0b0001'1011, 8, 13),   vlc(0b0001'1010, 8, 49),   vlc(0b0001'1001, 8, 21),
    vlc(0b0001'1000, 8, 41),   vlc(0b0001'0111, 8, 14),   vlc(0b0001'0110, 8, 50),
    vlc(0b0001'0101, 8, 22),   vlc(0b0001'0100, 8, 42),   vlc(0b0001'0011, 8, 15),
    vlc(0b0001'0010, 8, 51),   vlc(0b0001'0001, 8, 23),   vlc(0b0001'0000, 8, 43),
    vlc(0b0000'1111, 8, 25),   vlc(0b0000'1110, 8, 37),   vlc(0b0000'1101, 8, 26),
    vlc(0b0000'1100, 8, 38),   vlc(0b0000'1011, 8, 29),   vlc(0b0000'1010, 8, 45),
    vlc(0b0000'1001, 8, 53),   vlc(0b0000'1000, 8, 57),   vlc(0b0000'0111, 8, 30),
    vlc(0b0000'0110, 8, 46),   vlc(0b0000'0101, 8, 54),   vlc(0b0000'0100, 8, 58),
    vlc(0b0000'0011'1, 9, 31), vlc(0b0000'0011'0, 9, 47), vlc(0b0000'0010'1, 9, 55),
    vlc(0b0000'0010'0, 9, 59), vlc(0b0000'0001'1, 9, 27), vlc(0b0000'0001'0, 9, 39),
    vlc(0b0000'0000'1, 9, 0),
};

// Table B-12.
constexpr std::array kDcSizeLuminanceCodes = {
    vlc(0b100, 3, 0),       vlc(0b00, 2, 1),           vlc(0b01, 2, 2),
    vlc(0b101, 3, 3),       vlc(0b110, 3, 4),          vlc(0b1110, 4, 5),
    vlc(0b1111'0, 5, 6),    vlc(0b1111'10, 6, 7),      vlc(0b1111'110, 7, 8),
    vlc(0b1111'1110, 8, 9), vlc(0b1111'1111'0, 9, 10), vlc(0b1111'1111'1, 9, 11),
};

// Table B-13.
constexpr std::array kDcSizeChrominanceCodes = {
    vlc(0b00, 2, 0),
    vlc(0b01, 2, 1),
    vlc(0b10, 2, 2),
    vlc(0b110, 3, 3),
    vlc(0b1110, 4, 4),
    vlc(0b1111'0, 5, 5),
    vlc(0b1111'10, 6, 6),
    vlc(0b1111'110, 7, 7),
    vlc(0b1111'1110, 8, 8),
    vlc(0b1111'1111'0, 9, 9),
    vlc(0b1111'1111'10, 10, 10),
    vlc(0b1111'1111'11, 10, 11),
};

// Table B-14, in full. The first coefficient of a non-intra block, "1s", is decoded apart.
constexpr std::array kDctCodesZero = {
    dct(0b10, 2, kEndOfBlock, 0),
    dct(0b11, 2, 0, 1),
    dct(0b011, 3, 1, 1),
    dct(0b0100, 4, 0, 2),
    dct(0b0101, 4, 2, 1),
    dct(0b0010'1, 5, 0, 3),
    dct(0b0011'1, 5, 3, 1),
    dct(0b0011'0, 5, 4, 1),
    dct(0b0001'10, 6, 1, 2),
    dct(0b0001'11, 6, 5, 1),
    dct(0b0001'01, 6, 6, 1),
    dct(0b0001'00, 6, 7, 1),
    dct(0b0000'110, 7, 0, 4),
    dct(0b0000'100, 7, 2, 2),
    dct(0b0000'111, 7, 8, 1),
    dct(0b0000'101, 7, 9, 1),
    dct(0b0000'01, 6, kEscape, 0),
    dct(0b0010'0110, 8, 0, 5),
    dct(0b0010'0001, 8, 0, 6),
    dct(0b0010'0101, 8, 1, 3),
    dct(0b0010'0100, 8, 3, 2),
    dct(0b0010'0111, 8, 10, 1),
    dct(0b0010'0011, 8, 11, 1),
    dct(0b0010'0010, 8, 12, 1),
    dct(0b0010'0000, 8, 13, 1),
    dct(0b0000'0010'10, 10, 0, 7),
    dct(0b0000'0011'00, 10, 1, 4),
    dct(0b0000'0010'11, 10, 2, 3),
    dct(0b0000'0011'11, 10, 4, 2),
    dct(0b0000'0010'01, 10, 5, 2),
    dct(0b0000'0011'10, 10, 14, 1),
    dct(0b0000'0011'01, 10, 15, 1),
    dct(0b0000'0010'00, 10, 16, 1),
    dct(0b0000'0001'1101, 12, 0, 8),
    dct(0b0000'0001'1000, 12, 0, 9),
    dct(0b0000'0001'0011, 12, 0, 10),
    dct(0b0000'0001'0000, 12, 0, 11),
    dct(0b0000'0001'1011, 12, 1, 5),
    dct(0b0000'0001'0100, 12, 2, 4),
    dct(0b0000'0001'1100, 12, 3, 3),
    dct(0b0000'0001'0010, 12, 4, 3),
    dct(0b0000'0001'1110, 12, 6, 2),
    dct(0b0000'0001'0101, 12, 7, 2),
    dct(0b0000'0001'0001, 12, 8, 2),
    dct(0b0000'0001'1111, 12, 17, 1),
    dct(0b0000'0001'1010, 12, 18, 1),
    dct(0b0000'0001'1001, 12, 19, 1),
    dct(0b0000'0001'0111, 12, 20, 1),
    dct(0b0000'0001'0110, 12, 21, 1),
    dct(0b0000'0000'1101'0, 13, 0, 12),
    dct(0b0000'0000'1100'1, 13, 0, 13),
    dct(0b0000'0000'1100'0, 13, 0, 14),
    dct(0b0000'0000'1011'1, 13, 0, 15),
    dct(0b0000'0000'1011'0, 13, 1, 6),
    dct(0b0000'0000'1010'1, 13, 1, 7),
    dct(0b0000'0000'1010'0, 13, 2, 5),
    dct(0b0000'0000'1001'1, 13, 3, 4),
    dct(0b0000'0000'1001'0, 13, 5, 3),
    dct(0b0000'0000'1000'1, 13, 9, 2),
    dct(0b0000'0000'1000'0, 13, 10, 2),
    dct(0b0000'0000'1111'1, 13, 22, 1),
    dct(0b0000'0000'1111'0, 13, 23, 1),
    dct(0b0000'0000'1110'1, 13, 24, 1),
    dct(0b0000'0000'1110'0, 13, 25, 1),
    dct(0b0000'0000'1101'1, 13, 26, 1),
    dct(0b0000'0000'0111'11, 14, 0, 16),
    dct(0b0000'0000'0111'10, 14, 0, 17),
    dct(0b0000'0000'0111'01, 14, 0, 18),
    dct(0b0000'0000'0111'00, 14, 0, 19),
    dct(0b0000'0000'0110'11, 14, 0, 20),
    dct(0b0000'0000'0110'10, 14, 0, 21),
    dct(0b0000'0000'0110'01, 14, 0, 22),
    dct(0b0000'0000'0110'00, 14, 0, 23),
    dct(0b0000'0000'0101'11, 14, 0, 24),
    dct(0b0000'0000'0101'10, 14, 0, 25),
    dct(0b0000'0000'0101'01, 14, 0, 26),
    dct(0b0000'0000'0101'00, 14, 0, 27),
    dct(0b0000'0000'0100'11, 14, 0, 28),
    dct(0b0000'0000'0100'10, 14, 0, 29),
    dct(0b0000'0000'0100'01, 14, 0, 30),
    dct(0b0000'0000'0100'00, 14, 0, 31),
    dct(0b0000'0000'0011'000, 15, 0, 32),
    dct(0b0000'0000'0010'111, 15, 0, 33),
    dct(0b0000'0000'0010'110, 15, 0, 34),
    dct(0b0000'0000'0010'101, 15, 0, 35),
    dct(0b0000'0000'0010'100, 15, 0, 36),
    dct(0b0000'0000'0010'011, 15, 0, 37),
    dct(0b0000'0000'0010'010, 15, 0, 38),
    dct(0b0000'0000'0010'001, 15, 0, 39),
    dct(0b0000'0000'0010'000, 15, 0, 40),
    dct(0b0000'0000'0011'111, 15, 1, 8),
    dct(0b0000'0000'0011'110, 15, 1, 9),
    dct(0b0000'0000'0011'101, 15, 1, 10),
    dct(0b0000'0000'0011'100, 15, 1, 11),
    dct(0b0000'0000'0011'011, 15, 1, 12),
    dct(0b0000'0000'0011'010, 15, 1, 13),
    dct(0b0000'0000'0011'001, 15, 1, 14),
    dct(0b0000'0000'0001'0011, 16, 1, 15),
    dct(0b0000'0000'0001'0010, 16, 1, 16),
    dct(0b0000'0000'0001'0001, 16, 1, 17),
    dct(0b0000'0000'0001'0000, 16, 1, 18),
    dct(0b0000'0000'0001'0100, 16, 6, 3),
    dct(0b0000'0000'0001'1010, 16, 11, 2),
    dct(0b0000'0000'0001'1001, 16, 12, 2),
    dct(0b0000'0000'0001'1000, 16, 13, 2),
    dct(0b0000'0000'0001'0111, 16, 14, 2),
    dct(0b0000'0000'0001'0110, 16, 15, 2),
    dct(0b0000'0000'0001'0101, 16, 16, 2),
    dct(0b0000'0000'0001'1111, 16, 27, 1),
    dct(0b0000'0000'0001'1110, 16, 28, 1),
    dct(0b0000'0000'0001'1101, 16, 29, 1),
    dct(0b0000'0000'0001'1100, 16, 30, 1),
    dct(0b0000'0000'0001'1011, 16, 31, 1),
};

// Table B-15 up to 13 bits; its longer codes are those of Table B-14.
constexpr std::array kDctCodesOne = {
    dct(0b0110, 4, kEndOfBlock, 0),
    dct(0b10, 2, 0, 1),
    dct(0b010, 3, 1, 1),
    dct(0b110, 3, 0, 2),
    dct(0b0010'1, 5, 2, 1),
    dct(0b0111, 4, 0, 3),
    dct(0b0011'1, 5, 3, 1),
    dct(0b0001'10, 6, 4, 1),
    dct(0b0011'0, 5, 1, 2),
    dct(0b0001'11, 6, 5, 1),
    dct(0b0000'110, 7, 6, 1),
    dct(0b0000'100, 7, 7, 1),
    dct(0b1110'0, 5, 0, 4),
    dct(0b0000'111, 7, 2, 2),
    dct(0b0000'101, 7, 8, 1),
    dct(0b1111'000, 7, 9, 1),
    dct(0b0000'01, 6, kEscape, 0),
    dct(0b1110'1, 5, 0, 5),
    dct(0b0001'01, 6, 0, 6),
    dct(0b1111'001, 7, 1, 3),
    dct(0b0010'0110, 8, 3, 2),
    dct(0b1111'010, 7, 10, 1),
    dct(0b0010'0001, 8, 11, 1),
    dct(0b0010'0101, 8, 12, 1),
    dct(0b0010'0100, 8, 13, 1),
    dct(0b0001'00, 6, 0, 7),
    dct(0b0010'0111, 8, 1, 4),
    dct(0b1111'1100, 8, 2, 3),
    dct(0b1111'1101, 8, 4, 2),
    dct(0b0000'0010'0, 9, 5, 2),
    dct(0b0000'0010'1, 9, 14, 1),
    dct(0b0000'0011'1, 9, 15, 1),
    dct(0b0000'0011'01, 10, 16, 1),
    dct(0b1111'011, 7, 0, 8),
    dct(0b1111'100, 7, 0, 9),
    dct(0b0010'0011, 8, 0, 10),
    dct(0b0010'0010, 8, 0, 11),
    dct(0b0010'0000, 8, 1, 5),
    dct(0b0000'0011'00, 10, 2, 4),
    dct(0b0000'0001'1100, 12, 3, 3),
    dct(0b0000'0001'0010, 12, 4, 3),
    dct(0b0000'0001'1110, 12, 6, 2),
    dct(0b0000'0001'0101, 12, 7, 2),
    dct(0b0000'0001'0001, 12, 8, 2),
    dct(0b0000'0001'1111, 12, 17, 1),
    dct(0b0000'0001'1010, 12, 18, 1),
    dct(0b0000'0001'1001, 12, 19, 1),
    dct(0b0000'0001'0111, 12, 20, 1),
    dct(0b0000'0001'0110, 12, 21, 1),
    dct(0b1111'1010, 8, 0, 12),
    dct(0b1111'1011, 8, 0, 13),
    dct(0b1111'1110, 8, 0, 14),
    dct(0b1111'1111, 8, 0, 15),
    dct(0b0000'0000'1011'0, 13, 1, 6),
    dct(0b0000'0000'1010'1, 13, 1, 7),
    dct(0b0000'0000'1010'0, 13, 2, 5),
    dct(0b0000'0000'1001'1, 13, 3, 4),
    dct(0b0000'0000'1001'0, 13, 5, 3),
    dct(0b0000'0000'1000'1, 13, 9, 2),
    dct(0b0000'0000'1000'0, 13, 10, 2),
    dct(0b0000'0000'1111'1, 13, 22, 1),
    dct(0b0000'0000'1111'0, 13, 23, 1),
    dct(0b0000'0000'1110'1, 13, 24, 1),
    dct(0b0000'0000'1110'0, 13, 25, 1),
    dct(0b0000'0000'1101'1, 13, 26, 1),
};

constexpr std::array kMacroblockTypeI = make_lookup<VlcEntry, 4>(kMacroblockTypeICodes, 2, 0);
constexpr std::array kMacroblockTypeP = make_lookup<VlcEntry, 64>(kMacroblockTypePCodes, 6, 0);
constexpr std::array kMacroblockTypeB = make_lookup<VlcEntry, 64>(kMacroblockTypeBCodes, 6, 0);
constexpr std::array kMacroblockTypeD = make_lookup<VlcEntry, 2>(kMacroblockTypeDCodes, 1, 0);
constexpr std::array kSpatialMacroblockTypeI =
    make_lookup<VlcEntry, 16>(kSpatialMacroblockTypeICodes, 4, 0);
constexpr std::array kSpatialMacroblockTypeP =
    make_lookup<VlcEntry, 128>(kSpatialMacroblockTypePCodes, 7, 0);
constexpr std::array kSpatialMacroblockTypeB =
    make_lookup<VlcEntry, 512>(kSpatialMacroblockTypeBCodes, 9, 0);

}  // namespace

constexpr std::array<VlcEntry, 30> kAddressIncrementShort =
    make_lookup<VlcEntry, 30>(kAddressIncrementCodes, 5, kAddressIncrementShortFirst);
constexpr std::array<VlcEntry, 104> kAddressIncrementLong =
    make_lookup<VlcEntry, 104>(kAddressIncrementCodes, 11, kAddressIncrementLongFirst);

constexpr std::array<VlcLookup, 4> kMacroblockTypeTables = {{
    {kMacroblockTypeI.data(), 2},
    {kMacroblockTypeP.data(), 6},
    {kMacroblockTypeB.data(), 6},
    {kMacroblockTypeD.data(), 1},
}};

constexpr std::array<VlcLookup, 3> kSpatialMacroblockTypeTables = {{
    {kSpatialMacroblockTypeI.data(), 4},
    {kSpatialMacroblockTypeP.data(), 7},
    {kSpatialMacroblockTypeB.data(), 9},
}};

constexpr std::array<VlcEntry, 24> kCodedBlockPattern5 =
    make_lookup<VlcEntry, 24>(kCodedBlockPatternCodes, 5, kCodedBlockPatternFirst5);
constexpr std::array<VlcEntry, 60> kCodedBlockPattern8 =
    make_lookup<VlcEntry, 60>(kCodedBlockPatternCodes, 8, kCodedBlockPatternFirst8);
constexpr std::array<VlcEntry, 8> kCodedBlockPattern9 =
    make_lookup<VlcEntry, 8>(kCodedBlockPatternCodes, 9, 0);

constexpr std::array<VlcEntry, 31> kDcSizeLuminance5 =
    make_lookup<VlcEntry, 31>(kDcSizeLuminanceCodes, 5, 0);
constexpr std::array<VlcEntry, 16> kDcSizeLuminance9 =
    make_lookup<VlcEntry, 16>(kDcSizeLuminanceCodes, 9, kDcSizeLuminanceLongFirst);
constexpr std::array<VlcEntry, 31> kDcSizeChrominance5 =
    make_lookup<VlcEntry, 31>(kDcSizeChrominanceCodes, 5, 0);
constexpr std::array<VlcEntry, 32> kDcSizeChrominance10 =
    make_lookup<VlcEntry, 32>(kDcSizeChrominanceCodes, 10, kDcSizeChrominanceLongFirst);

constexpr DctCoefficientTable kDctCoefficientsZero = {
    make_lookup<DctCode, 252>(kDctCodesZero, 8, kDctShortFirst),
    make_lookup<DctCode, 112>(kDctCodesZero, 13, kDctMediumFirst),
};
constexpr DctCoefficientTable kDctCoefficientsOne = {
    make_lookup<DctCode, 252>(kDctCodesOne, 8, kDctShortFirst),
    make_lookup<DctCode, 112>(kDctCodesOne, 13, kDctMediumFirst),
};
constexpr std::array<DctCode, 112> kDctLongCodes =
    make_lookup<DctCode, 112>(kDctCodesZero, 16, kDctLongFirst);

}  // namespace tavik
