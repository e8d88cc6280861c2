// The 16-bit adjustment filters' pixel loops, built once per instruction set from
// adjust_kernels.h: SSE2 (the x86-64 baseline) in adjust_loops.cpp, AVX2 in
// adjust_avx2.cpp. adjust.cpp holds the scalar references and picks the widest
// loop the processor runs.
#pragma once
#include <cstdint>

namespace qrn::composite::detail {

// The 16-bit pair; the 8-bit one keeps its per-alpha tables, a lookup per channel
// being cheaper than any vector arithmetic for it.
enum class AdjustKind {
    Pre64,   // a != 0: c = trunc((a / 65535) x c)
    Post64,  // a != 0: c = min(trunc((65535 / a) x c), 0xFFFF)
};

// n packed RGBA64 pixels, filtered in place.
struct AdjustJob {
    AdjustKind kind = AdjustKind::Pre64;
    uint16_t* buf = nullptr;
    int64_t n = 0;
};

void adjust_scalar(const AdjustJob& job);
// False when the library was built without the instruction set.
bool adjust_sse2(const AdjustJob& job);
bool adjust_avx2(const AdjustJob& job);

}  // namespace qrn::composite::detail
