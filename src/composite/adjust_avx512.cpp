// The adjustment filters' loops built for AVX-512 (F, BW, DQ, VL): eight or
// sixteen pixels a step, lanes chosen by mask registers instead of blends.
// Compiled with the AVX-512 flags and called only after a run-time check of the
// processor; kinds without a loop here run their AVX2 one.
#include "composite/adjust_loops.h"

#if defined(__AVX512F__) && defined(__AVX512BW__) && defined(__AVX512DQ__) && defined(__AVX512VL__)
#define QRN_ADJUST_AVX512 1
#include <immintrin.h>

#include <algorithm>
#include <array>

#include "composite/adjust_exceptions.h"
#include "engine/prefetch.h"

// GCC 12 takes the intrinsics' deliberately undefined pass-through vectors for
// uninitialised reads.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

namespace qrn::composite::detail {
namespace {

#if defined(QRN_ADJUST_AVX512)
// The 8-bit pre-filter, eight pixels as 32 words: the quotient a(c + 1) / 255 is
// (x * 0x8081) >> 23 for every x <= 65024, the listed pairs one less.
void pre_filter_rgba32_avx512(const AdjustJob& job) {
    uint8_t* const buf = job.buf8;
    const int64_t n = job.n;
    const __m512i one = _mm512_set1_epi16(1);
    const __m512i magic = _mm512_set1_epi16(short(0x8081));
    const __m512i span = _mm512_set1_epi16(254);
    const __m512i c255 = _mm512_set1_epi16(255);
    const __m512i alpha_of = _mm512_broadcast_i32x4(
        _mm_setr_epi8(6, 7, 6, 7, 6, 7, 6, 7, 14, 15, 14, 15, 14, 15, 14, 15));
    const __mmask32 colour = 0x77777777u;  // words 0..2 of each pixel
    int64_t k = 0;
    for (; k + 8 <= n; k += 8) {
        uint8_t* const px = buf + 4 * k;
        prefetch_ahead(px);
        const __m512i c =
            _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(px)));
        const __m512i a = _mm512_shuffle_epi8(c, alpha_of);
        // 0 < a < 255, as a - 1 < 254 unsigned.
        const __mmask32 take = _mm512_mask_cmplt_epu16_mask(colour, _mm512_sub_epi16(a, one), span);
        const __m512i x = _mm512_mullo_epi16(a, _mm512_add_epi16(c, one));
        __m512i q = _mm512_srli_epi16(_mm512_mulhi_epu16(x, magic), 7);
        // Exceptions are exact multiples of 255, rare enough to test for first.
        const __mmask32 exact = _mm512_mask_cmpeq_epi16_mask(take, _mm512_mullo_epi16(q, c255), x);
        if (exact != 0) {
            const __m512i key = _mm512_or_si512(_mm512_slli_epi16(a, 8), c);
            __mmask32 low = 0;
            for (uint16_t e : kPreExceptions)
                low |= _mm512_mask_cmpeq_epi16_mask(exact, key, _mm512_set1_epi16(short(e)));
            q = _mm512_mask_sub_epi16(q, low, q, one);
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(px),
                            _mm512_cvtepi16_epi8(_mm512_mask_mov_epi16(c, take, q)));
    }
    adjust_scalar_from(job, k);
}

// The 8-bit post-filter in single precision, sixteen pixels a step, from one
// division a pixel: t = c x (K / a) with K = 255 + 2^-12, a hair above 255, so t
// lies above 255c / a by a relative 2^-20 at most twice over. A whole quotient
// then truncates to itself and any other to its floor (its fraction is at least
// 1 / a, far above the error); t above 255 clamps. A whole quotient shows as a
// fraction of t below 2^-10, looked up only for alphas that have listed
// exceptions (a bit each in kRiskyAlphas).
constexpr float kPostDividend = 255.0f + 0x1p-12f;
constexpr auto kRiskyAlphas = [] {
    std::array<uint32_t, 16> bits{};
    for (uint32_t a = 1; a < 256; ++a)
        for (uint32_t c = 1; c < 256; ++c)
            if (post_exception(a, c)) bits[a >> 5] |= 1u << (a & 31);
    return bits;
}();

// Beyond c = a the double product clears 255 by far more than its error.
static_assert([] {
    for (uint32_t a = 1; a < 256; ++a)
        for (uint32_t c = a + 1; c < 256; ++c)
            if (post_exception(a, c)) return false;
    return true;
}());

