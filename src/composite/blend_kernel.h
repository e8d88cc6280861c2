// The merge-mode arithmetic, written once over a lane type and compiled three
// ways: scalar (the reference), SSE2 (4 pixels a step, the baseline) and AVX2
// (8 pixels, composite_avx2.cpp, after a run-time check). Every operation used
// is correctly rounded IEEE single precision (add, sub, mul, div, sqrt) and the
// selects pick lanes without arithmetic, so all three give the same words.
//
// Everything has internal linkage on purpose: each including file compiles its
// own copy for its own instruction set, and the linker must never pick one
// copy for the other.
#pragma once
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

#include "composite/composite_job.h"
#include "engine/prefetch.h"

#if defined(__SSE2__) || defined(_M_X64)
#define QRN_BLEND_SSE2 1
#include <emmintrin.h>
#endif
#if defined(__AVX2__)
#include <immintrin.h>
#endif

namespace qrn::composite::detail {
namespace {

constexpr float kColourScale = 65280.0f;  // a colour word of 0xFF00 reads as 1.0
constexpr float kAlphaScale = 65535.0f;
constexpr float kLumScale = 195840.0f;    // 3 x 65280

// ---- Lane types ---------------------------------------------------------------------

struct Scalar {
    static constexpr size_t kLanes = 1;
    static constexpr int kPixelOfLane[1] = {0};
    using F = float;
    using I = uint32_t;
    using M = bool;
    static void store_f(float* p, F v) { p[0] = v; }
    static F load_f(const float* p) { return p[0]; }
    static void store_m(uint32_t* p, M m) { p[0] = m ? ~0u : 0u; }
    static M load_m(const uint32_t* p) { return p[0] != 0; }
    static F splat(float v) { return v; }
    static I splat_i(uint32_t v) { return v; }
    static F to_f(I v) { return float(int32_t(v)); }  // every value converted is below 2^24
    // Truncation. Lanes whose value is not used may hold anything: out of range gives 0.
    static I to_i(F v) { return v > -1.0f && v < 2147483648.0f ? uint32_t(int32_t(v)) : 0u; }
    // As minps / maxps: the second operand when unordered, so clamps send NaN to 0.
    static F min(F a, F b) { return a < b ? a : b; }
    static F max(F a, F b) { return a > b ? a : b; }
    static F sqrt(F a) { return std::sqrt(a); }
    static F sel(M m, F a, F b) { return m ? a : b; }
    static I sel(M m, I a, I b) { return m ? a : b; }
    static M lt(F a, F b) { return a < b; }
    static M le(F a, F b) { return a <= b; }
    static M gt(F a, F b) { return a > b; }
    static M eq(F a, F b) { return a == b; }
    static M eq(I a, I b) { return a == b; }
    static M gt(I a, I b) { return int32_t(a) > int32_t(b); }  // values below 2^31
    static M mand(M a, M b) { return a && b; }
    static M mor(M a, M b) { return a || b; }
    static M mnot(M a) { return !a; }
    static M mask(bool b) { return b; }
    static bool all(M m) { return m; }
    static bool any(M m) { return m; }
    static I mul(I a, I b) { return a * b; }  // low 32 bits of the product
    static I div3(I a) { return a / 3; }
    static void load(const uint16_t* p, ptrdiff_t, I& r, I& g, I& b, I& a) {
        r = p[0], g = p[1], b = p[2], a = p[3];
    }
    // Natural pixel order, four words a pixel.
    static void store(uint16_t* p, I r, I g, I b, I a) {
        p[0] = uint16_t(r), p[1] = uint16_t(g), p[2] = uint16_t(b), p[3] = uint16_t(a);
    }
};

#ifdef QRN_BLEND_SSE2
struct F4 {
    __m128 v;
    F4() = default;
    F4(__m128 x) : v(x) {}
    F4(float x) : v(_mm_set1_ps(x)) {}
    friend F4 operator+(F4 a, F4 b) { return _mm_add_ps(a.v, b.v); }
    friend F4 operator-(F4 a, F4 b) { return _mm_sub_ps(a.v, b.v); }
    friend F4 operator*(F4 a, F4 b) { return _mm_mul_ps(a.v, b.v); }
    friend F4 operator/(F4 a, F4 b) { return _mm_div_ps(a.v, b.v); }
};
struct I4 {
    __m128i v;
    I4() = default;
    I4(__m128i x) : v(x) {}
    friend I4 operator+(I4 a, I4 b) { return _mm_add_epi32(a.v, b.v); }
    friend I4 operator-(I4 a, I4 b) { return _mm_sub_epi32(a.v, b.v); }
    friend I4 operator>>(I4 a, int k) { return _mm_srli_epi32(a.v, k); }
};

struct Sse2 {
    static constexpr size_t kLanes = 4;
    static constexpr int kPixelOfLane[4] = {0, 1, 2, 3};
    using F = F4;
    using I = I4;
    using M = __m128i;
    static void store_f(float* p, F v) { _mm_storeu_ps(p, v.v); }
    static F load_f(const float* p) { return _mm_loadu_ps(p); }
    static void store_m(uint32_t* p, M m) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), m); }
    static M load_m(const uint32_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
    static F splat(float v) { return F4(v); }
    static I splat_i(uint32_t v) { return _mm_set1_epi32(int32_t(v)); }
    static F to_f(I v) { return _mm_cvtepi32_ps(v.v); }
    static I to_i(F v) { return _mm_cvttps_epi32(v.v); }
    static F min(F a, F b) { return _mm_min_ps(a.v, b.v); }
    static F max(F a, F b) { return _mm_max_ps(a.v, b.v); }
    static F sqrt(F a) { return _mm_sqrt_ps(a.v); }
    static F sel(M m, F a, F b) {
        const __m128 k = _mm_castsi128_ps(m);
        return _mm_or_ps(_mm_and_ps(k, a.v), _mm_andnot_ps(k, b.v));
    }
    static I sel(M m, I a, I b) { return _mm_or_si128(_mm_and_si128(m, a.v), _mm_andnot_si128(m, b.v)); }
    static M lt(F a, F b) { return _mm_castps_si128(_mm_cmplt_ps(a.v, b.v)); }
    static M le(F a, F b) { return _mm_castps_si128(_mm_cmple_ps(a.v, b.v)); }
    static M gt(F a, F b) { return _mm_castps_si128(_mm_cmpgt_ps(a.v, b.v)); }
    static M eq(F a, F b) { return _mm_castps_si128(_mm_cmpeq_ps(a.v, b.v)); }
    static M eq(I a, I b) { return _mm_cmpeq_epi32(a.v, b.v); }
    static M gt(I a, I b) { return _mm_cmpgt_epi32(a.v, b.v); }
    static M mand(M a, M b) { return _mm_and_si128(a, b); }
    static M mor(M a, M b) { return _mm_or_si128(a, b); }
    static M mnot(M a) { return _mm_xor_si128(a, _mm_set1_epi32(-1)); }
    static M mask(bool b) { return _mm_set1_epi32(b ? -1 : 0); }
    static bool all(M m) { return _mm_movemask_epi8(m) == 0xFFFF; }
    static bool any(M m) { return _mm_movemask_epi8(m) != 0; }
    // SSE2 has no 32-bit low multiply: two 32 x 32 -> 64 products, low halves kept.
    static I mul(I a, I b) {
        const __m128i even = _mm_mul_epu32(a.v, b.v);
        const __m128i odd = _mm_mul_epu32(_mm_srli_epi64(a.v, 32), _mm_srli_epi64(b.v, 32));
        return _mm_unpacklo_epi32(_mm_shuffle_epi32(even, 0x08), _mm_shuffle_epi32(odd, 0x08));
    }
    // Exact for a < 2^18: the quotient's fraction k/3 never rounds across an integer.
    static I div3(I a) { return _mm_cvttps_epi32(_mm_div_ps(_mm_cvtepi32_ps(a.v), _mm_set1_ps(3.0f))); }
    static void load(const uint16_t* p, ptrdiff_t step, I& r, I& g, I& b, I& a) {
        const __m128i z = _mm_setzero_si128();
        __m128i lo, hi;
        if (step == 4) {
            lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 8));
        } else {
            lo = _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)),
                                    _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + step)));
            hi = _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + 2 * step)),
                                    _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + 3 * step)));
        }
        __m128 p0 = _mm_castsi128_ps(_mm_unpacklo_epi16(lo, z));
        __m128 p1 = _mm_castsi128_ps(_mm_unpackhi_epi16(lo, z));
        __m128 p2 = _mm_castsi128_ps(_mm_unpacklo_epi16(hi, z));
        __m128 p3 = _mm_castsi128_ps(_mm_unpackhi_epi16(hi, z));
        _MM_TRANSPOSE4_PS(p0, p1, p2, p3);
        r = _mm_castps_si128(p0), g = _mm_castps_si128(p1), b = _mm_castps_si128(p2),
        a = _mm_castps_si128(p3);
    }
    static __m128i pack_u16(__m128i x, __m128i y) {  // values 0..65535
        const __m128i bias = _mm_set1_epi32(0x8000);
        const __m128i p = _mm_packs_epi32(_mm_sub_epi32(x, bias), _mm_sub_epi32(y, bias));
        return _mm_xor_si128(p, _mm_set1_epi16(int16_t(0x8000)));
    }
    static void store(uint16_t* p, I r, I g, I b, I a) {
        __m128 p0 = _mm_castsi128_ps(r.v), p1 = _mm_castsi128_ps(g.v), p2 = _mm_castsi128_ps(b.v),
               p3 = _mm_castsi128_ps(a.v);
        _MM_TRANSPOSE4_PS(p0, p1, p2, p3);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p),
                         pack_u16(_mm_castps_si128(p0), _mm_castps_si128(p1)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 8),
                         pack_u16(_mm_castps_si128(p2), _mm_castps_si128(p3)));
    }
};
#endif

