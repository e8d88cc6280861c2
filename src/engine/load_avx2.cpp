// The weighted load's row loop built for AVX2. Compiled with -mavx2 and called
// only after a run-time check of the processor.
#include "engine/load_loops.h"

#if defined(__AVX2__)
#include "engine/load_kernels.h"
#endif

namespace qrn::pixels::detail {

bool weighted_row_avx2(const WeightedRow& row) {
#if defined(__AVX2__)
    weighted_any<2>(row);
    return true;
#else
    (void)row;
    return false;
#endif
}

}  // namespace qrn::pixels::detail
