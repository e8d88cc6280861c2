// The adjustment filters' pixel loops, built once per instruction set from
// adjust_kernels.h: SSE2 (the x86-64 baseline) in adjust_loops.cpp, AVX2 in
// adjust_avx2.cpp; adjust_avx512.cpp has its own. adjust.cpp holds the scalar
// references and picks the widest loop the processor runs.
#pragma once
#include <cstdint>

namespace qrn::composite::detail {

// The 16-bit pair and the 8-bit filters; the 8-bit ones have AVX2 loops only
// (the scalar reference reads per-alpha tables).
enum class AdjustKind {
    Pre64,   // a != 0: c = trunc((a / 65535) x c)
    Post64,  // a != 0: c = min(trunc((65535 / a) x c), 0xFFFF)
    Pre32,   // 0 < a < 255: c = trunc((a / 255) x (c + 1))
    Post32,  // 0 < a < 255: c = min(trunc((255 / a) x c), 255)
    Comp32,  // 0 < a: the same
};

// n packed pixels, filtered in place: RGBA64 in buf, RGBA32 in buf8 for the 8-bit kinds.
struct AdjustJob {
    AdjustKind kind = AdjustKind::Pre64;
    uint16_t* buf = nullptr;
    uint8_t* buf8 = nullptr;
    int64_t n = 0;
};

void adjust_scalar(const AdjustJob& job);

// The vector loops' tail: the pixels from k on, through the scalar reference.
inline void adjust_scalar_from(const AdjustJob& job, int64_t k) {
    AdjustJob rest = job;
    rest.n -= k;
    if (rest.buf) rest.buf += 4 * k;
    if (rest.buf8) rest.buf8 += 4 * k;
    adjust_scalar(rest);
}
// False when the library was built without the instruction set.
bool adjust_sse2(const AdjustJob& job);
bool adjust_avx2(const AdjustJob& job);
bool adjust_avx512(const AdjustJob& job);

}  // namespace qrn::composite::detail
