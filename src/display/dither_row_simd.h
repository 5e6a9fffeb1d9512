// The vector row kernels of the dither, written once for any vector width. A kernel file
// defines TAVIK_SIMD_TARGET (the target attribute of its instruction set) and a vector type V,
// then includes this file inside its own anonymous namespace:
//   V::Reg, V::kBytes (16-byte lanes: 2 or 4), load, broadcast (16 bytes to every lane), set1,
//   bit_xor, bit_and, avg, adds, subs, add, srli16, shuffle (within lanes), unpack_low,
//   unpack_high, unpack_order (quadwords arranged so that the in-lane interleaves give pixels in
//   order), store, stream (aligned to kBytes) and stream_halves (aligned to kBytes / 2).
//
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

// The per-pixel and per-sample addends of one matrix row, 16 bytes repeated over a vector (the
// matrix repeats every 4 pixels).
struct alignas(16) RowConstants {
  // d + 8 by pixel.
  uint8_t luma_add[16];
  // 2d by pixel, for a chroma sample per pixel.
  uint8_t own_chroma_add[16];
  // 2 * the smaller d of the two pixels, for a chroma sample per two pixels.
  uint8_t shared_chroma_add[16];
  // Whether the first pixel of each pair has the larger offset.
  int first_larger;
};

