// The 16-bit adjustment filters over GCC vector types, written once and compiled
// per instruction set. A pixel is one vector of four doubles; the factor is the
// scalar's own correctly rounded division, its product the scalar's one
// multiply (-ffp-contract=off keeps the two apart), and the lane selects only
// pick results, so every lane gives the scalar words exactly. Clamping before
// truncation equals clamping after it for the non-negative products here, and
// keeps each conversion in range.
//
// Internal linkage on purpose: each including file compiles its own copy for
// its own instruction set, and the linker must never pick one for the other.
#pragma once
#include <cstdint>
#include <cstring>

#include "composite/adjust_loops.h"

namespace qrn::composite::detail {
namespace {

typedef double F4 __attribute__((vector_size(32)));
typedef int32_t I4 __attribute__((vector_size(16)));

// Four pixels as one vector, and the pieces it is taken apart into.
typedef uint16_t V __attribute__((vector_size(32)));
typedef uint16_t Half __attribute__((vector_size(16)));
typedef uint16_t One __attribute__((vector_size(8)));

// Pre: factor a / 65535, product with c. Post: factor 65535 / a, product with c,
// clamped to 65535. Pixels with a = 0 keep their words. Four pixels a step; the
// scalar reference takes the tail.
template <bool Pre>
void adjust_lanes(const AdjustJob& job, uint16_t* buf) {
    constexpr double kScale = 65535.0;
    constexpr uint16_t kMax = 0xFFFF;
    const V alpha_lane = {0, 0, 0, kMax, 0, 0, 0, kMax, 0, 0, 0, kMax, 0, 0, 0, kMax};
    const int64_t n = job.n;
    int64_t k = 0;
    for (; k + 4 <= n; k += 4) {
        V v;
        std::memcpy(&v, buf + 4 * k, sizeof v);
        // Widened through int32 lanes, which convert to double as one vector.
        const F4 a = __builtin_convertvector(
            __builtin_convertvector(__builtin_shufflevector(v, v, 3, 7, 11, 15), I4), F4);
        // Alpha 0 takes no part; a zero factor keeps its lanes finite.
        const F4 f = Pre ? a / kScale : (a != 0.0 ? kScale / a : F4{});
        const auto pixel = [&]<int J>() {
            const One q = __builtin_shufflevector(v, v, 4 * J, 4 * J + 1, 4 * J + 2, 4 * J + 3);
            const F4 c = __builtin_convertvector(__builtin_convertvector(q, I4), F4);
            F4 x = __builtin_shufflevector(f, f, J, J, J, J) * c;
            if (!Pre) x = x < kScale ? x : F4{} + kScale;
            return __builtin_convertvector(__builtin_convertvector(x, I4), One);
        };
        const Half lo = __builtin_shufflevector(pixel.template operator()<0>(),
                                                pixel.template operator()<1>(), 0, 1, 2, 3, 4, 5,
                                                6, 7);
        const Half hi = __builtin_shufflevector(pixel.template operator()<2>(),
                                                pixel.template operator()<3>(), 0, 1, 2, 3, 4, 5,
                                                6, 7);
        const V out = __builtin_shufflevector(lo, hi, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12,
                                              13, 14, 15);
        const V aa =
            __builtin_shufflevector(v, v, 3, 3, 3, 3, 7, 7, 7, 7, 11, 11, 11, 11, 15, 15, 15, 15);
        const V keep = V(aa == 0) | alpha_lane;
        v = (v & keep) | (out & ~keep);
        std::memcpy(buf + 4 * k, &v, sizeof v);
    }
    AdjustJob rest = job;
    rest.n = n - k;
    rest.buf += 4 * k;
    adjust_scalar(rest);
}

inline void adjust_any(const AdjustJob& job) {
    if (job.kind == AdjustKind::Pre64) adjust_lanes<true>(job, job.buf);
    if (job.kind == AdjustKind::Post64) adjust_lanes<false>(job, job.buf);
}

}  // namespace
}  // namespace qrn::composite::detail
