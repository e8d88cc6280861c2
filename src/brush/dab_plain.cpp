// The plain dab: the SSE2 vector loop (x86-64 baseline), the AVX2 one where the
// processor has it, and the scalar formula for the rest. All three give the
// reference loop's words; the dab tests compare them.
#include "brush/dab_plain.h"

#include "brush/dab_plain_kernel.h"

namespace qrn::brush::detail {
namespace {

#ifdef QRN_DAB_SSE2

bool has_avx2() {
#if defined(__GNUC__)
    return __builtin_cpu_supports("avx2");
#else
    return false;
#endif
}

#endif

}  // namespace

void paint_plain(const PlainDab& p, const PlainRows& f) noexcept {
#ifdef QRN_DAB_SSE2
    // The vector loops take the opacity scale as a 16-bit factor of at most 128.
    if (p.alpha_full || (p.alpha_scaled >= 0 && p.alpha_scaled <= 128)) {
        if (!(p.wide && has_avx2() && paint_plain_avx2(p, f))) plain_vector<Sse2>(p, f);
        return;
    }
#endif
    plain_scalar(p, f);
}

}  // namespace qrn::brush::detail
