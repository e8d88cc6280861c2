// 16-bit lane operations the dab's vector loops are written in: an SSE2 set (the
// x86-64 baseline, two registers a step) and, where the including file is built
// with -mavx2, an AVX2 set, both carrying four RGBA64 pixels; where it is built
// with -mavx512bw, an AVX-512 set carrying eight. Internal linkage on
// purpose: each including file compiles its own copy for its own instruction set.
#pragma once
#include <cstddef>
#include <cstdint>

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#define QRN_DAB_SSE2 1
#include <emmintrin.h>
#endif
#if defined(__AVX2__) || defined(__AVX512BW__)
#include <immintrin.h>
#endif

namespace qrn::brush::detail {
namespace {

// A mask row that selects everything (the usual case) needs no per-pixel test.
inline bool selects_all(const uint16_t* mask_row, size_t count) {
    uint32_t all = 0xFFFF;
    for (size_t j = 0; j < count; ++j) all &= mask_row[j];
    return all == 0xFFFF;
}

#ifdef QRN_DAB_SSE2

inline __m128i select16(__m128i mask, __m128i yes, __m128i no) {
    return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
}

// (s x 65535) / u per lane for s <= u, u >= 1. The product is exact in double
// and the one rounded division cannot reach the next integer (the quotient is
// below 2^32 and at least 1/u away from it), so truncating gives the integer
// quotient.
inline __m128i div_by(__m128i s, __m128i u) {
    const __m128i z = _mm_setzero_si128();
    const __m128d k = _mm_set1_pd(65535.0);
    const auto quarter = [&](__m128i s32, __m128i u32) {
        const __m128d q0 = _mm_div_pd(_mm_mul_pd(_mm_cvtepi32_pd(s32), k), _mm_cvtepi32_pd(u32));
        const __m128d q1 = _mm_div_pd(_mm_mul_pd(_mm_cvtepi32_pd(_mm_srli_si128(s32, 8)), k),
                                      _mm_cvtepi32_pd(_mm_srli_si128(u32, 8)));
        return _mm_unpacklo_epi64(_mm_cvttpd_epi32(q0), _mm_cvttpd_epi32(q1));
    };
    const __m128i lo = quarter(_mm_unpacklo_epi16(s, z), _mm_unpacklo_epi16(u, z));
    const __m128i hi = quarter(_mm_unpackhi_epi16(s, z), _mm_unpackhi_epi16(u, z));
    // SSE2 packs signed: shift 0..65535 down to the int16 range and back.
    const __m128i bias = _mm_set1_epi32(32768);
    return _mm_xor_si128(_mm_packs_epi32(_mm_sub_epi32(lo, bias), _mm_sub_epi32(hi, bias)),
                         _mm_set1_epi16(short(0x8000)));
}

// Four pixels a step in two registers, for more independent work in flight.
struct Sse2 {
    struct R {
        __m128i lo, hi;
    };
    static constexpr size_t kPixels = 4;
    static __m128i compact(const uint16_t* v) {
        return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(v));
    }
    // Lane k of c into the four lanes of pixel k.
    static R spread(__m128i c) {
        c = _mm_unpacklo_epi16(c, c);
        return {_mm_unpacklo_epi32(c, c), _mm_unpackhi_epi32(c, c)};
    }
    static R alpha_spread(R d) {
        return {_mm_shufflehi_epi16(_mm_shufflelo_epi16(d.lo, 0xFF), 0xFF),
                _mm_shufflehi_epi16(_mm_shufflelo_epi16(d.hi, 0xFF), 0xFF)};
    }
    static R load(const uint16_t* p) {
        return {_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)),
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 8))};
    }
    static void store(uint16_t* p, R v) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v.lo);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 8), v.hi);
    }
    static R set1(uint16_t v) { return {_mm_set1_epi16(short(v)), _mm_set1_epi16(short(v))}; }
    static R pixel(uint16_t a, uint16_t b, uint16_t c, uint16_t d) {
        const __m128i v = _mm_setr_epi16(short(a), short(b), short(c), short(d), short(a), short(b),
                                         short(c), short(d));
        return {v, v};
    }
    static R mulhi(R a, R b) { return {_mm_mulhi_epu16(a.lo, b.lo), _mm_mulhi_epu16(a.hi, b.hi)}; }
    static R mullo(R a, R b) { return {_mm_mullo_epi16(a.lo, b.lo), _mm_mullo_epi16(a.hi, b.hi)}; }
    static R adds(R a, R b) { return {_mm_adds_epu16(a.lo, b.lo), _mm_adds_epu16(a.hi, b.hi)}; }
    static R subs(R a, R b) { return {_mm_subs_epu16(a.lo, b.lo), _mm_subs_epu16(a.hi, b.hi)}; }
    static R add(R a, R b) { return {_mm_add_epi16(a.lo, b.lo), _mm_add_epi16(a.hi, b.hi)}; }
    static R sub(R a, R b) { return {_mm_sub_epi16(a.lo, b.lo), _mm_sub_epi16(a.hi, b.hi)}; }
    static R cmpeq(R a, R b) { return {_mm_cmpeq_epi16(a.lo, b.lo), _mm_cmpeq_epi16(a.hi, b.hi)}; }
    static R or_(R a, R b) { return {_mm_or_si128(a.lo, b.lo), _mm_or_si128(a.hi, b.hi)}; }
    static R and_(R a, R b) { return {_mm_and_si128(a.lo, b.lo), _mm_and_si128(a.hi, b.hi)}; }
    static R xor_(R a, R b) { return {_mm_xor_si128(a.lo, b.lo), _mm_xor_si128(a.hi, b.hi)}; }
    static R andnot(R a, R b) {
        return {_mm_andnot_si128(a.lo, b.lo), _mm_andnot_si128(a.hi, b.hi)};
    }
    static R shr8(R a) { return {_mm_srli_epi16(a.lo, 8), _mm_srli_epi16(a.hi, 8)}; }
    static R shr13(R a) { return {_mm_srli_epi16(a.lo, 13), _mm_srli_epi16(a.hi, 13)}; }
    static R shl8(R a) { return {_mm_slli_epi16(a.lo, 8), _mm_slli_epi16(a.hi, 8)}; }
    static R select(R m, R yes, R no) {
        return {select16(m.lo, yes.lo, no.lo), select16(m.hi, yes.hi, no.hi)};
    }
    static bool any(R v) { return _mm_movemask_epi8(_mm_or_si128(v.lo, v.hi)) != 0; }
    static R div_by(R s, R u) { return {detail::div_by(s.lo, u.lo), detail::div_by(s.hi, u.hi)}; }
};

