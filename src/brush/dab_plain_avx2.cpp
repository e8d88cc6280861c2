// The plain dab's vector loop built for AVX2 (the lanes of dab_lanes.h). Compiled with
// -mavx2 and called only after a run-time check of the processor.
#include "brush/dab_plain.h"

#if defined(__AVX2__)
#include "brush/dab_plain_kernel.h"

namespace qrn::brush::detail {

bool paint_plain_avx2(const PlainDab& p, const PlainRows& f) noexcept {
    plain_vector<Avx2>(p, f);
    return true;
}

}  // namespace qrn::brush::detail

#else

namespace qrn::brush::detail {

bool paint_plain_avx2(const PlainDab&, const PlainRows&) noexcept { return false; }

}  // namespace qrn::brush::detail

#endif
