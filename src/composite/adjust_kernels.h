// The 16-bit adjustment filters over GCC vector types, written once and compiled
// per instruction set. A channel of four pixels is one vector of doubles; the factor is the
// scalar's own correctly rounded division, its product the scalar's one
// multiply (-ffp-contract=off keeps the two apart), and the lane selects only
// pick results, so every lane gives the scalar words exactly. Clamping before
// truncation equals clamping after it for the non-negative products here, and
// keeps each conversion in range.
//
// Internal linkage on purpose: each including file compiles its own copy for
// its own instruction set, and the linker must never pick one for the other.
#pragma once
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#if defined(__AVX2__)
#include <immintrin.h>
#endif

#include "composite/adjust_exceptions.h"
#include "composite/adjust_loops.h"
#include "engine/prefetch.h"

namespace qrn::composite::detail {
namespace {

typedef double F4 __attribute__((vector_size(32)));
typedef int32_t I4 __attribute__((vector_size(16)));

// Four pixels as one vector, and the pieces it is taken apart into.
typedef uint16_t V __attribute__((vector_size(32)));
typedef uint16_t Half __attribute__((vector_size(16)));
typedef uint16_t One __attribute__((vector_size(8)));

typedef int16_t OneMask __attribute__((vector_size(8)));

// Pre: factor a / 65535, product with c. Post: factor 65535 / a, product with c,
// clamped to 65535. Pixels with a = 0 keep their words. Four pixels a step, taken
// apart into one vector per channel so that each lane is one pixel; the scalar
// reference takes the tail.
template <bool Pre>
void adjust_lanes(const AdjustJob& job, uint16_t* buf) {
    constexpr double kScale = 65535.0;
    const int64_t n = job.n;
    int64_t k = 0;
    for (; k + 4 <= n; k += 4) {
        V v;
        std::memcpy(&v, buf + 4 * k, sizeof v);
        const One a = __builtin_shufflevector(v, v, 3, 7, 11, 15);
        // Widened through int32 lanes, which convert to double as one vector.
        const F4 fa = __builtin_convertvector(__builtin_convertvector(a, I4), F4);
        // Alpha 0 takes no part; a zero factor keeps its lanes finite.
        const F4 f = Pre ? fa / kScale : (fa != 0.0 ? kScale / fa : F4{});
        const OneMask keep = a == 0;
        const auto channel = [&](One c) {
            F4 x = f * __builtin_convertvector(__builtin_convertvector(c, I4), F4);
            if (!Pre) x = x < kScale ? x : F4{} + kScale;
            const One out = __builtin_convertvector(__builtin_convertvector(x, I4), One);
            return keep ? c : out;
        };
        const One r = channel(__builtin_shufflevector(v, v, 0, 4, 8, 12));
        const One g = channel(__builtin_shufflevector(v, v, 1, 5, 9, 13));
        const One b = channel(__builtin_shufflevector(v, v, 2, 6, 10, 14));
        const Half rg = __builtin_shufflevector(r, g, 0, 1, 2, 3, 4, 5, 6, 7);
        const Half ba = __builtin_shufflevector(b, a, 0, 1, 2, 3, 4, 5, 6, 7);
        v = __builtin_shufflevector(rg, ba, 0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15);
        std::memcpy(buf + 4 * k, &v, sizeof v);
    }
    adjust_scalar_from(job, k);
}

#if defined(__AVX2__)
// The same with AVX2 intrinsics, one pixel a vector: widening, conversion and the
// final pack stay within 128-bit lanes, where the generic loop above spends most
// of its time on shuffles across them.
template <bool Pre>
void adjust_lanes_avx2(const AdjustJob& job, uint16_t* buf) {
    const __m256d scale = _mm256_set1_pd(65535.0);
    const __m256i alpha_lane = _mm256_set1_epi64x(int64_t(0xFFFF000000000000u));
    const int64_t n = job.n;
    int64_t k = 0;
    for (; k + 4 <= n; k += 4) {
        if ((k & 7) == 0) prefetch_ahead(buf + 4 * k);
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(buf + 4 * k));
        const __m256i lo = _mm256_cvtepu16_epi32(_mm256_castsi256_si128(v));
        const __m256i hi = _mm256_cvtepu16_epi32(_mm256_extracti128_si256(v, 1));
        const __m256d p[4] = {_mm256_cvtepi32_pd(_mm256_castsi256_si128(lo)),
                              _mm256_cvtepi32_pd(_mm256_extracti128_si256(lo, 1)),
                              _mm256_cvtepi32_pd(_mm256_castsi256_si128(hi)),
                              _mm256_cvtepi32_pd(_mm256_extracti128_si256(hi, 1))};
        const __m256d a = _mm256_permute2f128_pd(_mm256_unpackhi_pd(p[0], p[1]),
                                                 _mm256_unpackhi_pd(p[2], p[3]), 0x31);
        // Alpha 0 takes no part; a zero factor keeps its lanes finite.
        const __m256d f = Pre ? _mm256_div_pd(a, scale)
                              : _mm256_and_pd(_mm256_div_pd(scale, a),
                                              _mm256_cmp_pd(a, _mm256_setzero_pd(), _CMP_NEQ_OQ));
        const auto product = [&](__m256d fj, __m256d pj) {
            __m256d x = _mm256_mul_pd(fj, pj);
            if (!Pre) x = _mm256_min_pd(x, scale);
            return _mm256_cvttpd_epi32(x);
        };
        const __m128i q0 = product(_mm256_permute4x64_pd(f, 0x00), p[0]);
        const __m128i q1 = product(_mm256_permute4x64_pd(f, 0x55), p[1]);
        const __m128i q2 = product(_mm256_permute4x64_pd(f, 0xAA), p[2]);
        const __m128i q3 = product(_mm256_permute4x64_pd(f, 0xFF), p[3]);
        // packus interleaves 128-bit lanes (q0 q2 | q1 q3); the permute restores the order.
        const __m256i out = _mm256_permute4x64_epi64(
            _mm256_packus_epi32(_mm256_set_m128i(q1, q0), _mm256_set_m128i(q3, q2)), 0xD8);
        const __m256i aa = _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(v, 0xFF), 0xFF);
        const __m256i keep =
            _mm256_or_si256(_mm256_cmpeq_epi16(aa, _mm256_setzero_si256()), alpha_lane);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(buf + 4 * k),
                            _mm256_blendv_epi8(out, v, keep));
    }
    adjust_scalar_from(job, k);
}
#endif