#endif

#if defined(__AVX2__)

struct Avx2 {
    using R = __m256i;
    static constexpr size_t kPixels = 4;
    static __m128i compact(const uint16_t* v) {
        return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(v));
    }
    // Lane k of c into the four lanes of pixel k.
    static R spread(__m128i c) {
        c = _mm_unpacklo_epi16(c, c);
        return _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_unpacklo_epi32(c, c)),
                                       _mm_unpackhi_epi32(c, c), 1);
    }
    static R alpha_spread(R d) {
        return _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(d, 0xFF), 0xFF);
    }
    static R load(const uint16_t* p) {
        return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    }
    static void store(uint16_t* p, R v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }
    static R set1(uint16_t v) { return _mm256_set1_epi16(short(v)); }
    static R pixel(uint16_t a, uint16_t b, uint16_t c, uint16_t d) {
        const short x = short(a), y = short(b), z = short(c), w = short(d);
        return _mm256_setr_epi16(x, y, z, w, x, y, z, w, x, y, z, w, x, y, z, w);
    }
    static R mulhi(R a, R b) { return _mm256_mulhi_epu16(a, b); }
    static R mullo(R a, R b) { return _mm256_mullo_epi16(a, b); }
    static R adds(R a, R b) { return _mm256_adds_epu16(a, b); }
    static R subs(R a, R b) { return _mm256_subs_epu16(a, b); }
    static R add(R a, R b) { return _mm256_add_epi16(a, b); }
    static R sub(R a, R b) { return _mm256_sub_epi16(a, b); }
    static R cmpeq(R a, R b) { return _mm256_cmpeq_epi16(a, b); }
    static R or_(R a, R b) { return _mm256_or_si256(a, b); }
    static R and_(R a, R b) { return _mm256_and_si256(a, b); }
    static R xor_(R a, R b) { return _mm256_xor_si256(a, b); }
    static R andnot(R a, R b) { return _mm256_andnot_si256(a, b); }
    static R shr8(R a) { return _mm256_srli_epi16(a, 8); }
    static R shr13(R a) { return _mm256_srli_epi16(a, 13); }
    static R shl8(R a) { return _mm256_slli_epi16(a, 8); }
    static R select(R mask, R yes, R no) { return _mm256_blendv_epi8(no, yes, mask); }
    static bool any(R v) { return !_mm256_testz_si256(v, v); }
    // (s x 65535) / u per lane for s <= u, u >= 1, exact as in the SSE2 build:
    // an exact product and one rounded division whose quotient cannot round
    // up to the next integer.
    static R div_by(R s, R u) {
        const __m256d k = _mm256_set1_pd(65535.0);
        const auto quarter = [&](__m128i s32, __m128i u32) {
            return _mm256_cvttpd_epi32(
                _mm256_div_pd(_mm256_mul_pd(_mm256_cvtepi32_pd(s32), k), _mm256_cvtepi32_pd(u32)));
        };
        const auto half = [&](__m128i s16, __m128i u16) {
            const __m256i s32 = _mm256_cvtepu16_epi32(s16), u32 = _mm256_cvtepu16_epi32(u16);
            return _mm_packus_epi32(
                quarter(_mm256_castsi256_si128(s32), _mm256_castsi256_si128(u32)),
                quarter(_mm256_extracti128_si256(s32, 1), _mm256_extracti128_si256(u32, 1)));
        };
        return _mm256_set_m128i(
            half(_mm256_extracti128_si256(s, 1), _mm256_extracti128_si256(u, 1)),
            half(_mm256_castsi256_si128(s), _mm256_castsi256_si128(u)));
    }
};

