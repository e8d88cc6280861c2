// The compositor's and renderer's loops built for AVX2: eight pixels a step.
// Compiled with -mavx2 and called only after a run-time check of the processor.
#include "composite/composite_job.h"

#if defined(__AVX2__)
#include "composite/blend_kernel.h"
#endif

namespace qrn::composite::detail {

bool merge_avx2(const MergeJob& job) {
#if defined(__AVX2__)
    run_merge<Avx2>(job);
    return true;
#else
    (void)job;
    return false;
#endif
}

bool render_avx2(const RenderJob& job) {
#if defined(__AVX2__)
    run_render<Avx2>(job);
    return true;
#else
    (void)job;
    return false;
#endif
}

}  // namespace qrn::composite::detail