#if defined(__AVX2__)
// The 8-bit pre-filter in integers: trunc((a / 255) x (c + 1)) is the exact
// quotient a(c + 1) / 255, (x + 1 + (x >> 8)) >> 8 for x <= 65024, except for the
// listed pairs (adjust_exceptions.h), each of which costs one compare.
void pre_filter_rgba32_avx2(const AdjustJob& job) {
    uint8_t* const buf = job.buf8;
    const int64_t n = job.n;
    const __m256i one = _mm256_set1_epi16(1);
    const __m256i zero = _mm256_setzero_si256();
    const __m256i opaque = _mm256_set1_epi16(255);
    const __m256i alpha_lane = _mm256_set1_epi64x(int64_t(0xFFFF000000000000u));
    int64_t k = 0;
    for (; k + 4 <= n; k += 4) {
        if ((k & 15) == 0) prefetch_ahead(buf + 4 * k);
        const __m128i raw = _mm_loadu_si128(reinterpret_cast<const __m128i*>(buf + 4 * k));
        const __m256i c = _mm256_cvtepu8_epi16(raw);
        const __m256i a = _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(c, 0xFF), 0xFF);
        const __m256i x = _mm256_mullo_epi16(a, _mm256_add_epi16(c, one));
        __m256i q = _mm256_srli_epi16(
            _mm256_add_epi16(_mm256_add_epi16(x, one), _mm256_srli_epi16(x, 8)), 8);
        const __m256i keep = _mm256_or_si256(
            alpha_lane,
            _mm256_or_si256(_mm256_cmpeq_epi16(a, zero), _mm256_cmpeq_epi16(a, opaque)));
        // Exceptions are exact multiples of 255, rare enough to test for first.
        const __m256i exact = _mm256_andnot_si256(
            keep, _mm256_cmpeq_epi16(_mm256_mullo_epi16(q, _mm256_set1_epi16(255)), x));
        if (!_mm256_testz_si256(exact, exact)) {
            const __m256i key = _mm256_or_si256(_mm256_slli_epi16(a, 8), c);
            __m256i low = zero;
            for (uint16_t e : kPreExceptions)
                low = _mm256_or_si256(low, _mm256_cmpeq_epi16(key, _mm256_set1_epi16(short(e))));
            q = _mm256_add_epi16(q, low);  // low is -1 on an exception
        }
        const __m256i out = _mm256_blendv_epi8(q, c, keep);
        _mm_storeu_si128(
            reinterpret_cast<__m128i*>(buf + 4 * k),
            _mm_packus_epi16(_mm256_castsi256_si128(out), _mm256_extracti128_si256(out, 1)));
    }
    adjust_scalar_from(job, k);
}
#endif

