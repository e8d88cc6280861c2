// The colour and hue range loops for the x86-64 baseline (SSE2).
#include "mask/mask_kernels.h"

namespace qrn::mask::detail {

bool colour_range_sse2(const ColourRangeJob& job) {
#if defined(__SSE2__)
    colour_range_lanes<4>(job);
    return true;
#else
    (void)job;
    return false;
#endif
}

bool hue_range_sse2(const HueRangeJob& job) {
#if defined(__SSE2__)
    hue_range_lanes<4>(job);
    return true;
#else
    (void)job;
    return false;
#endif
}

}  // namespace qrn::mask::detail
