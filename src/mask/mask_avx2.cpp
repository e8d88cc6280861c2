// The colour and hue range loops built for AVX2. Compiled with -mavx2 and called
// only after a run-time check of the processor.
#include "mask/mask_loops.h"

#if defined(__AVX2__)
#include "mask/mask_kernels.h"
#endif

namespace qrn::mask::detail {

bool colour_range_avx2(const ColourRangeJob& job) {
#if defined(__AVX2__)
    colour_range_lanes<8>(job);
    return true;
#else
    (void)job;
    return false;
#endif
}

bool hue_range_avx2(const HueRangeJob& job) {
#if defined(__AVX2__)
    hue_range_lanes<8>(job);
    return true;
#else
    (void)job;
    return false;
#endif
}

}  // namespace qrn::mask::detail
