#pragma once

#include <cstdint>

namespace tavik {

// Inverse DCT and put of an intra block whose only coefficients are the DC and, from the
// mismatch control, last (-1, 0 or 1) at the last position: the results of inverse_dct and
// put_block, without the transform. Such blocks make up most intra blocks of flat pictures.
void put_dc_block(int dc, int last, uint8_t* dst, int stride);

}  // namespace tavik
