// The adjustment filters' loops for the x86-64 baseline (SSE2).
#include "composite/adjust_kernels.h"

namespace qrn::composite::detail {

bool adjust_sse2(const AdjustJob& job) {
#if defined(__SSE2__)
    return adjust_any(job);
#else
    (void)job;
    return false;
#endif
}

}  // namespace qrn::composite::detail
