#pragma once

#include <cstddef>
#include <utility>

#include "decoder/dsp/dsp.h"

namespace tavik {

// The sixteen prediction kernels: copy, horizontal, vertical and two-way half-sample
// interpolation, written or averaged with the destination ((dst + p + 1) >> 1), 16 or 8 wide.
void set_plain_prediction_kernels(PredictTable& table);
#if defined(__SSE2__)
void set_sse2_prediction_kernels(PredictTable& table);
#endif

// Fills `table` with Kernel<average, width16, vertical, horizontal>::run for all sixteen.
template <template <bool, bool, bool, bool> class Kernel, size_t... kIndex>
void fill_prediction_table(PredictTable& table, std::index_sequence<kIndex...>) {
  ((table[kIndex >> 3][(kIndex >> 2) & 1][(kIndex >> 1) & 1][kIndex & 1] =
        &Kernel<(kIndex & 8) != 0, (kIndex & 4) != 0, (kIndex & 2) != 0, (kIndex & 1) != 0>::run),
   ...);
}

template <template <bool, bool, bool, bool> class Kernel>
void fill_prediction_table(PredictTable& table) {
  fill_prediction_table<Kernel>(table, std::make_index_sequence<16>{});
}

}  // namespace tavik
