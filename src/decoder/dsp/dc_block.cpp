#include "decoder/dsp/dc_block.h"

#include <algorithm>
#include <array>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "decoder/dsp/idct.h"

namespace tavik {

namespace {

// With only the DC d and the last coefficient t, every output of the transform is
// clip((d + Q[t][k]) >> 3): the row pass gives a constant 8d for the first row and a pattern
// of t alone for the last, so each column's result is its pattern plus 2048d, shifted by 14.
// Q is read off the transform itself: between d = 1023 and 1031 each output steps up once,
// where d + Q reaches a multiple of 8. The tables hold Q + 1024, which adds the 128 of a put.
struct DcOffsets {
  std::array<std::array<int16_t, 64>, 3> q{};  // by t + 1

  DcOffsets() {
    for (int t = -1; t <= 1; ++t) {
      std::array<std::array<int16_t, 64>, 10> out{};
      for (int d = 1022; d <= 1031; ++d) {
        std::array<int16_t, 64>& block = out[d - 1022];
        block.fill(0);
        block[0] = static_cast<int16_t>(d);
        block[63] = static_cast<int16_t>(t);
        inverse_dct(block.data());
      }
      for (int k = 0; k < 64; ++k) {
        for (int d = 1023; d <= 1031; ++d) {
          if (out[d - 1022][k] != out[d - 1023][k]) {
            q[t + 1][k] = static_cast<int16_t>(8 * out[d - 1022][k] - d + 1024);
            break;
          }
        }
      }
    }
  }
};

const DcOffsets kDcOffsets;

}  // namespace

void put_dc_block(int dc, int last, uint8_t* dst, int stride) {
  const int16_t* q = kDcOffsets.q[last + 1].data();
#if defined(__SSE2__)
  // dc + Q + 1024 stays within 16 bits.
  const __m128i d = _mm_set1_epi16(static_cast<int16_t>(dc));
  for (int row = 0; row < 8; ++row, dst += stride, q += 8) {
    const __m128i v =
        _mm_srai_epi16(_mm_add_epi16(d, _mm_loadu_si128(reinterpret_cast<const __m128i*>(q))), 3);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dst), _mm_packus_epi16(v, v));
  }
#else
  for (int row = 0; row < 8; ++row, dst += stride, q += 8) {
    for (int c = 0; c < 8; ++c) {
      dst[c] = static_cast<uint8_t>(std::clamp((dc + q[c]) >> 3, 0, 255));
    }
  }
#endif
}

}  // namespace tavik