#if defined(__AVX2__)
struct F8 {
    __m256 v;
    F8() = default;
    F8(__m256 x) : v(x) {}
    F8(float x) : v(_mm256_set1_ps(x)) {}
    friend F8 operator+(F8 a, F8 b) { return _mm256_add_ps(a.v, b.v); }
    friend F8 operator-(F8 a, F8 b) { return _mm256_sub_ps(a.v, b.v); }
    friend F8 operator*(F8 a, F8 b) { return _mm256_mul_ps(a.v, b.v); }
    friend F8 operator/(F8 a, F8 b) { return _mm256_div_ps(a.v, b.v); }
};
struct I8 {
    __m256i v;
    I8() = default;
    I8(__m256i x) : v(x) {}
    friend I8 operator+(I8 a, I8 b) { return _mm256_add_epi32(a.v, b.v); }
    friend I8 operator-(I8 a, I8 b) { return _mm256_sub_epi32(a.v, b.v); }
    friend I8 operator>>(I8 a, int k) { return _mm256_srli_epi32(a.v, k); }
};

// Lanes hold pixels in the order 0 2 4 6 | 1 3 5 7 (two per 128-bit half); load
// and store undo each other, and nothing in between looks at lane positions.
struct Avx2 {
    static constexpr size_t kLanes = 8;
    static constexpr int kPixelOfLane[8] = {0, 2, 4, 6, 1, 3, 5, 7};
    using F = F8;
    using I = I8;
    using M = __m256i;
    static void store_f(float* p, F v) { _mm256_storeu_ps(p, v.v); }
    static F load_f(const float* p) { return _mm256_loadu_ps(p); }
    static void store_m(uint32_t* p, M m) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), m); }
    static M load_m(const uint32_t* p) {
        return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    }
    static F splat(float v) { return F8(v); }
    static I splat_i(uint32_t v) { return _mm256_set1_epi32(int32_t(v)); }
    static F to_f(I v) { return _mm256_cvtepi32_ps(v.v); }
    static I to_i(F v) { return _mm256_cvttps_epi32(v.v); }
    static F min(F a, F b) { return _mm256_min_ps(a.v, b.v); }
    static F max(F a, F b) { return _mm256_max_ps(a.v, b.v); }
    static F sqrt(F a) { return _mm256_sqrt_ps(a.v); }
    static F sel(M m, F a, F b) { return _mm256_blendv_ps(b.v, a.v, _mm256_castsi256_ps(m)); }
    static I sel(M m, I a, I b) { return _mm256_blendv_epi8(b.v, a.v, m); }
    static M lt(F a, F b) { return _mm256_castps_si256(_mm256_cmp_ps(a.v, b.v, _CMP_LT_OQ)); }
    static M le(F a, F b) { return _mm256_castps_si256(_mm256_cmp_ps(a.v, b.v, _CMP_LE_OQ)); }
    static M gt(F a, F b) { return _mm256_castps_si256(_mm256_cmp_ps(a.v, b.v, _CMP_GT_OQ)); }
    static M eq(F a, F b) { return _mm256_castps_si256(_mm256_cmp_ps(a.v, b.v, _CMP_EQ_OQ)); }
    static M eq(I a, I b) { return _mm256_cmpeq_epi32(a.v, b.v); }
    static M gt(I a, I b) { return _mm256_cmpgt_epi32(a.v, b.v); }
    static M mand(M a, M b) { return _mm256_and_si256(a, b); }
    static M mor(M a, M b) { return _mm256_or_si256(a, b); }
    static M mnot(M a) { return _mm256_xor_si256(a, _mm256_set1_epi32(-1)); }
    static M mask(bool b) { return _mm256_set1_epi32(b ? -1 : 0); }
    static bool all(M m) { return _mm256_movemask_epi8(m) == -1; }
    static bool any(M m) { return !_mm256_testz_si256(m, m); }
    static I mul(I a, I b) { return _mm256_mullo_epi32(a.v, b.v); }
    static I div3(I a) {
        return _mm256_cvttps_epi32(_mm256_div_ps(_mm256_cvtepi32_ps(a.v), _mm256_set1_ps(3.0f)));
    }
    static __m256i pair(const uint16_t* p, ptrdiff_t step) {
        __m128i two;
        if (step == 4)
            two = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        else
            two = _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)),
                                     _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + step)));
        return _mm256_cvtepu16_epi32(two);
    }
    static void load(const uint16_t* p, ptrdiff_t step, I& r, I& g, I& b, I& a) {
        const __m256 v0 = _mm256_castsi256_ps(pair(p, step));
        const __m256 v1 = _mm256_castsi256_ps(pair(p + 2 * step, step));
        const __m256 v2 = _mm256_castsi256_ps(pair(p + 4 * step, step));
        const __m256 v3 = _mm256_castsi256_ps(pair(p + 6 * step, step));
        const __m256 t0 = _mm256_unpacklo_ps(v0, v1), t1 = _mm256_unpackhi_ps(v0, v1);
        const __m256 t2 = _mm256_unpacklo_ps(v2, v3), t3 = _mm256_unpackhi_ps(v2, v3);
        r = _mm256_castps_si256(_mm256_shuffle_ps(t0, t2, 0x44));
        g = _mm256_castps_si256(_mm256_shuffle_ps(t0, t2, 0xEE));
        b = _mm256_castps_si256(_mm256_shuffle_ps(t1, t3, 0x44));
        a = _mm256_castps_si256(_mm256_shuffle_ps(t1, t3, 0xEE));
    }
    static void store(uint16_t* p, I r, I g, I b, I a) {
        const __m256i t0 = _mm256_unpacklo_epi32(r.v, g.v), t1 = _mm256_unpackhi_epi32(r.v, g.v);
        const __m256i t2 = _mm256_unpacklo_epi32(b.v, a.v), t3 = _mm256_unpackhi_epi32(b.v, a.v);
        const __m256i p01 = _mm256_unpacklo_epi64(t0, t2), p23 = _mm256_unpackhi_epi64(t0, t2);
        const __m256i p45 = _mm256_unpacklo_epi64(t1, t3), p67 = _mm256_unpackhi_epi64(t1, t3);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(p),
                            _mm256_permute4x64_epi64(_mm256_packus_epi32(p01, p23), 0xD8));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(p + 16),
                            _mm256_permute4x64_epi64(_mm256_packus_epi32(p45, p67), 0xD8));
    }
};
#endif