#if defined(__AVX2__)
// The 8-bit post-filter from single-precision quotients: 255c and a are exact
// floats and 255c < 2^24, so trunc(255c / a) is the exact floor even a hair
// below an integer. The double formula agrees except on the listed pairs
// (adjust_exceptions.h), looked up only for lanes whose quotient is whole.
template <bool Opaque>  // Opaque: alpha 255 is filtered too (where it changes nothing)
void post_filter_rgba32_avx2(const AdjustJob& job) {
    uint8_t* const buf = job.buf8;
    const int64_t n = job.n;
    const __m256i zero = _mm256_setzero_si256();
    const __m256i byte = _mm256_set1_epi32(0xFF);
    const __m256i one = _mm256_set1_epi32(1);
    int64_t k = 0;
    for (; k + 8 <= n; k += 8) {
        uint8_t* const px = buf + 4 * k;
        if ((k & 15) == 0) prefetch_ahead(px);
        const __m256i p = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(px));
        const __m256i a = _mm256_srli_epi32(p, 24);
        __m256i skip = _mm256_cmpeq_epi32(a, zero);
        if (!Opaque) skip = _mm256_or_si256(skip, _mm256_cmpeq_epi32(a, byte));
        if (_mm256_movemask_epi8(skip) == -1) continue;
        // Skipped lanes keep their pixel; alpha 0 divides as 1 to stay finite.
        const __m256 af = _mm256_cvtepi32_ps(_mm256_or_si256(a, _mm256_and_si256(skip, one)));
        __m256i out = _mm256_andnot_si256(_mm256_srli_epi32(_mm256_set1_epi32(-1), 8), p);
        // Alpha 255 divides exactly: no exceptions to look for.
        const __m256i sure = Opaque ? _mm256_or_si256(skip, _mm256_cmpeq_epi32(a, byte)) : skip;
        uint32_t whole = 0;  // 8 lanes x 3 channels: quotient whole, maybe an exception
        for (int c = 0; c < 3; ++c) {
            const __m256i v = _mm256_and_si256(_mm256_srli_epi32(p, 8 * c), byte);
            const __m256i x = _mm256_sub_epi32(_mm256_slli_epi32(v, 8), v);  // 255c
            const __m256i q = _mm256_cvttps_epi32(_mm256_div_ps(_mm256_cvtepi32_ps(x), af));
            const __m256i w =
                _mm256_andnot_si256(_mm256_or_si256(sure, _mm256_cmpeq_epi32(v, zero)),
                                    _mm256_cmpeq_epi32(_mm256_mullo_epi32(q, a), x));
            whole |= uint32_t(_mm256_movemask_ps(_mm256_castsi256_ps(w))) << (8 * c);
            out = _mm256_or_si256(out, _mm256_slli_epi32(_mm256_min_epi32(q, byte), 8 * c));
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(px), _mm256_blendv_epi8(out, p, skip));
        if (whole != 0) {
            uint8_t orig[32];
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(orig), p);
            lower_post_exceptions<8>(px, orig, whole);
        }
    }
    adjust_scalar_from(job, k);
}
#endif

