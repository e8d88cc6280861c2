// Row addressing shared by the pixel kernels of the imaging library.
#pragma once
#include <cstdint>

namespace qrn::imaginglib {

// A usable stride for rows of row_bytes: either sign (negative walks a
// bottom-up image from its last row in memory), rows not overlapping, and
// rows x stride representable.
inline bool stride_fits(int64_t stride, int64_t row_bytes, int64_t rows) {
    if (stride == INT64_MIN || rows < 1) return false;
    const int64_t magnitude = stride < 0 ? -stride : stride;
    return magnitude >= row_bytes && magnitude <= INT64_MAX / rows;
}

template <class Byte>
Byte* row_at(Byte* first, int64_t stride, int64_t y) {
    return first + y * stride;
}

}  // namespace qrn::imaginglib