#endif

#if defined(__AVX512BW__)

// Eight pixels a register. Comparisons give whole-lane masks, as in the other
// sets, so that the loops stay the same; a select is one bitwise ternary.
struct Avx512 {
    using R = __m512i;
    static constexpr size_t kPixels = 8;
    // Lane k of c into the four lanes of pixel k.
    static R spread(__m128i c) {
        alignas(64) static constexpr uint16_t kLane[32] = {0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                           2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5,
                                                           5, 5, 6, 6, 6, 6, 7, 7, 7, 7};
        return _mm512_permutexvar_epi16(_mm512_load_si512(kLane), _mm512_castsi128_si512(c));
    }
    static R alpha_spread(R d) {
        alignas(64) static constexpr uint8_t kAlpha[64] = {
            6,  7,  6,  7,  6,  7,  6,  7,  14, 15, 14, 15, 14, 15, 14, 15, 6,  7,  6,  7,  6,  7,
            6,  7,  14, 15, 14, 15, 14, 15, 14, 15, 6,  7,  6,  7,  6,  7,  6,  7,  14, 15, 14, 15,
            14, 15, 14, 15, 6,  7,  6,  7,  6,  7,  6,  7,  14, 15, 14, 15, 14, 15, 14, 15};
        return _mm512_shuffle_epi8(d, _mm512_load_si512(kAlpha));
    }
    static R load(const uint16_t* p) { return _mm512_loadu_si512(p); }
    static void store(uint16_t* p, R v) { _mm512_storeu_si512(p, v); }
    static R set1(uint16_t v) { return _mm512_set1_epi16(short(v)); }
    static R pixel(uint16_t a, uint16_t b, uint16_t c, uint16_t d) {
        return _mm512_set1_epi64(
            int64_t(uint64_t(a) | uint64_t(b) << 16 | uint64_t(c) << 32 | uint64_t(d) << 48));
    }
    static R mulhi(R a, R b) { return _mm512_mulhi_epu16(a, b); }
    static R mullo(R a, R b) { return _mm512_mullo_epi16(a, b); }
    static R adds(R a, R b) { return _mm512_adds_epu16(a, b); }
    static R subs(R a, R b) { return _mm512_subs_epu16(a, b); }
    static R add(R a, R b) { return _mm512_add_epi16(a, b); }
    static R sub(R a, R b) { return _mm512_sub_epi16(a, b); }
    static R cmpeq(R a, R b) { return _mm512_movm_epi16(_mm512_cmpeq_epi16_mask(a, b)); }
    static R or_(R a, R b) { return _mm512_or_si512(a, b); }
    static R and_(R a, R b) { return _mm512_and_si512(a, b); }
    static R xor_(R a, R b) { return _mm512_xor_si512(a, b); }
    static R andnot(R a, R b) { return _mm512_andnot_si512(a, b); }
    static R shr8(R a) { return _mm512_srli_epi16(a, 8); }
    static R shr13(R a) { return _mm512_srli_epi16(a, 13); }
    static R shl8(R a) { return _mm512_slli_epi16(a, 8); }
    static R select(R mask, R yes, R no) { return _mm512_ternarylogic_epi64(mask, yes, no, 0xCA); }
    static bool any(R v) { return _mm512_test_epi64_mask(v, v) != 0; }
};

#endif

}  // namespace
}  // namespace qrn::brush::detail
