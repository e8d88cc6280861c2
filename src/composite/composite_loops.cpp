// The compositor's and renderer's loops for the baseline instruction set:
// scalar (the reference the vector loops are tested against) and SSE2.
#include "composite/blend_kernel.h"

namespace qrn::composite::detail {

void merge_scalar(const MergeJob& job) { run_merge<Scalar>(job); }
void render_scalar(const RenderJob& job) { run_render<Scalar>(job); }

bool merge_sse2(const MergeJob& job) {
#ifdef QRN_BLEND_SSE2
    run_merge<Sse2>(job);
    return true;
#else
    (void)job;
    return false;
#endif
}

bool render_sse2(const RenderJob& job) {
#ifdef QRN_BLEND_SSE2
    run_render<Sse2>(job);
    return true;
#else
    (void)job;
    return false;
#endif
}

bool cpu_has_avx2() {
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
    return __builtin_cpu_supports("avx2");
#else
    return false;
#endif
}

bool cpu_has_avx512() {
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
           __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512vl");
#else
    return false;
#endif
}

}  // namespace qrn::composite::detail
