// The colour and hue range loops over GCC vector types, written once and
// compiled per instruction set.
//
// Internal linkage on purpose: each including file compiles its own copy for
// its own instruction set, and the linker must never pick one for the other.
#pragma once
#include <immintrin.h>

#include <cstdint>
#include <cstring>

#include "engine/prefetch.h"
#include "mask/mask.h"
#include "mask/mask_loops.h"
#include "script/colour_spaces.h"

namespace qrn::mask::detail {
namespace {

// N lanes of each element type (typedef: GCC drops the attribute from a dependent alias).
template <int N>
struct Lanes {
    typedef uint32_t U32 __attribute__((vector_size(4 * N)));
    typedef uint16_t U16 __attribute__((vector_size(2 * N)));
    typedef int16_t I16 __attribute__((vector_size(2 * N)));
    typedef int32_t I32 __attribute__((vector_size(4 * N)));
};

// One bit a 32-bit lane, from its sign.
template <int N, class I32>
int sign_bits(I32 v) {
    if constexpr (N == 16)
        return _mm512_movepi32_mask(__m512i(v));
    else if constexpr (N == 8)
        return _mm256_movemask_ps(__m256(v));
    else
        return _mm_movemask_ps(__m128(v));
}

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
        if ((k & 15) == 0) prefetch_ahead(job.img + 4 * k);
        if ((k & 31) == 0) prefetch_ahead(job.mask + k);
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

// The hue test decides most pixels in single precision: from the integer
// channel differences the float hue lies within 1e-4 degree of the double one
// (a few roundings of values below 720), so a hue more than kHueMargin from
// every window edge falls on the same side of it in both. Lanes nearer an edge
// (exact hues on a boundary among them) take the scalar conversion, so every
// word equals the plain per-pixel test.
constexpr double kHueMargin = 1.0 / 64;

template <int N>
void hue_range_lanes(const HueRangeJob& job) {
    using U32 = typename Lanes<N>::U32;
    using I32 = typename Lanes<N>::I32;
    using U16 = typename Lanes<N>::U16;
    using I16 = typename Lanes<N>::I16;
    typedef float F32 __attribute__((vector_size(4 * N)));
    // Locals: stores through the mask pointer could otherwise alias the job.
    uint16_t* const mask = job.mask;
    const uint16_t value = job.value;
    const double href = job.href;
    const int32_t t = job.t;
    // The three windows of hue_matches as hue intervals: (href - b, href + b),
    // shifted by -360 and +360, b = t + 1. Each edge gets a float just inside
    // and just outside it.
    const double bound = double(t) + 1.0;
    float in_lo[3], in_hi[3], out_lo[3], out_hi[3];
    for (int w = 0; w < 3; ++w) {
        const double c = href + 360.0 * (w - 1);
        in_lo[w] = float(c - bound + kHueMargin), in_hi[w] = float(c + bound - kHueMargin);
        out_lo[w] = float(c - bound - kHueMargin), out_hi[w] = float(c + bound + kHueMargin);
    }
    const auto exact = [&](uint32_t rgb) {
        return hue_matches(script::rgb_to_hsv(rgb & 0xFF, rgb >> 8 & 0xFF, rgb >> 16).h, href, t);
    };
    // A step whose pixels all repeat the last colour reuses its answer: the runs
    // of paint cost a compare.
    uint32_t last_rgb = 0xFFFFFFFFu;
    bool last_match = false;
    int64_t k = 0;
    for (; k + N <= job.n; k += N) {
        if ((k & 15) == 0) prefetch_ahead(job.img + 4 * k);
        if ((k & 31) == 0) prefetch_ahead(mask + k);
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
        const I32 r = I32(p & 0xFFu), g = I32(p >> 8 & 0xFFu), b = I32(p >> 16);
        I32 mx = r > g ? r : g;
        mx = mx > b ? mx : b;
        I32 mn = r < g ? r : g;
        mn = mn < b ? mn : b;
        const I32 delta = mx - mn;
        // Red is tested first, then green, as in the scalar conversion.
        const I32 is_r = r == mx, is_g = g == mx;
        const I32 num = is_r ? g - b : (is_g ? b - r : r - g);
        const I32 grey = delta == 0;
        const F32 q = __builtin_convertvector(num, F32) /
                      __builtin_convertvector(grey ? I32{} + 1 : delta, F32);
        F32 h = is_r ? q : q + (is_g ? F32{} + 2.0f : F32{} + 4.0f);
        h = h * 60.0f;
        h = h < 0.0f ? h + 360.0f : h;
        h = grey ? F32{} - 1.0f : h;
        I32 in = I32{}, out = I32{} - 1;
        for (int w = 0; w < 3; ++w) {
            in |= (h > in_lo[w]) & (h < in_hi[w]);
            out &= (h < out_lo[w]) | (h > out_hi[w]);
        }
        const U16 sel = U16(__builtin_convertvector(in, I16));
        U16 m;
        std::memcpy(&m, mask + k, sizeof m);
        m = (m & ~sel) | (sel & value);
        std::memcpy(mask + k, &m, sizeof m);
        bool last = in[N - 1] != 0;
        for (int unsure = sign_bits<N>(~(in | out)); unsure != 0; unsure &= unsure - 1) {
            const int j = __builtin_ctz(unsure);
            const bool match = exact(p[j]);
            if (match) mask[k + j] = value;
            if (j == N - 1) last = match;
        }
        last_rgb = p[N - 1];
        last_match = last;
    }
    for (; k < job.n; ++k) {
        uint32_t rgb;
        std::memcpy(&rgb, job.img + 4 * k, 4);
        if (exact(rgb & 0xFFFFFFu)) mask[k] = value;
    }
}

}  // namespace
}  // namespace qrn::mask::detail