// ---- The blend table ------------------------------------------------------------------

// Premultiplied source sc (with alpha sa) over premultiplied destination dc (da):
// the result colour c per channel and the result alpha a, before clamping. lum is
// the source luminance, read by Texturize and Texturize2 only. Evaluated in the
// order written; rest = Sc (1 - Da) + Dc (1 - Sa).
template <int Code, class B>
inline void blend(const typename B::F* sc, typename B::F sa, const typename B::F* dc,
                  typename B::F da, typename B::F lum, typename B::F* c, typename B::F& a) {
    using F = typename B::F;
    [[maybe_unused]] const F one = B::splat(1.0f), two = B::splat(2.0f), half = B::splat(0.5f);
    [[maybe_unused]] const F isa = one - sa, ida = one - da;
    if constexpr (Code == 15 || Code == 16)
        a = sa + da;
    else if constexpr (Code >= 17 && Code <= 19)
        a = da;
    else
        a = da + ida * sa;

    if constexpr (Code == 17 || Code == 18) {
        // The straight destination colour moved toward light or dark by the
        // source's luminance; step 7 divides by Da once more.
        const F d0 = dc[0] / da, d1 = dc[1] / da, d2 = dc[2] / da;
        const F k = B::splat(1.75f);
        F mean;
        if constexpr (Code == 17)
            mean = (d0 + d1 + d2) / B::splat(3.0f) + (lum - half) * sa;
        else
            mean = lum;
        const auto dark = B::lt(mean, half);
        const F t = B::sel(dark, (half - mean) * k * sa, (mean - half) * k * sa);
        c[0] = B::sel(dark, d0 - t, d0 + t);
        c[1] = B::sel(dark, d1 - t, d1 + t);
        c[2] = B::sel(dark, d2 - t, d2 + t);
        return;
    }

    for (int ch = 0; ch < 3; ++ch) {
        const F s = sc[ch], d = dc[ch];
        if constexpr (Code == 1) {
            const F rest = s * ida + d * isa;
            c[ch] = s * d + rest;
        } else if constexpr (Code == 2) {
            c[ch] = s + d - s * d;
        } else if constexpr (Code == 3) {
            c[ch] = B::sel(B::gt(d * sa, s * da), s + d * isa, d + s * ida);
        } else if constexpr (Code == 4) {
            c[ch] = B::sel(B::lt(d * sa, s * da), s + d * isa, d + s * ida);
        } else if constexpr (Code == 5) {
            c[ch] = s + d - two * B::min(s * da, d * sa);
        } else if constexpr (Code == 6 || Code == 7) {
            const F rest = s * ida + d * isa;
            c[ch] = s * da + d * sa - two * s * d + rest;
        } else if constexpr (Code == 8 || Code == 9) {
            const F rest = s * ida + d * isa;
            const auto low = Code == 8 ? B::lt(two * d, da) : B::lt(two * s, sa);
            c[ch] = B::sel(low, two * s * d + rest, sa * da - two * (da - d) * (sa - s) + rest);
        } else if constexpr (Code == 10) {
            const F rest = s * ida + d * isa;
            const F m = d / da;
            const F k = two * s - sa;
            const F soft = d * (sa + k * (one - m)) + rest;
            const F dark = d * (sa + k * (one - m) * (B::splat(3.0f) - B::splat(8.0f) * m)) + rest;
            const F light = d * sa + k * (B::sqrt(m) * da - d) + rest;
            c[ch] = B::sel(B::lt(two * s, sa), soft,
                           B::sel(B::le(B::splat(8.0f) * d, da), dark, light));
        } else if constexpr (Code == 11) {
            const F rest = s * ida + d * isa;
            c[ch] = B::sel(B::lt(s * da + d * sa, sa * da), d * sa / (one - s / sa) + rest,
                           sa * da + rest);
        } else if constexpr (Code == 12) {
            const F rest = s * ida + d * isa;
            c[ch] = B::sel(B::gt(s * da + d * sa, sa * da), sa * (s * da + d * sa - sa * da) / s + rest,
                           rest);
        } else if constexpr (Code == 15) {
            c[ch] = s + d;
        } else if constexpr (Code == 16) {
            c[ch] = s + d - sa * da;
        } else if constexpr (Code == 19) {
            c[ch] = d;
        } else {  // 0, 13, 14, 20 and the rewritten codes
            c[ch] = s + d * isa;
        }
    }
}

