// The hue range loop built for AVX-512: sixteen lanes a step. Compiled with the
// AVX-512 flags and called only after a run-time check of the processor.
#include "mask/mask_loops.h"

#if defined(__AVX512F__) && defined(__AVX512BW__) && defined(__AVX512DQ__) && defined(__AVX512VL__)
#include "mask/mask_kernels.h"
#endif

namespace qrn::mask::detail {

bool hue_range_avx512(const HueRangeJob& job) {
#if defined(__AVX512F__) && defined(__AVX512BW__) && defined(__AVX512DQ__) && defined(__AVX512VL__)
    hue_range_lanes<16>(job);
    return true;
#else
    (void)job;
    return false;
#endif
}

}  // namespace qrn::mask::detail