#if defined(__AVX2__)
// The 16-bit pre-filter in integers. trunc((a / 65535) x c) is the exact
// quotient ac / 65535 unless that quotient is whole: a remainder is at least
// 1/65535, far above the double product's error. The quotient is the high half
// of ac plus the carry of high + low + 1, and it is whole exactly when low + q
// is 0 modulo 2^16; only those lanes (alpha 65535 aside, whose factor is 1) take
// the double formula.
void pre_filter_rgba64_avx2(const AdjustJob& job) {
    uint16_t* const buf = job.buf;
    const int64_t n = job.n;
    const __m256i zero = _mm256_setzero_si256();
    const __m256i ones = _mm256_set1_epi16(-1);
    const __m256i alpha_lane = _mm256_set1_epi64x(int64_t(0xFFFF000000000000u));
    int64_t k = 0;
    for (; k + 4 <= n; k += 4) {
        uint16_t* const px = buf + 4 * k;
        if ((k & 7) == 0) prefetch_ahead(px);
        const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(px));
        const __m256i a = _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(c, 0xFF), 0xFF);
        const __m256i lo = _mm256_mullo_epi16(a, c);
        const __m256i hi = _mm256_mulhi_epu16(a, c);
        const __m256i carry =
            _mm256_cmpeq_epi16(_mm256_max_epu16(hi, _mm256_xor_si256(lo, ones)), hi);
        const __m256i q = _mm256_sub_epi16(hi, carry);
        const __m256i keep = _mm256_or_si256(alpha_lane, _mm256_cmpeq_epi16(a, zero));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(px), _mm256_blendv_epi8(q, c, keep));
        const __m256i whole =
            _mm256_andnot_si256(_mm256_or_si256(_mm256_or_si256(keep, _mm256_cmpeq_epi16(a, ones)),
                                                _mm256_cmpeq_epi16(q, zero)),
                                _mm256_cmpeq_epi16(_mm256_add_epi16(lo, q), zero));
        uint32_t lanes = uint32_t(_mm256_movemask_epi8(whole)) & 0x55555555u;
        if (lanes == 0) continue;
        uint16_t orig[16];
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(orig), c);
        for (; lanes != 0; lanes &= lanes - 1) {
            const int w = __builtin_ctz(lanes) >> 1;  // word index: pixel w / 4, channel w % 4
            const double f = orig[w | 3] / 65535.0;
            px[w] = uint16_t(int32_t(f * orig[w]));
        }
    }
    adjust_scalar_from(job, k);
}
#endif

// False for a kind this build has no loop for; the caller runs the scalar one.
inline bool adjust_any(const AdjustJob& job) {
#if defined(__AVX2__)
    if (job.kind == AdjustKind::Pre32) return pre_filter_rgba32_avx2(job), true;
    if (job.kind == AdjustKind::Post32) return post_filter_rgba32_avx2<false>(job), true;
    if (job.kind == AdjustKind::Comp32) return post_filter_rgba32_avx2<true>(job), true;
    if (job.kind == AdjustKind::Pre64) return pre_filter_rgba64_avx2(job), true;
    if (job.kind == AdjustKind::Post64) return adjust_lanes_avx2<false>(job, job.buf), true;
#endif
    if (job.kind == AdjustKind::Pre64) return adjust_lanes<true>(job, job.buf), true;
    if (job.kind == AdjustKind::Post64) return adjust_lanes<false>(job, job.buf), true;
    return false;
}

}  // namespace
}  // namespace qrn::composite::detail
