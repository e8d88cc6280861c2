// The weighted RGBA32 load's row loop, built once per instruction set from
// load_kernels.h: SSE2 (the x86-64 baseline) in load_loops.cpp, AVX2 in
// load_avx2.cpp. pixels.cpp holds the scalar reference and picks the widest
// loop the processor runs.
#pragma once
#include <cstdint>

namespace qrn::pixels::detail {

// n pixels of one row: host RGBA32 bytes s over layer words d, with the load
// weight of each pixel in w (0 keeps the pixel, 0xFFFF takes the source).
struct WeightedRow {
    uint16_t* d = nullptr;
    const uint8_t* s = nullptr;
    const uint16_t* w = nullptr;
    int64_t n = 0;
    int variant = 0;  // LoadVariant
    bool alpha_locked = false;
};

// False when the library was built without the instruction set.
bool weighted_row_sse2(const WeightedRow& row);
bool weighted_row_avx2(const WeightedRow& row);

}  // namespace qrn::pixels::detail
