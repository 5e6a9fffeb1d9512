#include "decoder/dsp/dsp.h"

#include "decoder/dsp/block_store.h"
#include "decoder/dsp/idct.h"
#include "decoder/dsp/prediction_kernels.h"

namespace tavik {

unsigned detect_cpu_features() {
  unsigned features = 0;
#if defined(__x86_64__) || defined(__i386__)
  __builtin_cpu_init();
  if (__builtin_cpu_supports("sse2")) features |= kCpuSse2;
  if (__builtin_cpu_supports("avx2")) features |= kCpuAvx2;
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw")) {
    features |= kCpuAvx512;
  }
#endif
  return features;
}

DspKernels make_dsp_kernels(unsigned cpu_features) {
  DspKernels kernels{};
  kernels.idct = inverse_dct;
  kernels.put_block = put_block;
  kernels.add_block = add_block;
  set_plain_prediction_kernels(kernels.predict);
#if defined(__SSE2__)
  if (cpu_features & kCpuSse2) {
    kernels.idct = inverse_dct_sse2;
    kernels.put_block = put_block_sse2;
    kernels.add_block = add_block_sse2;
    set_sse2_prediction_kernels(kernels.predict);
  }
#endif
#if defined(__x86_64__) || defined(__i386__)
  if (cpu_features & kCpuAvx2) kernels.idct = inverse_dct_avx2;
#endif
  return kernels;
}

const DspKernels& dsp_kernels() {
  static const DspKernels kernels = make_dsp_kernels(detect_cpu_features());
  return kernels;
}

}  // namespace tavik