template <class B>
inline typename B::F clamp01(typename B::F v) {
    return B::min(B::max(v, B::splat(0.0f)), B::splat(1.0f));
}

// Step 7 without the conversion: alpha clamped, colour divided by it and clamped.
template <class B>
inline void normalise(typename B::F* c, typename B::F& a) {
    a = clamp01<B>(a);
    for (int ch = 0; ch < 3; ++ch) c[ch] = clamp01<B>(c[ch] / a);
}

// Premultiplied float inputs from 16-bit source words and effective alpha L.
template <class B>
inline void premultiply(typename B::I r, typename B::I g, typename B::I b, typename B::I l,
                        typename B::F* sc, typename B::F& sa) {
    sa = B::to_f(l) / B::splat(kAlphaScale);
    const typename B::F k = B::splat(kColourScale);
    sc[0] = B::to_f(r) * sa / k;
    sc[1] = B::to_f(g) * sa / k;
    sc[2] = B::to_f(b) * sa / k;
}

// ---- Source rewrite (codes 21..40) ------------------------------------------------------

inline uint32_t shade(uint32_t c, uint32_t k) { return c > k ? c - k : 0; }
inline uint32_t light(uint32_t c, uint32_t k) { return c + k < 0xFFFF ? c + k : 0xFFFF; }
inline uint32_t darken(uint32_t c, double f) { return uint32_t(int64_t(double(c) - double(c) * f)); }
inline uint32_t lighten(uint32_t c, double f) {
    return uint32_t(int64_t(double(c) + double(65535 - c) * f));
}
inline uint32_t alpha_rule_a(uint32_t l) { return l == 0 ? 0 : (l < 0x1FFF ? 0 : 0xFFFF); }
inline uint32_t alpha_rule_b(uint32_t l) {
    if (l == 0) return 0;
    if (l < 0x1FFF) return 0;
    if (l < 0x23FF) {
        const uint32_t k = (0x23FF - l) * 64;
        return 0xFFFF - (k < 0xFFFF ? k : 0xFFFF);
    }
    return 0xFFFF;
}

