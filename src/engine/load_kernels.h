// The weighted RGBA32 load over GCC vector types, written once and compiled per
// instruction set: one 32-bit lane a channel, N pixels a step. Every candidate
// result of the scalar loop's branches is computed with its own integer
// formula, and lane selects pick among them in the scalar's order of tests
// (zero weight, full weight, clear layer pixel, transparent source, blend), so
// each lane gives the scalar words. No product passes 32 bits (255 x 65535,
// 65535 x 65535).
//
// Internal linkage on purpose: each including file compiles its own copy for
// its own instruction set, and the linker must never pick one for the other.
#pragma once
#include <emmintrin.h>

#include <cstdint>
#include <cstring>
#if defined(__AVX2__)
#include <immintrin.h>
#endif

#include "engine/load_loops.h"
#include "engine/prefetch.h"
#include "engine/pixels.h"

namespace qrn::pixels::detail {
namespace {

template <int N>
struct Lanes {
    typedef uint32_t U __attribute__((vector_size(16 * N)));
    typedef int32_t M __attribute__((vector_size(16 * N)));
    typedef uint16_t Words __attribute__((vector_size(8 * N)));
};

// Zero-extending loads of N pixels into 32-bit lanes. Spelled with intrinsics:
// GCC assembles __builtin_convertvector of narrow vectors byte by byte.
template <int N, class U>
U load_bytes(const uint8_t* p) {
    uint32_t v[N];
    std::memcpy(v, p, sizeof v);
#if defined(__AVX2__)
    if constexpr (N == 2)
        return U(_mm256_cvtepu8_epi32(_mm_set_epi32(0, 0, int(v[1]), int(v[0]))));
    else
#endif
        return U(
            _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(int(v[0])), _mm_setzero_si128()),
                               _mm_setzero_si128()));
}
template <int N, class U>
U load_words(const uint16_t* p) {
#if defined(__AVX2__)
    if constexpr (N == 2)
        return U(_mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))));
    else
#endif
        return U(_mm_unpacklo_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)),
                                    _mm_setzero_si128()));
}
template <int N, class U>
U load_weights(const uint16_t* w) {
#if defined(__AVX2__)
    if constexpr (N == 2)
        return U(_mm256_set_m128i(_mm_set1_epi32(w[1]), _mm_set1_epi32(w[0])));
    else
#endif
        return U(_mm_set1_epi32(w[0]));
}

// Lane 3 of each pixel (its alpha), copied to all four of its lanes.
template <int N, class U>
U alpha_of_each(U v) {
    if constexpr (N == 1)
        return __builtin_shufflevector(v, v, 3, 3, 3, 3);
    else
        return __builtin_shufflevector(v, v, 3, 3, 3, 3, 7, 7, 7, 7);
}

template <int N, LoadVariant V, bool Locked>
void weighted_lanes(const WeightedRow& row) {
    using U = typename Lanes<N>::U;
    using M = typename Lanes<N>::M;
    using Words = typename Lanes<N>::Words;
    M alpha_lane{};
    for (int j = 0; j < N; ++j) alpha_lane[4 * j + 3] = -1;
    // Locals: stores through d could otherwise alias the row record.
    uint16_t* const d_row = row.d;
    const uint8_t* const s_row = row.s;
    const uint16_t* const w_row = row.w;
    const int64_t n = row.n;
    int64_t j = 0;
    for (; j + N <= n; j += N) {
        const U s = load_bytes<N, U>(s_row + 4 * j);
        const U d = load_words<N, U>(d_row + 4 * j);
        const U w = load_weights<N, U>(w_row + j);
        const U inv = 65535u - w;
        const U taken = s << 8;
        const U d_inv = d * inv;
        const U blended = ((s * w) + (d_inv >> 8)) >> 8;
        // Nothing to blend with: the source colour, its alpha faded in.
        const M clear = V != LoadVariant::Good ? M(alpha_of_each<N>(d) == 0u) : M{};
        // A transparent source only erases, in proportion to the weight.
        const M erase = V == LoadVariant::Plain ? M(alpha_of_each<N>(s) == 0u) : M{};
        const M full = M(w == 65535u);
        U colour = erase ? d : blended;
        colour = clear ? taken : colour;
        U alpha = erase ? d_inv >> 16 : blended;
        alpha = clear ? (s * w) >> 8 : alpha;
        U out = full ? taken : (alpha_lane ? alpha : colour);
        if (Locked) out = alpha_lane ? d : out;
        out = w == 0u ? d : out;
        const Words o = __builtin_convertvector(out, Words);
        std::memcpy(d_row + 4 * j, &o, sizeof o);
    }
    if (j < n) {
        WeightedRow rest = row;
        rest.d += 4 * j;
        rest.s += 4 * j;
        rest.w += j;
        rest.n -= j;
        weighted_lanes<1, V, Locked>(rest);  // N == 1 has no tail
    }
}

