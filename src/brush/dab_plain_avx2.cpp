// The plain dab's vector loop built for AVX2: four pixels a step. Compiled with
// -mavx2 and called only after a run-time check of the processor.
#include "brush/dab_plain.h"

#if defined(__AVX2__)
#include <immintrin.h>

#include "brush/dab_plain_kernel.h"

namespace qrn::brush::detail {
namespace {

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
    static R add(R a, R b) { return _mm256_add_epi16(a, b); }
    static R sub(R a, R b) { return _mm256_sub_epi16(a, b); }
    static R cmpeq(R a, R b) { return _mm256_cmpeq_epi16(a, b); }
    static R or_(R a, R b) { return _mm256_or_si256(a, b); }
    static R xor_(R a, R b) { return _mm256_xor_si256(a, b); }
    static R andnot(R a, R b) { return _mm256_andnot_si256(a, b); }
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

}  // namespace

bool paint_plain_avx2(const PlainDab& p, const PlainRows& f) noexcept {
    plain_vector<Avx2>(p, f);
    return true;
}

}  // namespace qrn::brush::detail

#else

namespace qrn::brush::detail {

bool paint_plain_avx2(const PlainDab&, const PlainRows&) noexcept { return false; }

}  // namespace qrn::brush::detail

#endif
