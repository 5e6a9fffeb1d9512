#if defined(__x86_64__) || defined(__i386__)

#include "display/dither_row_avx2.h"

#include <immintrin.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

// Compiled for AVX2 function by function, so that the rest of the program runs on any x86-64;
// dither_kernels_for chooses these kernels only when the CPU has AVX2.
#define TAVIK_AVX2 __attribute__((target("avx2")))

namespace tavik {
namespace {

// The levels without look-ups, in saturating byte arithmetic.
//
// Luma: the level clamp((Y + d - 8) >> 4, 1, 14) is 1 + the high nibble of
// r = sat(sat(Y + d + 8) - 32): the upper saturation only happens where the level is 14 anyway,
// the lower one where it is 1. Interpolated rows take the floored mean of two lines as
// 255 - avg(~a, ~b), which turns the same r into sat(223 - sat(avg(~a, ~b) - (d + 8))).
//
// Chroma: the level clamp(((C >> 1) + d - 40) >> 4, 0, 3) equals clamp(((i - 5) >> 1), 0, 3)
// with i = sat(C + 2d) >> 4, a 16-entry look-up (the saturated sums all give level 3). The two
// pixels sharing a chroma sample have offsets 8 apart, so the one with the larger offset reads
// the same table at i + 1: one index per sample serves both.

// Level look-ups by i, for the pixel with the smaller offset [0] and the larger one [1]. The Cb
// tables carry the 16 that lifts the luma level from r's nibble to 1..14.
struct alignas(16) ChromaTables {
  uint8_t cb[2][16];
  uint8_t cr[2][16];
};

[[nodiscard]] constexpr int chroma_level(int index) {
  return std::clamp((index - 5) >> 1, 0, 3);
}

[[nodiscard]] constexpr ChromaTables make_chroma_tables() {
  ChromaTables tables{};
  for (int step = 0; step < 2; ++step) {
    for (int i = 0; i < 16; ++i) {
      const int level = chroma_level(i + step);
      tables.cb[step][i] = static_cast<uint8_t>(16 + (level << 2));
      tables.cr[step][i] = static_cast<uint8_t>(level);
    }
  }
  return tables;
}

constexpr ChromaTables kChromaTables = make_chroma_tables();

// The per-pixel and per-sample addends of one matrix row, repeated over a vector.
struct alignas(32) RowConstants {
  // d + 8 by pixel.
  uint8_t luma_add[32];
  // 2d by pixel, for a chroma sample per pixel.
  uint8_t own_chroma_add[32];
  // 2 * the smaller d of the two pixels, for a chroma sample per two pixels.
  uint8_t shared_chroma_add[32];
  // Whether the first pixel of each pair has the larger offset.
  int first_larger;
};

[[nodiscard]] constexpr RowConstants make_row_constants(int row) {
  const uint8_t* const d = kDitherMatrix[row];
  RowConstants constants{};
  for (int i = 0; i < 32; ++i) {
    constants.luma_add[i] = static_cast<uint8_t>(d[i & 3] + 8);
    constants.own_chroma_add[i] = static_cast<uint8_t>(2 * d[i & 3]);
    const int pair = 2 * (i & 1);
    constants.shared_chroma_add[i] = static_cast<uint8_t>(2 * std::min(d[pair], d[pair + 1]));
  }
  constants.first_larger = d[0] > d[1] ? 1 : 0;
  return constants;
}

// The shared-sample scheme needs, in every row, both pairs 8 apart and ordered alike.
[[nodiscard]] constexpr bool pairs_are_eight_apart_and_alike(int row) {
  const uint8_t* const d = kDitherMatrix[row];
  return d[1] - d[0] == d[3] - d[2] && (d[1] - d[0] == 8 || d[0] - d[1] == 8);
}
static_assert(pairs_are_eight_apart_and_alike(0) && pairs_are_eight_apart_and_alike(1) &&
              pairs_are_eight_apart_and_alike(2) && pairs_are_eight_apart_and_alike(3));

constexpr std::array<RowConstants, 4> kRowConstants = {
    make_row_constants(0), make_row_constants(1), make_row_constants(2), make_row_constants(3)};

TAVIK_AVX2 inline __m256i load(const uint8_t* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

TAVIK_AVX2 inline __m256i load_table(const uint8_t* table) {
  return _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(table)));
}

// How a row's vectors reach the image. Streamed stores bypass the caches: the images are
// written once per picture and read much later, so fetching their old contents first would only
// cost. They need rows on 32-byte boundaries (whole vectors) or 16-byte ones (halves).
enum class StoreKind { kCached, kStreamedHalves, kStreamed };

[[nodiscard]] inline StoreKind store_kind(const uint8_t* out) {
  const uintptr_t address = reinterpret_cast<uintptr_t>(out);
  if (address % 32 == 0) return StoreKind::kStreamed;
  return address % 16 == 0 ? StoreKind::kStreamedHalves : StoreKind::kCached;
}

// The registers one row works with.
struct RowState {
  __m256i luma_add;
  __m256i chroma_add;
  __m256i cb_first;
  __m256i cr_first;
  __m256i cb_second;
  __m256i cr_second;
  StoreKind store;
};

template <int kChromaShift>
TAVIK_AVX2 inline RowState row_state(int matrix_row, const uint8_t* out) {
  const RowConstants& constants = kRowConstants[matrix_row & 3];
  const int first = kChromaShift == 1 ? constants.first_larger : 0;
  return {load(constants.luma_add),
          load(kChromaShift == 1 ? constants.shared_chroma_add : constants.own_chroma_add),
          load_table(kChromaTables.cb[first]),
          load_table(kChromaTables.cr[first]),
          load_table(kChromaTables.cb[1 - first]),
          load_table(kChromaTables.cr[1 - first]),
          store_kind(out)};
}

// 32 pixels: the luma level minus 1, in the high nibble, low nibble clear.
template <bool kInterpolated>
TAVIK_AVX2 inline __m256i luma_nibble(const uint8_t* luma_a, const uint8_t* luma_b,
                                      __m256i luma_add) {
  __m256i r;
  if constexpr (kInterpolated) {
    const __m256i ones = _mm256_set1_epi8(-1);
    const __m256i inverted_mean =
        _mm256_avg_epu8(_mm256_xor_si256(load(luma_a), ones), _mm256_xor_si256(load(luma_b), ones));
    r = _mm256_subs_epu8(_mm256_set1_epi8(static_cast<char>(223)),
                         _mm256_subs_epu8(inverted_mean, luma_add));
  } else {
    r = _mm256_subs_epu8(_mm256_adds_epu8(load(luma_a), luma_add), _mm256_set1_epi8(32));
  }
  return _mm256_and_si256(r, _mm256_set1_epi8(static_cast<char>(0xF0)));
}

// The chroma table index of 32 samples.
TAVIK_AVX2 inline __m256i chroma_index(__m256i samples, __m256i chroma_add) {
  return _mm256_and_si256(_mm256_srli_epi16(_mm256_adds_epu8(samples, chroma_add), 4),
                          _mm256_set1_epi8(15));
}

TAVIK_AVX2 inline __m256i chroma_bits(const RowState& s, __m256i cb_index, __m256i cr_index,
                                      bool second) {
  return _mm256_add_epi8(_mm256_shuffle_epi8(second ? s.cb_second : s.cb_first, cb_index),
                         _mm256_shuffle_epi8(second ? s.cr_second : s.cr_first, cr_index));
}

// 32 output pixels: luma levels plus their chroma bits.
template <bool kInterpolated>
TAVIK_AVX2 inline void put_pixels(const RowState& s, const uint8_t* luma_a, const uint8_t* luma_b,
                                  __m256i chroma, uint8_t* out) {
  const __m256i pixels =
      _mm256_add_epi8(luma_nibble<kInterpolated>(luma_a, luma_b, s.luma_add), chroma);
  switch (s.store) {
    case StoreKind::kStreamed:
      _mm256_stream_si256(reinterpret_cast<__m256i*>(out), pixels);
      break;
    case StoreKind::kStreamedHalves:
      _mm_stream_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(pixels));
      _mm_stream_si128(reinterpret_cast<__m128i*>(out + 16), _mm256_extracti128_si256(pixels, 1));
      break;
    case StoreKind::kCached:
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), pixels);
      break;
  }
}