#if defined(__AVX2__)
// AVX2: four pixels a step in 16-bit lanes. The 32-bit products are never formed:
// with A = s x w and B = (d x inv) >> 8, the blend (A + B) >> 8 is
// (A >> 8) + (B >> 8) + (((A & 255) + (B & 255)) >> 8), and each part is the high
// or low half of a 16-bit product: A >> 8 = hi((s << 8) x w), A & 255 =
// lo(s x w) & 255, B >> 8 = hi(d x inv), B & 255 = lo(d x inv) >> 8.
template <LoadVariant V, bool Locked>
void weighted_lanes_avx2(const WeightedRow& row) {
    uint16_t* const d_row = row.d;
    const uint8_t* const s_row = row.s;
    const uint16_t* const w_row = row.w;
    const int64_t n = row.n;
    const __m256i zero = _mm256_setzero_si256();
    const __m256i ones = _mm256_set1_epi16(-1);
    const __m256i low_byte = _mm256_set1_epi16(0xFF);
    const __m256i alpha_lane = _mm256_set1_epi64x(int64_t(0xFFFF000000000000u));
    const auto select = [](__m256i m, __m256i yes, __m256i no) {
        return _mm256_blendv_epi8(no, yes, m);
    };
    const auto alpha_of_each = [](__m256i v) {
        return _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(v, 0xFF), 0xFF);
    };
    int64_t j = 0;
    for (; j + 4 <= n; j += 4) {
        if ((j & 7) == 0) prefetch_ahead(d_row + 4 * j);
        if ((j & 15) == 0) prefetch_ahead(s_row + 4 * j);
        const __m256i s =
            _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s_row + 4 * j)));
        const __m256i d = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(d_row + 4 * j));
        uint64_t w4;
        std::memcpy(&w4, w_row + j, sizeof w4);
        const __m256i w = _mm256_shufflehi_epi16(
            _mm256_shufflelo_epi16(_mm256_cvtepu16_epi64(_mm_cvtsi64_si128(int64_t(w4))), 0), 0);
        const __m256i inv = _mm256_xor_si256(w, ones);
        const __m256i taken = _mm256_slli_epi16(s, 8);
        const __m256i a_hi = _mm256_mulhi_epu16(taken, w);  // (s x w) >> 8
        const __m256i b_hi = _mm256_mulhi_epu16(d, inv);    // (d x inv) >> 16
        const __m256i carry =
            _mm256_srli_epi16(_mm256_add_epi16(_mm256_and_si256(_mm256_mullo_epi16(s, w), low_byte),
                                               _mm256_srli_epi16(_mm256_mullo_epi16(d, inv), 8)),
                              8);
        const __m256i blended = _mm256_add_epi16(_mm256_add_epi16(a_hi, b_hi), carry);
        __m256i colour = blended, alpha = blended;
        if (V == LoadVariant::Plain) {
            const __m256i erase = _mm256_cmpeq_epi16(alpha_of_each(s), zero);
            colour = select(erase, d, colour);
            alpha = select(erase, b_hi, alpha);
        }
        if (V != LoadVariant::Good) {
            const __m256i clear = _mm256_cmpeq_epi16(alpha_of_each(d), zero);
            colour = select(clear, taken, colour);
            alpha = select(clear, a_hi, alpha);
        }
        __m256i out = select(_mm256_cmpeq_epi16(w, ones), taken, select(alpha_lane, alpha, colour));
        if (Locked) out = select(alpha_lane, d, out);
        out = select(_mm256_cmpeq_epi16(w, zero), d, out);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d_row + 4 * j), out);
    }
    if (j < n) {
        WeightedRow rest = row;
        rest.d += 4 * j;
        rest.s += 4 * j;
        rest.w += j;
        rest.n -= j;
        weighted_lanes<1, V, Locked>(rest);
    }
}
#endif

template <int N>
void weighted_any(const WeightedRow& row) {
    const auto run = [&]<LoadVariant V>() {
#if defined(__AVX2__)
        if constexpr (N == 2) {
            if (row.alpha_locked)
                weighted_lanes_avx2<V, true>(row);
            else
                weighted_lanes_avx2<V, false>(row);
            return;
        }
#endif
        if (row.alpha_locked)
            weighted_lanes<N, V, true>(row);
        else
            weighted_lanes<N, V, false>(row);
    };
    switch (LoadVariant(row.variant)) {
        case LoadVariant::Plain:
            return run.template operator()<LoadVariant::Plain>();
        case LoadVariant::Good:
            return run.template operator()<LoadVariant::Good>();
        case LoadVariant::Good2:
            return run.template operator()<LoadVariant::Good2>();
    }
}

}  // namespace
}  // namespace qrn::pixels::detail