[[nodiscard]] constexpr RowConstants make_row_constants(int row) {
  const uint8_t* const d = kDitherMatrix[row];
  RowConstants constants{};
  for (int i = 0; i < 16; ++i) {
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

// How a row's vectors reach the image. Streamed stores bypass the caches: the images are
// written once per picture and read much later, so fetching their old contents first would only
// cost. They need rows on whole-vector boundaries, or half-vector ones (halves).
enum class StoreKind { kCached, kStreamedHalves, kStreamed };

[[nodiscard]] inline StoreKind store_kind(const uint8_t* out) {
  const uintptr_t address = reinterpret_cast<uintptr_t>(out);
  if (address % V::kBytes == 0) return StoreKind::kStreamed;
  return address % (V::kBytes / 2) == 0 ? StoreKind::kStreamedHalves : StoreKind::kCached;
}

using Reg = V::Reg;

// The registers one row works with.
struct RowState {
  Reg luma_add;
  Reg chroma_add;
  Reg cb_first;
  Reg cr_first;
  Reg cb_second;
  Reg cr_second;
  StoreKind store;
};

template <int kChromaShift>
TAVIK_SIMD_TARGET inline RowState row_state(int matrix_row, const uint8_t* out) {
  const RowConstants& constants = kRowConstants[matrix_row & 3];
  const int first = kChromaShift == 1 ? constants.first_larger : 0;
  return {V::broadcast(constants.luma_add),
          V::broadcast(kChromaShift == 1 ? constants.shared_chroma_add : constants.own_chroma_add),
          V::broadcast(kChromaTables.cb[first]),
          V::broadcast(kChromaTables.cr[first]),
          V::broadcast(kChromaTables.cb[1 - first]),
          V::broadcast(kChromaTables.cr[1 - first]),
          store_kind(out)};
}

// A vector of pixels: the luma level minus 1, in the high nibble, low nibble clear.
template <bool kInterpolated>
TAVIK_SIMD_TARGET inline Reg luma_nibble(const uint8_t* luma_a, const uint8_t* luma_b,
                                         Reg luma_add) {
  Reg r;
  if constexpr (kInterpolated) {
    const Reg ones = V::set1(-1);
    const Reg inverted_mean =
        V::avg(V::bit_xor(V::load(luma_a), ones), V::bit_xor(V::load(luma_b), ones));
    r = V::subs(V::set1(static_cast<char>(223)), V::subs(inverted_mean, luma_add));
  } else {
    r = V::subs(V::adds(V::load(luma_a), luma_add), V::set1(32));
  }
  return V::bit_and(r, V::set1(static_cast<char>(0xF0)));
}

// The chroma table index of a vector of samples.
TAVIK_SIMD_TARGET inline Reg chroma_index(Reg samples, Reg chroma_add) {
  return V::bit_and(V::srli16(V::adds(samples, chroma_add), 4), V::set1(15));
}

TAVIK_SIMD_TARGET inline Reg chroma_bits(const RowState& s, Reg cb_index, Reg cr_index,
                                         bool second) {
  return V::add(V::shuffle(second ? s.cb_second : s.cb_first, cb_index),
                V::shuffle(second ? s.cr_second : s.cr_first, cr_index));
}

// A vector of output pixels: luma levels plus their chroma bits.
template <bool kInterpolated>
TAVIK_SIMD_TARGET inline void put_pixels(const RowState& s, const uint8_t* luma_a,
                                         const uint8_t* luma_b, Reg chroma, uint8_t* out) {
  const Reg pixels = V::add(luma_nibble<kInterpolated>(luma_a, luma_b, s.luma_add), chroma);
  switch (s.store) {
    case StoreKind::kStreamed:
      V::stream(out, pixels);
      break;
    case StoreKind::kStreamedHalves:
      V::stream_halves(out, pixels);
      break;
    case StoreKind::kCached:
      V::store(out, pixels);
      break;
  }
}

// One step: two vectors of pixels on one vector of chroma samples, or one vector of pixels on
// their own samples.
template <bool kInterpolated, int kChromaShift>
TAVIK_SIMD_TARGET inline void dither_step(const RowState& s, const uint8_t* luma_a,
                                          const uint8_t* luma_b, const uint8_t* cb,
                                          const uint8_t* cr, uint8_t* out) {
  if constexpr (kChromaShift == 1) {
    const Reg cb_index = chroma_index(V::unpack_order(V::load(cb)), s.chroma_add);
    const Reg cr_index = chroma_index(V::unpack_order(V::load(cr)), s.chroma_add);
    const Reg first = chroma_bits(s, cb_index, cr_index, false);
    const Reg second = chroma_bits(s, cb_index, cr_index, true);
    put_pixels<kInterpolated>(s, luma_a, luma_b, V::unpack_low(first, second), out);
    put_pixels<kInterpolated>(s, luma_a + V::kBytes, luma_b + V::kBytes,
                              V::unpack_high(first, second), out + V::kBytes);
  } else {
    const Reg chroma = chroma_bits(s, chroma_index(V::load(cb), s.chroma_add),
                                   chroma_index(V::load(cr), s.chroma_add), false);
    put_pixels<kInterpolated>(s, luma_a, luma_b, chroma, out);
  }
}

// The pixels from x on, past the whole steps. A last step that ends at the row's end and starts
// on a whole group of 4 pixels rewrites some pixels with the same values; otherwise the rest
// goes through padded copies, in which columns past the chroma lines reuse the last sample.
template <bool kInterpolated, int kChromaShift>
TAVIK_SIMD_TARGET __attribute__((noinline)) void dither_rest(RowState s, const DitherRow& row,
                                                             int x) {
  constexpr int kSamples = V::kBytes;
  constexpr int kStep = kSamples << kChromaShift;
  s.store = StoreKind::kCached;
  const int last = row.width - kStep;
  if (last >= 0 && last % 4 == 0 && (last >> kChromaShift) + kSamples <= row.chroma_width) {
    const int c = last >> kChromaShift;
    dither_step<kInterpolated, kChromaShift>(s, row.luma_a + last, row.luma_b + last, row.cb + c,
                                             row.cr + c, row.out + last);
    return;
  }
  for (; x < row.width; x += kStep) {
    uint8_t luma_a[kStep] = {};
    uint8_t luma_b[kStep] = {};
    uint8_t cb[kSamples];
    uint8_t cr[kSamples];
    uint8_t out[kStep];
    const int count = std::min(kStep, row.width - x);
    std::memcpy(luma_a, row.luma_a + x, count);
    if constexpr (kInterpolated) std::memcpy(luma_b, row.luma_b + x, count);
    for (int i = 0; i < kSamples; ++i) {
      const int c = std::min((x >> kChromaShift) + i, row.chroma_width - 1);
      cb[i] = row.cb[c];
      cr[i] = row.cr[c];
    }
    dither_step<kInterpolated, kChromaShift>(s, luma_a, luma_b, cb, cr, out);
    std::memcpy(row.out + x, out, count);
  }
}

template <bool kInterpolated, int kChromaShift>
TAVIK_SIMD_TARGET inline void dither_row(const DitherRow& row) {
  constexpr int kStep = V::kBytes << kChromaShift;
  RowState s = row_state<kChromaShift>(row.matrix_row, row.out);
  // The row's tail is written with ordinary stores over pixels the whole steps wrote; mixing
  // those with streamed stores to the same cache lines stalls, so such rows stay in the cache.
  if (row.width % kStep != 0) s.store = StoreKind::kCached;
  const uint8_t* const luma_a = row.luma_a;
  const uint8_t* const luma_b = row.luma_b;
  const uint8_t* const cb = row.cb;
  const uint8_t* const cr = row.cr;
  uint8_t* const out = row.out;
  const int whole_end = std::min(row.width / kStep, row.chroma_width / V::kBytes) * kStep;
  int x = 0;
  for (; x < whole_end; x += kStep) {
    dither_step<kInterpolated, kChromaShift>(s, luma_a + x, luma_b + x, cb + (x >> kChromaShift),
                                             cr + (x >> kChromaShift), out + x);
  }
  if (x < row.width) dither_rest<kInterpolated, kChromaShift>(s, row, x);
}

template <int kChromaShift>
TAVIK_SIMD_TARGET void simd_rows(const DitherTables& /*tables*/, std::span<const DitherRow> rows) {
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

constexpr DitherKernels kSimdKernels = {{simd_rows<0>, simd_rows<1>}};
