// The blend dab: the SSE2 vector loop (x86-64 baseline), the AVX2 and AVX-512
// ones where the processor has them, and the scalar formula for the rest. All three give the
// reference loop's words; the dab tests compare them.
#include "brush/dab_blend.h"

#include "brush/dab_blend_kernel.h"

namespace qrn::brush::detail {

void paint_blend(const BlendDab& p, const BlendRows& f) noexcept {
#ifdef QRN_DAB_SSE2
    // The vector loops take the opacity scale as a 16-bit factor of at most 128
    // and need distinct sample columns to remix a group at once.
    if ((p.alpha_full || (p.alpha_scaled >= 0 && p.alpha_scaled <= 128)) &&
        (f.distinct || !p.remix)) {
#if defined(__GNUC__)
        const bool avx2 = __builtin_cpu_supports("avx2");
        const bool avx512 = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw");
#else
        const bool avx2 = false, avx512 = false;
#endif
        if (p.max_bits >= 512 && avx512 && paint_blend_avx512(p, f)) return;
        if (p.max_bits >= 256 && avx2 && paint_blend_avx2(p, f)) return;
        blend_vector<Sse2>(p, f);
        return;
    }
#endif
    blend_scalar(p, f);
}

}  // namespace qrn::brush::detail