// Rewrites colour and effective alpha for codes 21 and above; returns the blend
// code that follows (18 for the Texture2 shaders, else Normal).
inline int rewrite_source(int code, uint32_t* rgb, uint32_t& l) {
    auto all = [&](auto f) {
        for (int ch = 0; ch < 3; ++ch) rgb[ch] = f(rgb[ch]);
    };
    auto set = [&](uint32_t v) { rgb[0] = rgb[1] = rgb[2] = v; };
    auto lum_shade = [&](uint32_t up, double up_div, uint32_t down, double down_div) {
        if (l > up) {
            const double f = double(l - up) / up_div;
            all([&](uint32_t c) { return lighten(c, f); });
        } else {
            const double f = double(down - l) / down_div;
            all([&](uint32_t c) { return darken(c, f); });
        }
    };
    switch (code) {
    case 21: l = 65535 - l; set(0xFFFF); break;
    case 22:
    case 36:
        if (l > 0 && l < 0xFF00) set(0), l = 0xFFFF;
        break;
    case 23:
        if (l != 0) l = l < 0x2FFF ? 65535 - l : 0x2FFF;
        break;
    case 24:
        if (l != 0) l = l < 0x2FFF ? 65535 - l : 0x7FFF;
        break;
    case 25:
        if (l != 0) l = 65535 - l;
        break;
    case 26:
        if (l != 0) set(l), l = 0xFFFF;
        break;
    case 27:
    case 28:
        if (l == 0) break;
        if (l < 0x7FFF) {
            const uint32_t k = (0x7FFF - l) * 2;
            all([&](uint32_t c) { return shade(c, k); });
        } else {
            const uint32_t k = 2 * l - 0xFFFE;
            all([&](uint32_t c) { return light(c, k); });
        }
        l = 0xFFFF;
        return code == 28 ? 18 : 0;
    case 29:
        if (l == 0) break;
        if (l < 0x7FFF) {
            const uint32_t k = (0x7FFF - l) * 2;
            l = l >= k ? l - k : 0;
        } else {
            const uint32_t k = 2 * l - 0xFFFE;
            all([&](uint32_t c) { return light(c, k); });
            l = 0xFFFF;
        }
        return 18;
    case 30:
        if (l == 0) break;
        if (l >= 0x7FFF) {
            l = 0xFFFF;
        } else {
            const uint32_t k = (0x7FFF - l) * 4;
            l = l >= k ? l - k : 0;
        }
        break;
    case 31: lum_shade(0x7FFF, 32767, 0x7FFF, 32767), l = alpha_rule_a(l); break;
    case 32: lum_shade(0x7FFF, 32767, 0x7FFF, 65535), l = alpha_rule_a(l); break;
    case 33: lum_shade(0x8FFE, 28672, 0x8FFE, 30000), l = alpha_rule_a(l); break;
    case 34: lum_shade(0x8FFE, 28672, 0x8FFE, 30000), l = alpha_rule_b(l); break;
    case 35: lum_shade(0x7FFF, 32767, 0x7FFF, 32767), l = alpha_rule_b(l); break;
    case 37:
        if (l > 0x7F00) l = 0;
        break;
    case 38: l = 0; break;
    case 39: l = (rgb[0] + rgb[1] + rgb[2]) / 3, set(0xFFFF); break;
    case 40: l = 0xFFFF - (rgb[0] + rgb[1] + rgb[2]) / 3, set(0); break;
    default: break;  // codes above 40: nothing to rewrite
    }
    return 0;
}

// Mask layer: a scaled by the mask pixel's grey where the mask pixel is not transparent.
template <class B>
inline typename B::I mask_alpha(typename B::I a, const uint16_t* mk, ptrdiff_t step) {
    typename B::I mr, mg, mb, ma;
    B::load(mk, step, mr, mg, mb, ma);
    const typename B::I scaled = B::mul(a, B::div3(mr + mg + mb)) >> 16;
    return B::sel(B::eq(ma, B::splat_i(0)), a, scaled);
}

// ---- The compositor ---------------------------------------------------------------------

// kLanes pixels of a blend code 0..20: source s (mask layer mk, null for none)
// over destination d.
template <int Code, class B>
inline void merge_step(const uint16_t* s, const uint16_t* mk, uint16_t* d, uint32_t opacity,
                       bool keep_alpha) {
    using F = typename B::F;
    using I = typename B::I;
    using M = typename B::M;
    I sr, sg, sb, sa;
    B::load(s, 4, sr, sg, sb, sa);
    const I zero = B::splat_i(0);
    const M skip = B::eq(sa, zero);
    if (B::all(skip)) return;
    I a = sa;
    if (mk) a = mask_alpha<B>(a, mk, 4);
    const I l = B::mul(a, B::splat_i(opacity)) >> 8;
    I dr, dg, db, da;
    B::load(d, 4, dr, dg, db, da);
    const M clear_dst = B::eq(da, zero);
    I o[4];
    if constexpr (Code >= 17 && Code <= 19)
        o[0] = o[1] = o[2] = o[3] = zero;
    else
        o[0] = sr, o[1] = sg, o[2] = sb, o[3] = l;
    if (!B::all(B::mor(skip, clear_dst))) {
        F sc[3], fsa, dc[3], fda;
        premultiply<B>(sr, sg, sb, l, sc, fsa);
        premultiply<B>(dr, dg, db, da, dc, fda);
        F lum = B::splat(0.0f);
        if constexpr (Code == 17 || Code == 18) lum = B::to_f(sr + sg + sb) / B::splat(kLumScale);
        F c[3], fa;
        blend<Code, B>(sc, fsa, dc, fda, lum, c, fa);
        normalise<B>(c, fa);
        const F k = B::splat(kColourScale);
        for (int ch = 0; ch < 3; ++ch) o[ch] = B::sel(clear_dst, o[ch], B::to_i(c[ch] * k));
        o[3] = B::sel(clear_dst, o[3], B::to_i(fa * B::splat(kAlphaScale)));
    }
    o[0] = B::sel(skip, dr, o[0]);
    o[1] = B::sel(skip, dg, o[1]);
    o[2] = B::sel(skip, db, o[2]);
    o[3] = keep_alpha ? da : B::sel(skip, da, o[3]);
    B::store(d, o[0], o[1], o[2], o[3]);
}

