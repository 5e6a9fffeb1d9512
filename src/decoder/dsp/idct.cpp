#include "decoder/dsp/idct.h"

#include <algorithm>

namespace tavik {
namespace {

// (181 * v + 128) >> 8, sqrt(2)/2 in 8 bits. Coefficients outside the standard's range can
// overflow the product; it wraps as 32-bit arithmetic does, the same in every version.
[[nodiscard]] int half_sqrt2(int v) {
  return static_cast<int32_t>(static_cast<uint32_t>(v) * 181u + 128u) >> 8;
}

[[nodiscard]] int16_t clip_sample(int v) {
  return static_cast<int16_t>(std::clamp(v, -256, 255));
}

// One 8-point pass over x[0], x[step], ..., x[7 * step]. The column pass works with 3 fewer
// bits in its products (rounded away) and its DC term carries the final rounding.
template <bool kColumn>
void idct_pass(int16_t* x, int step) {
  const int x0 = x[0];
  const int x1 = x[step];
  const int x2 = x[2 * step];
  const int x3 = x[3 * step];
  const int x4 = x[4 * step];
  const int x5 = x[5 * step];
  const int x6 = x[6 * step];
  const int x7 = x[7 * step];
  if ((x1 | x2 | x3 | x4 | x5 | x6 | x7) == 0) {
    const int16_t v = kColumn ? clip_sample((x0 + 32) >> 6) : static_cast<int16_t>(x0 * 8);
    for (int k = 0; k < 8; ++k) x[k * step] = v;
    return;
  }
  constexpr int kScale = kColumn ? 256 : 2048;
  constexpr int kBias = kColumn ? 32 * 256 : 128;
  constexpr int kRound = kColumn ? 4 : 0;
  constexpr int kShift = kColumn ? 3 : 0;

  const int a0 = x0 * kScale + kBias;
  const int a1 = x4 * kScale;

  int s = kW7 * (x1 + x7) + kRound;
  const int p4 = (s + (kW1 - kW7) * x1) >> kShift;
  const int p5 = (s - (kW1 + kW7) * x7) >> kShift;
  s = kW3 * (x5 + x3) + kRound;
  const int p6 = (s - (kW3 - kW5) * x5) >> kShift;
  const int p7 = (s - (kW3 + kW5) * x3) >> kShift;

  const int e0 = a0 + a1;
  const int e1 = a0 - a1;
  s = kW6 * (x2 + x6) + kRound;
  const int q2 = (s - (kW2 + kW6) * x6) >> kShift;
  const int q3 = (s + (kW2 - kW6) * x2) >> kShift;
  const int o1 = p4 + p6;
  const int o4 = p4 - p6;
  const int o6 = p5 + p7;
  const int o5 = p5 - p7;

  const int f7 = e0 + q3;
  const int f8 = e0 - q3;
  const int f3 = e1 + q2;
  const int f0 = e1 - q2;
  const int r2 = half_sqrt2(o4 + o5);
  const int r4 = half_sqrt2(o4 - o5);

  const int y[8] = {f7 + o1, f3 + r2, f0 + r4, f8 + o6, f8 - o6, f0 - r4, f3 - r2, f7 - o1};
  for (int k = 0; k < 8; ++k) {
    x[k * step] = kColumn ? clip_sample(y[k] >> 14) : static_cast<int16_t>(y[k] >> 8);
  }
}

}  // namespace

void inverse_dct(int16_t* block) {
  for (int row = 0; row < 8; ++row) idct_pass<false>(block + 8 * row, 1);
  for (int column = 0; column < 8; ++column) idct_pass<true>(block + column, 8);
}

}  // namespace tavik