// One step: 64 pixels on 32 chroma samples, or 32 pixels on their own 32 samples.
template <bool kInterpolated, int kChromaShift>
TAVIK_AVX2 inline void dither_step(const RowState& s, const uint8_t* luma_a, const uint8_t* luma_b,
                                   const uint8_t* cb, const uint8_t* cr, uint8_t* out) {
  if constexpr (kChromaShift == 1) {
    // Quadwords 0 2 1 3, so that the in-lane interleaves below give pixels in order.
    const __m256i cb_index = chroma_index(_mm256_permute4x64_epi64(load(cb), 0xD8), s.chroma_add);
    const __m256i cr_index = chroma_index(_mm256_permute4x64_epi64(load(cr), 0xD8), s.chroma_add);
    const __m256i first = chroma_bits(s, cb_index, cr_index, false);
    const __m256i second = chroma_bits(s, cb_index, cr_index, true);
    put_pixels<kInterpolated>(s, luma_a, luma_b, _mm256_unpacklo_epi8(first, second), out);
    put_pixels<kInterpolated>(s, luma_a + 32, luma_b + 32, _mm256_unpackhi_epi8(first, second),
                              out + 32);
  } else {
    const __m256i chroma = chroma_bits(s, chroma_index(load(cb), s.chroma_add),
                                       chroma_index(load(cr), s.chroma_add), false);
    put_pixels<kInterpolated>(s, luma_a, luma_b, chroma, out);
  }
}

