// The colour and hue range loops over GCC vector types, written once and
// compiled per instruction set. The hue is the scalar conversion's own
// sequence of correctly rounded double operations (multiply, subtract, divide,
// add) with lane selects in place of its branches, and -ffp-contract=off keeps
// every one of them separate, so each lane gives the scalar result exactly.
//
// Internal linkage on purpose: each including file compiles its own copy for
// its own instruction set, and the linker must never pick one for the other.
#pragma once
#include <immintrin.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "mask/mask.h"
#include "mask/mask_loops.h"
#include "script/colour_spaces.h"

namespace qrn::mask::detail {
namespace {

// The colour conversion's scale of an 8-bit channel (script/colour_spaces.cpp).
constexpr double kChannelScale = 0.00392156862745098;

// N lanes of each element type (typedef: GCC drops the attribute from a dependent alias).
template <int N>
struct Lanes {
    typedef uint32_t U32 __attribute__((vector_size(4 * N)));
    typedef uint16_t U16 __attribute__((vector_size(2 * N)));
    typedef int16_t I16 __attribute__((vector_size(2 * N)));
    typedef int32_t I32 __attribute__((vector_size(4 * N)));
    typedef double F64 __attribute__((vector_size(8 * N)));
    typedef int64_t I64 __attribute__((vector_size(8 * N)));
};

// Sign bits of 64-bit lanes (2 or 4 of them); and for each pattern of 4 bits, a
// word with 0xFFFF in the 16-bit lanes whose bit is set.
template <int N, class I64>
int lane_bits(I64 v) {
    if constexpr (N == 4)
        return _mm256_movemask_pd(__m256d(v));
    else
        return _mm_movemask_pd(__m128d(v));
}
constexpr auto kLaneWords = [] {
    std::array<uint64_t, 16> t{};
    for (int b = 0; b < 16; ++b)
        for (int j = 0; j < 4; ++j)
            if (b >> j & 1) t[size_t(b)] |= uint64_t(0xFFFF) << (16 * j);
    return t;
}();

// N pixels a step; the tail goes through the same test one pixel at a time.
template <int N>
void colour_range_lanes(const ColourRangeJob& job) {
    using U32 = typename Lanes<N>::U32;
    using U16 = typename Lanes<N>::U16;
    using I16 = typename Lanes<N>::I16;
    const auto holds = [&](auto p) {
        return (((p - job.lo[0]) & 0xFFu) <= job.span[0]) &
               ((((p >> 8) - job.lo[1]) & 0xFFu) <= job.span[1]) &
               ((((p >> 16) - job.lo[2]) & 0xFFu) <= job.span[2]);
    };
    int64_t k = 0;
    for (; k + N <= job.n; k += N) {
        U32 p;
        U16 m;
        std::memcpy(&p, job.img + 4 * k, sizeof p);
        std::memcpy(&m, job.mask + k, sizeof m);
        const U16 sel = U16(__builtin_convertvector(holds(p), I16));
        m = (m & ~sel) | (sel & job.value);
        std::memcpy(job.mask + k, &m, sizeof m);
    }
    for (; k < job.n; ++k) {
        uint32_t p;
        std::memcpy(&p, job.img + 4 * k, 4);
        if (holds(p)) job.mask[k] = job.value;
    }
}

template <int N>
void hue_range_lanes(const HueRangeJob& job) {
    using U32 = typename Lanes<N>::U32;
    using I32 = typename Lanes<N>::I32;
    using F64 = typename Lanes<N>::F64;
    using I64 = typename Lanes<N>::I64;
    using U16 = typename Lanes<N>::U16;
    // Locals: stores through the mask pointer could otherwise alias the job.
    uint16_t* const mask = job.mask;
    const uint16_t value = job.value;
    // trunc(d) lies in [-t, t] exactly when -(t + 1) < d < t + 1; no conversion needed.
    const double bound = double(job.t) + 1.0;
    const double href = job.href;
    const double href_below = href - 360.0;
    const auto within = [bound](F64 d) { return (d < bound) & (d > -bound); };
    const auto channel = [](U32 p, int shift) {
        return __builtin_convertvector(I32((p >> shift) & 0xFFu), F64) * kChannelScale;
    };
    // A step whose pixels all repeat the last colour reuses its answer: the runs
    // of paint cost a compare.
    uint32_t last_rgb = 0xFFFFFFFFu;
    bool last_match = false;
    int64_t k = 0;
    for (; k + N <= job.n; k += N) {
        U32 p;
        std::memcpy(&p, job.img + 4 * k, sizeof p);
        p &= 0xFFFFFFu;
        // Tested as whole words, not lane by lane.
        const U32 diff = p ^ last_rgb;
        uint64_t words[N / 2];
        std::memcpy(words, &diff, sizeof words);
        uint64_t any = 0;
        for (int q = 0; q < N / 2; ++q) any |= words[q];
        if (any == 0) {
            if (last_match) {
                const U16 all = U16{} + value;
                std::memcpy(mask + k, &all, sizeof all);
            }
            continue;
        }
        const F64 r = channel(p, 0), g = channel(p, 8), b = channel(p, 16);
        F64 mx = r > g ? r : g;
        mx = mx > b ? mx : b;
        F64 mn = r < g ? r : g;
        mn = mn < b ? mn : b;
        const F64 delta = mx - mn;
        // Red is tested first, then green, as in the scalar conversion.
        const I64 is_r = r == mx, is_g = g == mx;
        const F64 q = (is_r ? g - b : (is_g ? b - r : r - g)) / delta;
        F64 h = is_r ? q : q + (is_g ? F64{} + 2.0 : F64{} + 4.0);
        h = h * 60.0;
        h = h < 0.0 ? h + 360.0 : h;
        h = delta == 0.0 ? F64{} - 1.0 : h;
        const I64 ok = within(h - href) | within(h - href_below) | within((h - 360.0) - href);
        // One bit a lane, then a word of 16-bit lane masks from a table: narrowing
        // the 64-bit lanes directly compiles to one extract a lane.
        const int bits = lane_bits<N>(ok);
        using Word = std::conditional_t<N == 4, uint64_t, uint32_t>;
        const Word sel = Word(kLaneWords[bits]);
        Word m;
        std::memcpy(&m, mask + k, sizeof m);
        m = (m & ~sel) | (sel & Word(0x0001000100010001u * value));
        std::memcpy(mask + k, &m, sizeof m);
        last_rgb = p[N - 1];
        last_match = (bits >> (N - 1)) & 1;
    }
    for (; k < job.n; ++k) {
        const uint8_t* p = job.img + 4 * k;
        if (hue_matches(script::rgb_to_hsv(p[0], p[1], p[2]).h, href, job.t))
            job.mask[k] = job.value;
    }
}

}  // namespace
}  // namespace qrn::mask::detail
