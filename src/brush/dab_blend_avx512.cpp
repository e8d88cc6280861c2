// The blend dab's vector loop built for AVX-512 (the lanes of dab_lanes.h).
// Compiled with -mavx512f -mavx512bw and called only after a run-time check of
// the processor.
#include "brush/dab_blend.h"

#if defined(__AVX512BW__)
#include "brush/dab_blend_kernel.h"

namespace qrn::brush::detail {

bool paint_blend_avx512(const BlendDab& p, const BlendRows& f) noexcept {
    blend_vector<Avx512>(p, f);
    return true;
}

}  // namespace qrn::brush::detail

#else

namespace qrn::brush::detail {

bool paint_blend_avx512(const BlendDab&, const BlendRows&) noexcept { return false; }

}  // namespace qrn::brush::detail

#endif
