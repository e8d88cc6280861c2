// The plain dab: the SSE2 vector loop (x86-64 baseline), the AVX2 one where the
// processor has it, and the scalar formula for the rest. All three give the
// reference loop's words; the dab tests compare them.
#include "brush/dab_plain.h"

#include "brush/dab_plain_kernel.h"

namespace qrn::brush::detail {
namespace {

#ifdef QRN_DAB_SSE2

// (s x 65535) / u per lane for s <= u, u >= 1. The product is exact in double
// and the one rounded division cannot reach the next integer (the quotient is
// below 2^32 and at least 1/u away from it), so truncating gives the integer
// quotient.
__m128i div_by(__m128i s, __m128i u) {
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
    static R add(R a, R b) { return {_mm_add_epi16(a.lo, b.lo), _mm_add_epi16(a.hi, b.hi)}; }
    static R sub(R a, R b) { return {_mm_sub_epi16(a.lo, b.lo), _mm_sub_epi16(a.hi, b.hi)}; }
    static R cmpeq(R a, R b) { return {_mm_cmpeq_epi16(a.lo, b.lo), _mm_cmpeq_epi16(a.hi, b.hi)}; }
    static R or_(R a, R b) { return {_mm_or_si128(a.lo, b.lo), _mm_or_si128(a.hi, b.hi)}; }
    static R xor_(R a, R b) { return {_mm_xor_si128(a.lo, b.lo), _mm_xor_si128(a.hi, b.hi)}; }
    static R andnot(R a, R b) {
        return {_mm_andnot_si128(a.lo, b.lo), _mm_andnot_si128(a.hi, b.hi)};
    }
    static R select(R m, R yes, R no) {
        return {select16(m.lo, yes.lo, no.lo), select16(m.hi, yes.hi, no.hi)};
    }
    static bool any(R v) { return _mm_movemask_epi8(_mm_or_si128(v.lo, v.hi)) != 0; }
    static R div_by(R s, R u) { return {detail::div_by(s.lo, u.lo), detail::div_by(s.hi, u.hi)}; }
};

bool has_avx2() {
#if defined(__GNUC__)
    return __builtin_cpu_supports("avx2");
#else
    return false;
#endif
}

#endif

}  // namespace

void paint_plain(const PlainDab& p, const PlainRows& f) noexcept {
#ifdef QRN_DAB_SSE2
    // The vector loops take the opacity scale as a 16-bit factor of at most 128.
    if (p.alpha_full || (p.alpha_scaled >= 0 && p.alpha_scaled <= 128)) {
        if (!(p.wide && has_avx2() && paint_plain_avx2(p, f))) plain_vector<Sse2>(p, f);
        return;
    }
#endif
    plain_scalar(p, f);
}

}  // namespace qrn::brush::detail