template <bool Opaque>  // Opaque: alpha 255 is filtered too (where it changes nothing)
void post_filter_rgba32_avx512(const AdjustJob& job) {
    uint8_t* const buf = job.buf8;
    const int64_t n = job.n;
    const __m512i byte = _mm512_set1_epi32(0xFF);
    const __m512i one = _mm512_set1_epi32(1);
    const __m512i span = _mm512_set1_epi32(254);
    const __m512i low5 = _mm512_set1_epi32(31);
    const __m512i alpha_bits = _mm512_set1_epi32(int(0xFF000000u));
    const __m512i risky_alphas = _mm512_loadu_si512(kRiskyAlphas.data());
    const __m512 dividend = _mm512_set1_ps(kPostDividend);
    const __m512 near_whole = _mm512_set1_ps(0x1p-10f);
    int64_t k = 0;
    for (; k + 16 <= n; k += 16) {
        uint8_t* const px = buf + 4 * k;
        prefetch_ahead(px);
        const __m512i p = _mm512_loadu_si512(px);
        const __m512i a = _mm512_srli_epi32(p, 24);
        const __mmask16 take = Opaque ? _mm512_test_epi32_mask(p, alpha_bits)
                                      : _mm512_cmplt_epu32_mask(_mm512_sub_epi32(a, one), span);
        const __m512 r = _mm512_maskz_div_ps(take, dividend, _mm512_cvtepi32_ps(a));
        const __m512i word = _mm512_permutexvar_epi32(_mm512_srli_epi32(a, 5), risky_alphas);
        const __mmask16 risky = _mm512_mask_test_epi32_mask(
            take, _mm512_srlv_epi32(word, _mm512_and_si512(a, low5)), one);
        __m512i out = _mm512_and_si512(p, alpha_bits);
        __mmask16 whole[3];
        for (int c = 0; c < 3; ++c) {
            const __m512i v = _mm512_and_si512(_mm512_srli_epi32(p, 8 * c), byte);
            const __m512 t = _mm512_mul_ps(_mm512_cvtepi32_ps(v), r);
            // Listed exceptions all have 0 < c <= a (t below 256), as c - 1 < a unsigned.
            const __mmask16 listed =
                _mm512_mask_cmplt_epu32_mask(risky, _mm512_sub_epi32(v, one), a);
            whole[c] = _mm512_mask_cmp_ps_mask(listed, _mm512_reduce_ps(t, _MM_FROUND_TO_ZERO),
                                               near_whole, _CMP_LT_OQ);
            const __m512i q = _mm512_min_epi32(_mm512_cvttps_epi32(t), byte);
            out = _mm512_or_si512(out, _mm512_slli_epi32(q, 8 * c));
        }
        _mm512_storeu_si512(px, _mm512_mask_mov_epi32(p, take, out));
        uint64_t lanes = uint64_t(whole[0]) | uint64_t(whole[1]) << 16 | uint64_t(whole[2]) << 32;
        if (lanes == 0) continue;
        alignas(64) uint8_t orig[64];
        _mm512_store_si512(orig, p);
        lower_post_exceptions<16>(px, orig, lanes);
    }
    adjust_scalar_from(job, k);
}

// The 16-bit post-filter, eight pixels a step as 64-bit lanes: the scalar's own
// division, product and clamp in double lanes (a clamp before truncation equals
// one after it for these non-negative products).
void post_filter_rgba64_avx512(const AdjustJob& job) {
    uint16_t* const buf = job.buf;
    const int64_t n = job.n;
    const __m512d scale = _mm512_set1_pd(65535.0);
    const __m512i word = _mm512_set1_epi64(0xFFFF);
    const __m512i alpha_bits = _mm512_set1_epi64(int64_t(0xFFFF000000000000u));
    int64_t k = 0;
    for (; k + 8 <= n; k += 8) {
        uint16_t* const px = buf + 4 * k;
        prefetch_ahead(px);
        const __m512i v = _mm512_loadu_si512(px);
        const __mmask8 take = _mm512_test_epi64_mask(v, alpha_bits);
        const __m512d f =
            _mm512_maskz_div_pd(take, scale, _mm512_cvtepi64_pd(_mm512_srli_epi64(v, 48)));
        __m512i out = _mm512_and_si512(v, alpha_bits);
        for (int c = 0; c < 3; ++c) {
            const __m512i ch = _mm512_and_si512(_mm512_srli_epi64(v, 16 * c), word);
            const __m512d x = _mm512_min_pd(_mm512_mul_pd(f, _mm512_cvtepi64_pd(ch)), scale);
            out = _mm512_or_si512(out, _mm512_slli_epi64(_mm512_cvttpd_epi64(x), 16 * c));
        }
        _mm512_storeu_si512(px, _mm512_mask_mov_epi64(v, take, out));
    }
    adjust_scalar_from(job, k);
}
#endif

}  // namespace

bool adjust_avx512(const AdjustJob& job) {
#if defined(QRN_ADJUST_AVX512)
    switch (job.kind) {
        case AdjustKind::Pre32:
            return pre_filter_rgba32_avx512(job), true;
        case AdjustKind::Post32:
            return post_filter_rgba32_avx512<false>(job), true;
        case AdjustKind::Comp32:
            return post_filter_rgba32_avx512<true>(job), true;
        case AdjustKind::Post64:
            return post_filter_rgba64_avx512(job), true;
        case AdjustKind::Pre64:
            return false;  // the AVX2 integer loop is as fast
    }
#endif
    (void)job;
    return false;
}

}  // namespace qrn::composite::detail