// One pixel of a code of 21 and above: processed even where the source is transparent.
inline void merge_pixel_rewrite(int code, const uint16_t* s, const uint16_t* mk, uint16_t* d,
                                uint32_t opacity, bool keep_alpha) {
    uint32_t a = s[3];
    if (mk) a = mask_alpha<Scalar>(a, mk, 4);
    uint32_t l = (a * opacity) >> 8;
    uint32_t rgb[3] = {s[0], s[1], s[2]};
    const int bc = rewrite_source(code, rgb, l);
    uint32_t o[4];
    if (d[3] == 0) {
        if (bc == 18)
            o[0] = o[1] = o[2] = o[3] = 0;
        else
            o[0] = rgb[0], o[1] = rgb[1], o[2] = rgb[2], o[3] = l;
    } else {
        float sc[3], sa, dc[3], da, c[3], fa;
        premultiply<Scalar>(rgb[0], rgb[1], rgb[2], l, sc, sa);
        premultiply<Scalar>(d[0], d[1], d[2], d[3], dc, da);
        if (bc == 18)
            blend<18, Scalar>(sc, sa, dc, da, float(int32_t(rgb[0] + rgb[1] + rgb[2])) / kLumScale,
                              c, fa);
        else
            blend<0, Scalar>(sc, sa, dc, da, 0.0f, c, fa);
        normalise<Scalar>(c, fa);
        for (int ch = 0; ch < 3; ++ch) o[ch] = Scalar::to_i(c[ch] * kColourScale);
        o[3] = Scalar::to_i(fa * kAlphaScale);
    }
    if (keep_alpha) o[3] = d[3];
    Scalar::store(d, o[0], o[1], o[2], o[3]);
}

template <int Code, class B>
void merge_row(const uint16_t* s, const uint16_t* mk, uint16_t* d, int64_t n, uint32_t opacity,
               bool keep_alpha) {
    int64_t i = 0;
    constexpr int64_t kStep = int64_t(B::kLanes);
    for (; i + kStep <= n; i += kStep) {
        prefetch_ahead(s + i * 4);
        prefetch_ahead(d + i * 4);
        if (mk) prefetch_ahead(mk + i * 4);
        merge_step<Code, B>(s + i * 4, mk ? mk + i * 4 : nullptr, d + i * 4, opacity, keep_alpha);
    }
    for (; i < n; ++i)
        merge_step<Code, Scalar>(s + i * 4, mk ? mk + i * 4 : nullptr, d + i * 4, opacity,
                                 keep_alpha);
}

using MergeRowFn = void (*)(const uint16_t*, const uint16_t*, uint16_t*, int64_t, uint32_t, bool);

template <class B, size_t... K>
constexpr auto merge_rows_of(std::index_sequence<K...>) {
    return std::array<MergeRowFn, sizeof...(K)>{&merge_row<int(K), B>...};
}

template <class B>
void run_merge(const MergeJob& job) {
    static constexpr auto rows = merge_rows_of<B>(std::make_index_sequence<21>{});
    for (int64_t r = 0; r < job.h; ++r) {
        const uint16_t* s = job.src + r * job.src_stride;
        const uint16_t* mk = job.mask ? job.mask + r * job.src_stride : nullptr;
        uint16_t* d = job.dst + r * job.dst_stride;
        if (job.code <= 20) {
            rows[size_t(job.code)](s, mk, d, job.w, job.opacity, job.keep_alpha);
        } else {
            for (int64_t i = 0; i < job.w; ++i)
                merge_pixel_rewrite(job.code, s + i * 4, mk ? mk + i * 4 : nullptr, d + i * 4,
                                    job.opacity, job.keep_alpha);
        }
    }
}

// ---- The display renderer ----------------------------------------------------------------

// The renderer's accumulator: either words kept as they are (steps 2.5 and 2.6,
// exact in float) or a float result (alpha and straight colour in [0, 1]).
template <class B>
struct Acc {
    typename B::F c[3];
    typename B::F a;
    typename B::M words;
};

template <class B>
inline void acc_words(typename B::F* c, typename B::F& a, typename B::I r, typename B::I g,
                      typename B::I b, typename B::I l) {
    c[0] = B::to_f(r), c[1] = B::to_f(g), c[2] = B::to_f(b), a = B::to_f(l);
}

// The accumulator as the destination of a blend, then the blend of code Code.
template <int Code, class B>
inline void render_blend(typename B::I r, typename B::I g, typename B::I b, typename B::I l,
                         const Acc<B>& acc, typename B::F* c, typename B::F& a) {
    using F = typename B::F;
    F sc[3], sa, dc[3];
    premultiply<B>(r, g, b, l, sc, sa);
    const F da = B::sel(acc.words, acc.a / B::splat(kAlphaScale), acc.a);
    for (int ch = 0; ch < 3; ++ch)
        dc[ch] = B::sel(acc.words, acc.c[ch] * da / B::splat(kColourScale), acc.c[ch] * da);
    F lum = B::splat(0.0f);
    if constexpr (Code == 17 || Code == 18) lum = B::to_f(r + g + b) / B::splat(kLumScale);
    blend<Code, B>(sc, sa, dc, da, lum, c, a);
    normalise<B>(c, a);
}

template <class B>
inline void acc_select(typename B::M m, Acc<B>& acc, const typename B::F* c, typename B::F a,
                       typename B::M words) {
    for (int ch = 0; ch < 3; ++ch) acc.c[ch] = B::sel(m, c[ch], acc.c[ch]);
    acc.a = B::sel(m, a, acc.a);
    acc.words = B::mor(B::mand(m, words), B::mand(B::mnot(m), acc.words));
}

