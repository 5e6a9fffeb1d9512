#pragma once

#include "display/dither_row.h"

namespace tavik {

// Row kernels for CPUs with AVX-512 BW (x86 builds only), bit-identical to the plain ones.
[[nodiscard]] const DitherKernels& avx512_dither_kernels();

}  // namespace tavik
