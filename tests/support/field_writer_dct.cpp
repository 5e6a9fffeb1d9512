#include "support/field_writer_dct.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tavik::test::field_writer {

const std::array<uint8_t, 64> kZigzag = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

namespace {

constexpr std::array<int, 64> kDefaultIntraMatrix = {
    8,  16, 19, 22, 26, 27, 29, 34, 16, 16, 22, 24, 27, 29, 34, 37, 19, 22, 26, 27, 29, 34,
    34, 38, 22, 22, 26, 27, 29, 34, 37, 40, 22, 26, 27, 29, 32, 35, 40, 48, 26, 27, 29, 32,
    35, 40, 48, 58, 26, 27, 29, 34, 38, 46, 56, 69, 27, 29, 35, 38, 46, 56, 69, 83};
constexpr int kNonIntraWeight = 16;
constexpr int kIntraDcMult = 8;

// basis[u][x] = C(u) / 2 * cos((2x + 1) u pi / 16)
const std::array<std::array<double, 8>, 8>& dct_basis() {
  static const auto basis = [] {
    std::array<std::array<double, 8>, 8> table{};
    for (int u = 0; u < 8; ++u) {
      const double scale = u == 0 ? std::numbers::sqrt2 / 4 : 0.5;
      for (int x = 0; x < 8; ++x) {
        table[size_t(u)][size_t(x)] = scale * std::cos((2 * x + 1) * u * std::numbers::pi / 16);
      }
    }
    return table;
  }();
  return basis;
}

int weight(bool intra, int index) {
  return intra ? kDefaultIntraMatrix[size_t(index)] : kNonIntraWeight;
}

}  // namespace

RealBlock forward_dct(const IntBlock& samples) {
  const auto& basis = dct_basis();
  RealBlock rows{};
  for (int y = 0; y < 8; ++y) {
    for (int u = 0; u < 8; ++u) {
      double sum = 0;
      for (int x = 0; x < 8; ++x) sum += basis[size_t(u)][size_t(x)] * samples[size_t(y * 8 + x)];
      rows[size_t(y * 8 + u)] = sum;
    }
  }
  RealBlock result{};
  for (int v = 0; v < 8; ++v) {
    for (int u = 0; u < 8; ++u) {
      double sum = 0;
      for (int y = 0; y < 8; ++y) sum += basis[size_t(v)][size_t(y)] * rows[size_t(y * 8 + u)];
      result[size_t(v * 8 + u)] = sum;
    }
  }
  return result;
}

IntBlock inverse_dct(const IntBlock& coefficients) {
  const auto& basis = dct_basis();
  RealBlock columns{};
  for (int y = 0; y < 8; ++y) {
    for (int u = 0; u < 8; ++u) {
      double sum = 0;
      for (int v = 0; v < 8; ++v) {
        sum += basis[size_t(v)][size_t(y)] * coefficients[size_t(v * 8 + u)];
      }
      columns[size_t(y * 8 + u)] = sum;
    }
  }
  IntBlock result{};
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) {
      double sum = 0;
      for (int u = 0; u < 8; ++u) sum += basis[size_t(u)][size_t(x)] * columns[size_t(y * 8 + u)];
      result[size_t(y * 8 + x)] = std::clamp(int(std::lround(sum)), -256, 255);
    }
  }
  return result;
}

IntBlock quantise(const RealBlock& coefficients, bool intra, int quantiser_scale) {
  IntBlock levels{};
  for (int i = 0; i < 64; ++i) {
    const double f = coefficients[size_t(i)];
    if (intra && i == 0) {
      levels[0] = std::clamp(int(std::lround(f / kIntraDcMult)), 0, 255);
      continue;
    }
    const double step = double(weight(intra, i) * quantiser_scale) / 16;
    // Intra levels round to nearest; non-intra reconstruction points sit at (n + 1/2) steps,
    // so truncation picks the nearest one and leaves a dead zone around zero.
    const double magnitude =
        intra ? std::round(std::abs(f) / step) : std::floor(std::abs(f) / step);
    const int level = std::min(int(magnitude), 2047);
    levels[size_t(i)] = f < 0 ? -level : level;
  }
  return levels;
}

IntBlock dequantise(const IntBlock& levels, bool intra, int quantiser_scale) {
  IntBlock result{};
  int sum = 0;
  for (int i = 0; i < 64; ++i) {
    const int level = levels[size_t(i)];
    int value = 0;
    if (intra && i == 0) {
      value = level * kIntraDcMult;
    } else if (level != 0) {
      const int k = intra ? 0 : (level > 0 ? 1 : -1);
      value = ((2 * level + k) * weight(intra, i) * quantiser_scale) / 32;
    }
    value = std::clamp(value, -2048, 2047);
    result[size_t(i)] = value;
    sum += value;
  }
  if ((sum & 1) == 0) result[63] += (result[63] & 1) != 0 ? -1 : 1;
  return result;
}

}  // namespace tavik::test::field_writer