// One render-list entry of a code 0..20 over kLanes accumulators; off and step
// address the sampled pixels in words.
template <int Code, class B>
inline void render_step(const RenderEntry& e, ptrdiff_t off, ptrdiff_t step, Acc<B>& acc) {
    using F = typename B::F;
    using I = typename B::I;
    using M = typename B::M;
    I sr, sg, sb, sa;
#if defined(__GNUC__)
    __builtin_prefetch(e.px + off + 64 * step);
#endif
    B::load(e.px + off, step, sr, sg, sb, sa);
    const I zero = B::splat_i(0);
    M skip = B::mask(false);
    I a;
    if (e.background) {
        a = B::splat_i(0xFFFF);
    } else {
        skip = B::eq(sa, zero);
        if (B::all(skip)) return;
        a = e.mask ? mask_alpha<B>(sa, e.mask + off, step) : sa;
    }
    const I l = B::mul(a, B::splat_i(e.opacity)) >> 8;
    const M empty = B::eq(acc.a, B::splat(0.0f));
    const M yes = B::mask(true);
    F o[3], oa;
    if constexpr (Code >= 17 && Code <= 19) {
        o[0] = o[1] = o[2] = oa = B::splat(0.0f);
    } else {
        acc_words<B>(o, oa, sr, sg, sb, l);
    }
    M ow = yes;
    const M live = B::mnot(B::mor(skip, empty));
    if (B::any(live)) {
        F c[3] = {B::splat(0.0f), B::splat(0.0f), B::splat(0.0f)}, ca = B::splat(0.0f);
        M cw = B::mask(false);
        if constexpr (Code == 19) {
            if (e.shows_code19) {
                const F k = B::splat(kColourScale);
                c[0] = B::to_f(sr) / k, c[1] = B::to_f(sg) / k, c[2] = B::to_f(sb) / k;
                ca = B::splat(1.0f);
            } else {
                c[0] = acc.c[0], c[1] = acc.c[1], c[2] = acc.c[2], ca = acc.a;
                cw = acc.words;
            }
        } else if constexpr (Code == 0) {
            const M opaque = B::gt(l, B::splat_i(0xFEFF));
            if (B::any(B::mand(live, B::mnot(opaque))))
                render_blend<0, B>(sr, sg, sb, l, acc, c, ca);
            F r[3], ra;
            acc_words<B>(r, ra, sr, sg, sb, B::splat_i(0xFFFF));
            for (int ch = 0; ch < 3; ++ch) c[ch] = B::sel(opaque, r[ch], c[ch]);
            ca = B::sel(opaque, ra, ca);
            cw = opaque;
        } else {
            render_blend<Code, B>(sr, sg, sb, l, acc, c, ca);
        }
        for (int ch = 0; ch < 3; ++ch) o[ch] = B::sel(empty, o[ch], c[ch]);
        oa = B::sel(empty, oa, ca);
        ow = B::mor(empty, cw);
    }
    acc_select<B>(B::mnot(skip), acc, o, oa, ow);
}

// One pixel of an entry of code 21 and above.
inline void render_pixel_rewrite(const RenderEntry& e, const uint16_t* s, const uint16_t* mk,
                                 Acc<Scalar>& acc) {
    uint32_t a = 0xFFFF;
    if (!e.background) {
        a = s[3];
        if (mk) a = mask_alpha<Scalar>(a, mk, 4);
    }
    uint32_t l = (a * e.opacity) >> 8;
    uint32_t rgb[3] = {s[0], s[1], s[2]};
    const int bc = rewrite_source(e.code, rgb, l);
    if (acc.a == 0.0f) {
        if (bc == 18)
            acc_words<Scalar>(acc.c, acc.a, 0, 0, 0, 0);
        else
            acc_words<Scalar>(acc.c, acc.a, rgb[0], rgb[1], rgb[2], l);
        acc.words = true;
        return;
    }
    if (bc == 18)
        render_blend<18, Scalar>(rgb[0], rgb[1], rgb[2], l, acc, acc.c, acc.a);
    else
        render_blend<0, Scalar>(rgb[0], rgb[1], rgb[2], l, acc, acc.c, acc.a);
    acc.words = false;
}

// Codes of 21 and above lane by lane: the rewrite is integer and rare.
template <class B>
inline void render_step_rewrite(const RenderEntry& e, ptrdiff_t off, ptrdiff_t step, Acc<B>& acc) {
    constexpr size_t n = B::kLanes;
    float c[3][n], a[n];
    uint32_t w[n];
    for (int ch = 0; ch < 3; ++ch) B::store_f(c[ch], acc.c[ch]);
    B::store_f(a, acc.a);
    B::store_m(w, acc.words);
    for (size_t k = 0; k < n; ++k) {
        const ptrdiff_t at = off + ptrdiff_t(B::kPixelOfLane[k]) * step;
        Acc<Scalar> one{{c[0][k], c[1][k], c[2][k]}, a[k], w[k] != 0};
        render_pixel_rewrite(e, e.px + at, e.mask ? e.mask + at : nullptr, one);
        c[0][k] = one.c[0], c[1][k] = one.c[1], c[2][k] = one.c[2], a[k] = one.a;
        w[k] = one.words ? ~0u : 0u;
    }
    for (int ch = 0; ch < 3; ++ch) acc.c[ch] = B::load_f(c[ch]);
    acc.a = B::load_f(a);
    acc.words = B::load_m(w);
}

