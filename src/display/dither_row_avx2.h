#pragma once

#include "display/dither_row.h"

namespace tavik {

// Row kernels for CPUs with AVX2 (x86 builds only), bit-identical to the plain ones.
[[nodiscard]] const DitherKernels& avx2_dither_kernels();

}  // namespace tavik