// The pixels from x on, past the whole steps. A last step that ends at the row's end and starts
// on a whole group of 4 pixels rewrites some pixels with the same values; otherwise the rest
// goes through padded copies, in which columns past the chroma lines reuse the last sample.
template <bool kInterpolated, int kChromaShift>
TAVIK_AVX2 __attribute__((noinline)) void dither_rest(RowState s, const DitherRow& row, int x) {
  constexpr int kStep = 32 << kChromaShift;
  s.store = StoreKind::kCached;
  const int last = row.width - kStep;
  if (last >= 0 && last % 4 == 0 && (last >> kChromaShift) + 32 <= row.chroma_width) {
    const int c = last >> kChromaShift;
    dither_step<kInterpolated, kChromaShift>(s, row.luma_a + last, row.luma_b + last, row.cb + c,
                                             row.cr + c, row.out + last);
    return;
  }
  for (; x < row.width; x += kStep) {
    uint8_t luma_a[kStep] = {};
    uint8_t luma_b[kStep] = {};
    uint8_t cb[32];
    uint8_t cr[32];
    uint8_t out[kStep];
    const int count = std::min(kStep, row.width - x);
    std::memcpy(luma_a, row.luma_a + x, count);
    if constexpr (kInterpolated) std::memcpy(luma_b, row.luma_b + x, count);
    for (int i = 0; i < 32; ++i) {
      const int c = std::min((x >> kChromaShift) + i, row.chroma_width - 1);
      cb[i] = row.cb[c];
      cr[i] = row.cr[c];
    }
    dither_step<kInterpolated, kChromaShift>(s, luma_a, luma_b, cb, cr, out);
    std::memcpy(row.out + x, out, count);
  }
}

template <bool kInterpolated, int kChromaShift>
TAVIK_AVX2 inline void dither_row(const DitherRow& row) {
  constexpr int kStep = 32 << kChromaShift;
  RowState s = row_state<kChromaShift>(row.matrix_row, row.out);
  // The row's tail is written with ordinary stores over pixels the whole steps wrote; mixing
  // those with streamed stores to the same cache lines stalls, so such rows stay in the cache.
  if (row.width % kStep != 0) s.store = StoreKind::kCached;
  const uint8_t* const luma_a = row.luma_a;
  const uint8_t* const luma_b = row.luma_b;
  const uint8_t* const cb = row.cb;
  const uint8_t* const cr = row.cr;
  uint8_t* const out = row.out;
  const int whole_end = std::min(row.width / kStep, row.chroma_width / 32) * kStep;
  int x = 0;
  for (; x < whole_end; x += kStep) {
    dither_step<kInterpolated, kChromaShift>(s, luma_a + x, luma_b + x, cb + (x >> kChromaShift),
                                             cr + (x >> kChromaShift), out + x);
  }
  if (x < row.width) dither_rest<kInterpolated, kChromaShift>(s, row, x);
}

template <int kChromaShift>
TAVIK_AVX2 void avx2_rows(const DitherTables& /*tables*/, std::span<const DitherRow> rows) {
  for (const DitherRow& row : rows) {
    if (row.luma_a == row.luma_b) {
      dither_row<false, kChromaShift>(row);
    } else {
      dither_row<true, kChromaShift>(row);
    }
  }
  // The streamed stores reach memory before the images are handed over.
  _mm_sfence();
}

constexpr DitherKernels kAvx2Kernels = {{avx2_rows<0>, avx2_rows<1>}};

}  // namespace

const DitherKernels& avx2_dither_kernels() {
  return kAvx2Kernels;
}

}  // namespace tavik

#endif