// Step 3: the accumulator as words, natural pixel order into out.
template <class B>
inline void render_finish(const Acc<B>& acc, uint16_t* out) {
    using I = typename B::I;
    I w[4];
    const typename B::F k = B::splat(kColourScale);
    for (int ch = 0; ch < 3; ++ch)
        w[ch] = B::sel(acc.words, B::to_i(acc.c[ch]), B::to_i(acc.c[ch] * k));
    w[3] = B::sel(acc.words, B::to_i(acc.a), B::to_i(acc.a * B::splat(kAlphaScale)));
    B::store(out, w[0], w[1], w[2], w[3]);
}

// Steps 4 to 7 for the pixel at canvas (c, r): tracing, checkerboard, mask overlay,
// then B, G, R bytes.
inline void render_output(const RenderJob& job, const uint16_t* w, int64_t c, int64_t r,
                          uint8_t* out) {
    const int64_t at = r * job.canvas_width + c;
    uint32_t col[3] = {w[0], w[1], w[2]};
    const uint32_t a = w[3];
    if (job.trace) {
        const uint16_t* t = job.trace + at * 4;
        for (int ch = 0; ch < 3; ++ch) col[ch] = (t[ch] + col[ch]) >> 1;
    }
    const bool odd = (((c >> 5) + (r >> 5)) & 1) != 0;
    if (a < 0xFFFF) {
        const uint32_t g = odd ? 0x9FFF : 0xFFFF;
        for (int ch = 0; ch < 3; ++ch)
            col[ch] = (((a * col[ch]) >> 8) + ((g * (65535 - a)) >> 8)) >> 8;
    }
    if (job.overlay_mask) {
        uint32_t m = job.overlay_mask[at];
        if (m < 0xFFFF) {
            if (!job.solid_overlay) m = (m >> 1) + 0x7FFF;
            const uint32_t i = 65535 - m;
            const uint32_t* ov = odd ? job.overlay_a : job.overlay_b;
            out[0] = uint8_t((((m * col[2]) >> 8) + ((i * ov[2]) >> 8)) >> 16);
            out[1] = uint8_t((((m * col[1]) >> 8) + ((i * ov[1]) >> 8)) >> 16);
            out[2] = uint8_t((((m * col[0]) >> 8) + ((i * ov[0]) >> 8)) >> 16);
            return;
        }
    }
    out[0] = uint8_t(col[2] >> 8);
    out[1] = uint8_t(col[1] >> 8);
    out[2] = uint8_t(col[0] >> 8);
}

template <class B>
using RenderStepFn = void (*)(const RenderEntry&, ptrdiff_t, ptrdiff_t, Acc<B>&);

template <class B, size_t... K>
constexpr auto render_steps_of(std::index_sequence<K...>) {
    return std::array<RenderStepFn<B>, kRenderKernels>{
        (K <= 20 ? RenderStepFn<B>(&render_step<int(K <= 20 ? K : 0), B>)
                 : RenderStepFn<B>(&render_step_rewrite<B>))...};
}

template <class B>
inline void render_samples(const RenderJob& job, int64_t r, int64_t c0, int64_t cstep, int64_t i0,
                           int64_t n, uint8_t* out) {
    static constexpr auto steps = render_steps_of<B>(std::make_index_sequence<kRenderKernels>{});
    constexpr int64_t lanes = int64_t(B::kLanes);
    uint16_t words[lanes * 4];
    const int64_t rep = job.zoom_in ? job.scale : 1;
    const bool plain = !job.trace && !job.overlay_mask && rep == 1;
    for (int64_t i = i0; i + lanes <= n; i += lanes) {
        Acc<B> acc;
        acc.c[0] = acc.c[1] = acc.c[2] = acc.a = B::splat(0.0f);
        acc.words = B::mask(true);
        const ptrdiff_t off = ptrdiff_t((r * job.canvas_width + c0 + i * cstep) * 4);
        for (int k = 0; k < job.count; ++k) {
            const RenderEntry& e = job.entries[k];
            steps[size_t(e.code)](e, off, ptrdiff_t(cstep * 4), acc);
        }
        render_finish<B>(acc, words);
        if (plain) {
            // Opaque, no tracing, no overlay, no repeat: only the high bytes remain.
            bool opaque = true;
            for (int64_t k = 0; k < lanes; ++k) opaque = opaque && words[k * 4 + 3] == 0xFFFF;
            if (opaque) {
                uint8_t* o = out + i * 3;
                for (int64_t k = 0; k < lanes; ++k, o += 3) {
                    o[0] = uint8_t(words[k * 4 + 2] >> 8);
                    o[1] = uint8_t(words[k * 4 + 1] >> 8);
                    o[2] = uint8_t(words[k * 4] >> 8);
                }
                continue;
            }
        }
        for (int64_t k = 0; k < lanes; ++k) {
            const int64_t s = i + k;
            uint8_t px[3];
            render_output(job, words + k * 4, c0 + s * cstep, r, px);
            const int64_t first = s * rep;
            const int64_t last = first + rep < job.out_w ? first + rep : job.out_w;
            for (int64_t o = first; o < last; ++o) std::memcpy(out + o * 3, px, 3);
        }
    }
}

template <class B>
void run_render(const RenderJob& job) {
    const int64_t s = job.scale;
    const int64_t n = job.zoom_in ? (job.out_w + s - 1) / s : job.out_w;
    const int64_t cstep = job.zoom_out ? s : 1;
    const int64_t lanes = int64_t(B::kLanes);
    const int64_t body = n - n % lanes;
    for (int64_t j = 0; j < job.out_h; ++j) {
        const int64_t r = job.y + (job.zoom_out ? j * s : (job.zoom_in ? j / s : j));
        uint8_t* out = job.dst + j * job.stride;
        render_samples<B>(job, r, job.x, cstep, 0, body, out);
        render_samples<Scalar>(job, r, job.x, cstep, body, n, out);
    }
}

}  // namespace
}  // namespace qrn::composite::detail
