// The adjustment filters' loops built for AVX2. Compiled with -mavx2 and called
// only after a run-time check of the processor.
#include "composite/adjust_loops.h"

#if defined(__AVX2__)
#include "composite/adjust_kernels.h"
#endif

namespace qrn::composite::detail {

bool adjust_avx2(const AdjustJob& job) {
#if defined(__AVX2__)
    return adjust_any(job);
#else
    (void)job;
    return false;
#endif
}

}  // namespace qrn::composite::detail
