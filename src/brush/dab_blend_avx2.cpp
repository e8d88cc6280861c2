// The blend dab's vector loop built for AVX2 (the lanes of dab_lanes.h). Compiled
// with -mavx2 and called only after a run-time check of the processor.
#include "brush/dab_blend.h"

#if defined(__AVX2__)
#include "brush/dab_blend_kernel.h"

namespace qrn::brush::detail {

bool paint_blend_avx2(const BlendDab& p, const BlendRows& f) noexcept {
    blend_vector<Avx2>(p, f);
    return true;
}

}  // namespace qrn::brush::detail

#else

namespace qrn::brush::detail {

bool paint_blend_avx2(const BlendDab&, const BlendRows&) noexcept { return false; }

}  // namespace qrn::brush::detail

#endif
