// The Bitrate and VBV buffer figures of a long stream, for the charts' benchmarks: 25 pictures
// a second, 20 Mbit/s on average, in a buffer of 9.8 Mbit.
#pragma once

#include <algorithm>
#include <cstdint>

#include "timing/bitrate.h"
#include "timing/vbv_model.h"

namespace tavik::bench {

struct LongTiming {
  BitrateReport bitrate;
  VbvReport vbv;
};

inline LongTiming make_long_timing(int pictures) {
  LongTiming t;
  t.vbv.buffer_size_bits = 9781248;
  t.vbv.bit_rate = 20000000;
  double level = 8000000;
  for (int i = 0; i < pictures; ++i) {
    const double time = i / 25.0;
    const int64_t bits = 200000 + int64_t(i) * 7919 % 1200000;
    t.vbv.pictures.push_back({i, 1 + i % 3, time, bits, level, level - double(bits)});
    level = std::min(level - double(bits) + 800000, 9781248.0);
    t.bitrate.moving.push_back(
        {i, std::max(0.0, time - 5), std::min(time, 5.0) + 0.04, bits * 25, double(bits) / 40});
    if (i % 25 == 0) t.bitrate.per_second.push_back({i / 25, time, 1, bits * 25, bits / 40.0});
  }
  return t;
}

}  // namespace tavik::bench
