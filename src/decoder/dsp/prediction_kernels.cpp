#include "decoder/dsp/prediction_kernels.h"

#include <cstdint>

namespace tavik {
namespace {

template <bool kAverage, bool kWidth16, bool kVertical, bool kHorizontal>
struct PlainKernel {
  static void run(uint8_t* dst, const uint8_t* src, int lx, int lx2, int h) {
    constexpr int kWidth = kWidth16 ? 16 : 8;
    for (int row = 0; row < h; ++row, src += lx2, dst += lx2) {
      for (int i = 0; i < kWidth; ++i) {
        int p;
        if constexpr (kVertical && kHorizontal) {
          p = (src[i] + src[i + 1] + src[i + lx] + src[i + lx + 1] + 2) >> 2;
        } else if constexpr (kVertical) {
          p = (src[i] + src[i + lx] + 1) >> 1;
        } else if constexpr (kHorizontal) {
          p = (src[i] + src[i + 1] + 1) >> 1;
        } else {
          p = src[i];
        }
        if constexpr (kAverage) p = (dst[i] + p + 1) >> 1;
        dst[i] = static_cast<uint8_t>(p);
      }
    }
  }
};

}  // namespace

void set_plain_prediction_kernels(PredictTable& table) {
  fill_prediction_table<PlainKernel>(table);
}

}  // namespace tavik
