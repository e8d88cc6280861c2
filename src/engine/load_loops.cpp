// The weighted load's row loop for the x86-64 baseline (SSE2).
#include "engine/load_kernels.h"

namespace qrn::pixels::detail {

bool weighted_row_sse2(const WeightedRow& row) {
#if defined(__SSE2__)
    weighted_any<1>(row);
    return true;
#else
    (void)row;
    return false;
#endif
}

}  // namespace qrn::pixels::detail
